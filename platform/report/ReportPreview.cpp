#include "report/ReportPreview.h"
#include "data/Exceptions.h"
#include "report/ReportPages.h"
#include "services/MessagePresenter.h"
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kBorder = 12; // grey around the sheet
constexpr double kMinZoom = 0.1, kMaxZoom = 8.0;

QToolButton *toolButton(QWidget *parent, const char *name, const QString &text, const QString &tip, const QKeySequence &key = {})
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (!key.isEmpty())
        b->setShortcut(key);
    return b;
}
} // namespace

// The sheet of the page shown, on the scroll area's grey.
class TPreviewPage : public QWidget {
public:
    explicit TPreviewPage(TReportPreviewDialog &dialog) : m_dialog(dialog) { setObjectName(QStringLiteral("pagPreview")); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Dark));
        const QImage &image = m_dialog.m_image;
        if (image.isNull())
            return;
        p.fillRect(QRect(QPoint(kBorder + 3, kBorder + 3), image.size()), QColor(60, 60, 60));
        p.drawImage(QPoint(kBorder, kBorder), image);
        m_dialog.PageDrawn();
    }

private:
    TReportPreviewDialog &m_dialog;
};

TReportPreviewDialog::TReportPreviewDialog(TReportPaginator &pages, QWidget *parent) : QDialog(parent), m_pages(pages)
{
    setObjectName(QStringLiteral("dlgVisualizar"));
    auto *bar = new QWidget(this);
    auto *tools = new QHBoxLayout(bar);
    tools->setContentsMargins(4, 4, 4, 4);
    m_first = toolButton(bar, "btnPrimeiraPagina", QStringLiteral("|<"), QStringLiteral("Primeira página"), QKeySequence(Qt::CTRL | Qt::Key_Home));
    m_prev = toolButton(bar, "btnPaginaAnterior", QStringLiteral("<"), QStringLiteral("Página anterior"), QKeySequence(Qt::Key_PageUp));
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("spnPagina"));
    m_pageBox->setRange(1, std::max(1, PageCount()));
    m_pageBox->setKeyboardTracking(false);
    m_ofPages = new QLabel(QStringLiteral("de %1").arg(PageCount()), bar);
    m_ofPages->setObjectName(QStringLiteral("lblPaginas"));
    m_next = toolButton(bar, "btnProximaPagina", QStringLiteral(">"), QStringLiteral("Próxima página"), QKeySequence(Qt::Key_PageDown));
    m_last = toolButton(bar, "btnUltimaPagina", QStringLiteral(">|"), QStringLiteral("Última página"), QKeySequence(Qt::CTRL | Qt::Key_End));
    auto *zoomOut = toolButton(bar, "btnMenosZoom", QStringLiteral("-"), QStringLiteral("Diminuir"), QKeySequence(QKeySequence::ZoomOut));
    m_zoomLabel = new QLabel(bar);
    m_zoomLabel->setObjectName(QStringLiteral("lblZoom"));
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("8888%")));
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    auto *zoomIn = toolButton(bar, "btnMaisZoom", QStringLiteral("+"), QStringLiteral("Aumentar"), QKeySequence(QKeySequence::ZoomIn));
    auto *width = toolButton(bar, "btnLarguraPagina", QStringLiteral("Largura"), QStringLiteral("Ajustar à largura da página"));
    auto *whole = toolButton(bar, "btnPaginaInteira", QStringLiteral("Página inteira"), QStringLiteral("Mostrar a página inteira"));
    auto *print = toolButton(bar, "btnImprimir", QStringLiteral("Imprimir"), QStringLiteral("Imprimir todas as páginas"), QKeySequence::Print);
    auto *save = toolButton(bar, "btnSalvarPdf", QStringLiteral("Salvar PDF"), QStringLiteral("Salvar todas as páginas em PDF"));
    auto *close = toolButton(bar, "btnFechar", QStringLiteral("Fechar"), QStringLiteral("Fechar a visualização"));
    for (QWidget *w : std::initializer_list<QWidget *>{m_first, m_prev, m_pageBox, m_ofPages, m_next, m_last})
        tools->addWidget(w);
    tools->addSpacing(16);
    for (QWidget *w : std::initializer_list<QWidget *>{zoomOut, m_zoomLabel, zoomIn, width, whole})
        tools->addWidget(w);
    tools->addStretch();
    for (QWidget *w : std::initializer_list<QWidget *>{print, save, close})
        tools->addWidget(w);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrPaginas"));
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_view = new TPreviewPage(*this);
    m_scroll->setWidget(m_view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, [this] { ShowPage(1); });
    connect(m_prev, &QToolButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { ShowPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { ShowPage(PageCount()); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { ShowPage(page); });
    connect(zoomIn, &QToolButton::clicked, this, &TReportPreviewDialog::ZoomIn);
    connect(zoomOut, &QToolButton::clicked, this, &TReportPreviewDialog::ZoomOut);
    connect(width, &QToolButton::clicked, this, &TReportPreviewDialog::FitWidth);
    connect(whole, &QToolButton::clicked, this, &TReportPreviewDialog::FitPage);
    connect(close, &QToolButton::clicked, this, &QDialog::reject);
    // A failed print or save shows its message; the preview stays open.
    connect(print, &QToolButton::clicked, this, [this] {
        if (!Print)
            return;
        m_pages.CloseRows();
        RunAction(Print);
    });
    connect(save, &QToolButton::clicked, this, [this] {
        if (!SavePdf)
            return;
        m_pages.CloseRows();
        RunAction(SavePdf);
    });
}

TReportPreviewDialog::~TReportPreviewDialog() = default;

int TReportPreviewDialog::PageCount() const { return m_pages.PageCount(); }

void TReportPreviewDialog::ShowPage(int page)
{
    page = std::clamp(page, 1, std::max(1, PageCount()));
    if (page == m_page && m_imagePage == page)
        return;
    m_page = page;
    Refresh();
}

void TReportPreviewDialog::SetZoom(double zoom)
{
    m_fit = TFit::None;
    m_zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    Refresh();
}

void TReportPreviewDialog::ZoomIn() { SetZoom(m_zoom * 1.25); }
void TReportPreviewDialog::ZoomOut() { SetZoom(m_zoom / 1.25); }

void TReportPreviewDialog::FitWidth()
{
    m_fit = TFit::Width;
    Refresh();
}

void TReportPreviewDialog::FitPage()
{
    m_fit = TFit::Page;
    Refresh();
}

double TReportPreviewDialog::FitZoom(TFit fit) const
{
    const QSizeF paper = m_pages.PageLayout().fullRectPoints().size() / 72.0 * logicalDpiX();
    const QSize room = m_scroll->maximumViewportSize() - QSize(2 * kBorder + m_scroll->verticalScrollBar()->sizeHint().width(), 2 * kBorder);
    double zoom = room.width() / paper.width();
    if (fit == TFit::Page)
        zoom = std::min(zoom, (room.height() + m_scroll->verticalScrollBar()->sizeHint().width()) / paper.height());
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void TReportPreviewDialog::Refresh()
{
    if (!isVisible() || !m_failure.isEmpty() || PageCount() < 1)
        return;
    if (m_fit != TFit::None)
        m_zoom = FitZoom(m_fit);
    m_zoomLabel->setText(QStringLiteral("%1%").arg(qRound(m_zoom * 100)));
    {
        const QSignalBlocker quiet(m_pageBox);
        m_pageBox->setValue(m_page);
    }
    m_first->setEnabled(m_page > 1);
    m_prev->setEnabled(m_page > 1);
    m_next->setEnabled(m_page < PageCount());
    m_last->setEnabled(m_page < PageCount());
    if (m_imagePage != m_page || m_imageZoom != m_zoom) {
        if (m_imageZoom != m_zoom)
            m_recent.clear();
        const auto kept = std::find_if(m_recent.begin(), m_recent.end(), [this](const auto &r) { return r.first == m_page; });
        if (kept != m_recent.end()) {
            m_image = kept->second;
        } else {
            try {
                m_image = m_pages.Render(m_page, logicalDpiX() * m_zoom);
            } catch (const EHostError &e) {
                Fail(e.Message());
                return;
            }
            m_recent.emplace_back(m_page, m_image);
            if (m_recent.size() > 8)
                m_recent.pop_front();
        }
        const bool newPage = m_imagePage != m_page;
        m_imagePage = m_page;
        m_imageZoom = m_zoom;
        m_view->resize(m_image.size() + QSize(2 * kBorder, 2 * kBorder));
        if (newPage)
            m_scroll->verticalScrollBar()->setValue(0);
    }
    m_view->update();
}

void TReportPreviewDialog::Fail(const QString &message)
{
    m_failure = message;
    QTimer::singleShot(0, this, &QDialog::reject);
}

void TReportPreviewDialog::PageDrawn() { m_shown = m_imagePage; }

void TReportPreviewDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_fit != TFit::None)
        Refresh();
}

void TReportPreviewDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Refresh();
}
