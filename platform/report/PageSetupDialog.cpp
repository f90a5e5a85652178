#include "report/PageSetupDialog.h"
#include "services/MessagePresenter.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
// The papers offered, with the names the preferences keep them by.
struct TPaper {
    QPageSize::PageSizeId Id;
    const char *Key;
    const char *Caption;
};
constexpr TPaper kPapers[] = {{QPageSize::A4, "A4", "A4 (210 x 297 mm)"},
                              {QPageSize::A3, "A3", "A3 (297 x 420 mm)"},
                              {QPageSize::A5, "A5", "A5 (148 x 210 mm)"},
                              {QPageSize::Letter, "Carta", "Carta (216 x 279 mm)"},
                              {QPageSize::Legal, "Oficio", "Ofício (216 x 356 mm)"}};
// The paper's narrower side must keep this much between the margins.
constexpr double kMinPrintableMm = 60;

QDoubleSpinBox *marginBox(QWidget *parent, const char *name)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, 100);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" mm"));
    return box;
}
} // namespace

TPageSetupDialog::TPageSetupDialog(const QPageLayout &inForce, const QPageLayout &layoutDefault, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgConfigurarPagina"));
    setWindowTitle(QStringLiteral("Configurar página"));
    cbbPapel = new QComboBox(this);
    cbbPapel->setObjectName(QStringLiteral("cbbPapel"));
    for (const TPaper &p : kPapers)
        cbbPapel->addItem(QString::fromUtf8(p.Caption), static_cast<int>(p.Id));
    auto *orientation = new QGroupBox(QStringLiteral("Orientação"), this);
    rbtRetrato = new QRadioButton(QStringLiteral("Retrato"), orientation);
    rbtRetrato->setObjectName(QStringLiteral("rbtRetrato"));
    rbtPaisagem = new QRadioButton(QStringLiteral("Paisagem"), orientation);
    rbtPaisagem->setObjectName(QStringLiteral("rbtPaisagem"));
    auto *orientationRow = new QHBoxLayout(orientation);
    orientationRow->addWidget(rbtRetrato);
    orientationRow->addWidget(rbtPaisagem);
    auto *margins = new QGroupBox(QStringLiteral("Margens"), this);
    spnMargemSuperior = marginBox(margins, "spnMargemSuperior");
    spnMargemInferior = marginBox(margins, "spnMargemInferior");
    spnMargemEsquerda = marginBox(margins, "spnMargemEsquerda");
    spnMargemDireita = marginBox(margins, "spnMargemDireita");
    auto *marginForm = new QFormLayout(margins);
    marginForm->addRow(QStringLiteral("Superior:"), spnMargemSuperior);
    marginForm->addRow(QStringLiteral("Inferior:"), spnMargemInferior);
    marginForm->addRow(QStringLiteral("Esquerda:"), spnMargemEsquerda);
    marginForm->addRow(QStringLiteral("Direita:"), spnMargemDireita);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancelar"));
    QPushButton *reset = buttons->addButton(QStringLiteral("Padrão do layout"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("btnPadrao"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, [this, layoutDefault] { Show(layoutDefault); });

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Papel:"), cbbPapel);
    auto *box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(orientation);
    box->addWidget(margins);
    box->addWidget(buttons);
    Show(inForce);
}

void TPageSetupDialog::Show(const QPageLayout &page)
{
    const int at = cbbPapel->findData(static_cast<int>(page.pageSize().id()));
    cbbPapel->setCurrentIndex(at < 0 ? 0 : at);
    (page.orientation() == QPageLayout::Landscape ? rbtPaisagem : rbtRetrato)->setChecked(true);
    const QMarginsF m = page.margins(QPageLayout::Millimeter);
    spnMargemSuperior->setValue(m.top());
    spnMargemInferior->setValue(m.bottom());
    spnMargemEsquerda->setValue(m.left());
    spnMargemDireita->setValue(m.right());
}

QPageLayout TPageSetupDialog::PageLayout() const
{
    // The page is built with no margins first, so that margins larger than its own minimum are kept.
    QPageLayout page(QPageSize(static_cast<QPageSize::PageSizeId>(cbbPapel->currentData().toInt())),
                     rbtPaisagem->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
    page.setMode(QPageLayout::FullPageMode);
    page.setMargins(QMarginsF(spnMargemEsquerda->value(), spnMargemSuperior->value(), spnMargemDireita->value(), spnMargemInferior->value()));
    page.setMode(QPageLayout::StandardMode);
    return page;
}

QString TPageSetupDialog::Check() const
{
    const QSizeF paper = PageLayout().fullRectPoints().size() / 72.0 * 25.4;
    const double across = paper.width() - spnMargemEsquerda->value() - spnMargemDireita->value();
    const double down = paper.height() - spnMargemSuperior->value() - spnMargemInferior->value();
    if (across < kMinPrintableMm || down < kMinPrintableMm)
        return QStringLiteral("As margens deixam menos de %1 mm para o relatório (sobram %2 mm na largura e %3 mm na altura); diminua as margens.")
            .arg(kMinPrintableMm)
            .arg(qRound(across))
            .arg(qRound(down));
    return {};
}

void TPageSetupDialog::accept()
{
    const QString fault = Check();
    if (!fault.isEmpty()) {
        MessagePresenter().ShowError(fault);
        return;
    }
    QDialog::accept();
}

QString PageLayoutText(const QPageLayout &page)
{
    QString paper = QStringLiteral("A4");
    for (const TPaper &p : kPapers)
        if (p.Id == page.pageSize().id())
            paper = QLatin1String(p.Key);
    const QMarginsF m = page.margins(QPageLayout::Millimeter);
    return QStringList{paper, page.orientation() == QPageLayout::Landscape ? QStringLiteral("paisagem") : QStringLiteral("retrato"),
                       QString::number(m.top()), QString::number(m.bottom()), QString::number(m.left()), QString::number(m.right())}
        .join(QLatin1Char(';'));
}

std::optional<QPageLayout> PageLayoutFromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(';'));
    if (parts.size() != 6)
        return std::nullopt;
    const TPaper *paper = nullptr;
    for (const TPaper &p : kPapers)
        if (parts[0] == QLatin1String(p.Key))
            paper = &p;
    const bool landscape = parts[1] == QStringLiteral("paisagem");
    if (!paper || (!landscape && parts[1] != QStringLiteral("retrato")))
        return std::nullopt;
    double mm[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        mm[i] = parts[2 + i].toDouble(&ok);
        if (!ok || mm[i] < 0 || mm[i] > 100)
            return std::nullopt;
    }
    QPageLayout page(QPageSize(paper->Id), landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
    page.setMode(QPageLayout::FullPageMode);
    page.setMargins(QMarginsF(mm[2], mm[0], mm[3], mm[1]));
    page.setMode(QPageLayout::StandardMode);
    return page;
}
