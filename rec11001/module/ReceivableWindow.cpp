#include "module/ReceivableWindow.h"
#include "report/ReportRows.h"
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString day(const QDate &d) { return d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : QString(); }

// A table a person reads and opens rows of: whole rows chosen, nothing edited.
QTableWidget *table(QWidget *parent, const char *name, const QStringList &headings, int rows)
{
    auto *t = new QTableWidget(rows, static_cast<int>(headings.size()), parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void cell(QTableWidget *t, int row, int column, const QString &text, bool amount = false)
{
    auto *item = new QTableWidgetItem(text);
    if (amount)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    t->setItem(row, column, item);
}

// A figure under its caption, read-only, named by what it shows.
QLineEdit *figure(QWidget *parent, QGridLayout *grid, int row, int column, const QString &name, const QString &caption, const QString &text)
{
    auto *label = new QLabel(caption + QLatin1Char(':'), parent);
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setCursorPosition(0);
    label->setBuddy(edit);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(edit, row, column * 2 + 1);
    return edit;
}

// Lines of receivables in a table: the columns each list shows.
void fillLines(QTableWidget *t, const QVector<TReceivableLine> &lines, bool client)
{
    for (int r = 0; r < lines.size(); ++r) {
        const TReceivableLine &l = lines[r];
        QStringList texts{QString::number(l.Number), l.Company};
        if (client)
            texts << l.Client << l.ClientName;
        texts << l.Document << day(l.Due) << l.Status;
        int c = 0;
        for (const QString &text : texts)
            cell(t, r, c++, text);
        for (double v : {l.Value, l.Settled, l.Balance()})
            cell(t, r, c++, AmountText(v), true);
    }
    t->resizeColumnsToContents();
}

// Enter or a double click on a row opens the receivable of its first column.
void opensRows(QTableWidget *t, QDialog *window, const std::function<void(qint64)> &open)
{
    QObject::connect(t, &QTableWidget::cellActivated, window, [t, open](int row, int) {
        if (open && t->item(row, 0))
            open(t->item(row, 0)->text().toLongLong());
    });
}

// "Fechar", which Enter does not press: Enter opens the row chosen in the table.
QDialogButtonBox *closeButton(QDialog *window)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("Fechar"));
    close->setObjectName(QStringLiteral("btnFechar"));
    close->setAutoDefault(false);
    close->setDefault(false);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::reject);
    return buttons;
}

QJsonObject lineJson(const TReceivableLine &l)
{
    return {{QStringLiteral("receivable"), static_cast<double>(l.Number)},
            {QStringLiteral("document"), l.Document},
            {QStringLiteral("value"), l.Value},
            {QStringLiteral("balance"), l.Balance()}};
}

const QStringList kLineHeadings = {QStringLiteral("Número"), QStringLiteral("Empresa"), QStringLiteral("Documento"), QStringLiteral("Vencimento"),
                                   QStringLiteral("St"), QStringLiteral("Valor Atualizado"), QStringLiteral("Baixado"), QStringLiteral("Saldo")};
} // namespace

TReceivableWindow::TReceivableWindow(const TReceivable &receivable, const QVector<TReceivableLine> &others, QWidget *parent)
    : QDialog(parent), m_receivable(receivable), m_others(others)
{
    setObjectName(QStringLiteral("dlgContaReceber"));
    setWindowTitle(QStringLiteral("Conta a Receber"));
    auto *fields = new QGroupBox(QStringLiteral("Conta a receber %1").arg(receivable.Line.Number), this);
    auto *grid = new QGridLayout(fields);
    const int half = static_cast<int>((receivable.Fields.size() + 1) / 2);
    for (int i = 0; i < receivable.Fields.size(); ++i) {
        const TReceivableField &f = receivable.Fields[i];
        figure(fields, grid, i % half, i / half, f.Column, f.Caption, f.Text);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto *settled = new QGroupBox(QStringLiteral("Baixas"), this);
    tblBaixas = table(settled, "tblBaixas", {QStringLiteral("Baixa"), QStringLiteral("Data"), QStringLiteral("Valor"), QStringLiteral("Forma"),
                                             QStringLiteral("Conta corrente")},
                      static_cast<int>(receivable.Settlements.size()));
    for (int r = 0; r < receivable.Settlements.size(); ++r) {
        const TSettlement &s = receivable.Settlements[r];
        cell(tblBaixas, r, 0, s.Number);
        cell(tblBaixas, r, 1, day(s.Date));
        cell(tblBaixas, r, 2, AmountText(s.Value), true);
        cell(tblBaixas, r, 3, s.Form);
        cell(tblBaixas, r, 4, s.Account);
    }
    tblBaixas->resizeColumnsToContents();
    auto *sums = new QGridLayout;
    figure(settled, sums, 0, 0, QStringLiteral("TOTALBAIXADO"), QStringLiteral("Total baixado"), AmountText(receivable.Line.Settled));
    figure(settled, sums, 0, 1, QStringLiteral("SALDO"), QStringLiteral("Saldo"), AmountText(receivable.Line.Balance()));
    auto *settledBox = new QVBoxLayout(settled);
    settledBox->addWidget(tblBaixas);
    if (receivable.Settlements.isEmpty())
        settledBox->addWidget(new QLabel(QStringLiteral("Nenhuma baixa."), settled));
    settledBox->addLayout(sums);

    auto *open = new QGroupBox(QStringLiteral("Outras contas em aberto do cliente %1").arg(receivable.Line.Client), this);
    tblOutrasContas = table(open, "tblOutrasContas", kLineHeadings, static_cast<int>(others.size()));
    fillLines(tblOutrasContas, others, false);
    opensRows(tblOutrasContas, this, [this](qint64 n) {
        if (OpenReceivable)
            OpenReceivable(n);
    });
    auto *openBox = new QVBoxLayout(open);
    openBox->addWidget(tblOutrasContas);
    if (others.isEmpty())
        openBox->addWidget(new QLabel(QStringLiteral("Nenhuma outra conta em aberto."), open));

    QDialogButtonBox *buttons = closeButton(this);
    auto *box = new QVBoxLayout(this);
    box->addWidget(fields);
    box->addWidget(settled, 1);
    box->addWidget(open, 1);
    box->addWidget(buttons);
    resize(900, 760);
}

QJsonObject TReceivableWindow::Summary() const
{
    QJsonArray settlements;
    for (const TSettlement &s : m_receivable.Settlements)
        settlements.append(QJsonObject{{QStringLiteral("number"), s.Number},
                                       {QStringLiteral("date"), s.Date.toString(Qt::ISODate)},
                                       {QStringLiteral("value"), s.Value},
                                       {QStringLiteral("form"), s.Form},
                                       {QStringLiteral("account"), s.Account}});
    QJsonArray others;
    for (const TReceivableLine &l : m_others)
        others.append(static_cast<double>(l.Number));
    QJsonObject o = lineJson(m_receivable.Line);
    o[QStringLiteral("client")] = m_receivable.Line.Client;
    o[QStringLiteral("settlements")] = settlements;
    o[QStringLiteral("settled")] = m_receivable.Line.Settled;
    o[QStringLiteral("openOfClient")] = others;
    return o;
}

TReceivableListWindow::TReceivableListWindow(const QString &caption, const QVector<TReceivableLine> &lines, QWidget *parent)
    : QDialog(parent), m_caption(caption), m_lines(lines)
{
    setObjectName(QStringLiteral("dlgContasReceber"));
    setWindowTitle(QStringLiteral("Contas a Receber: ") + caption);
    QStringList headings = kLineHeadings;
    headings.insert(2, QStringLiteral("Cliente"));
    headings.insert(3, QStringLiteral("Razão Social"));
    tblContas = table(this, "tblContas", headings, static_cast<int>(lines.size()));
    fillLines(tblContas, lines, true);
    opensRows(tblContas, this, [this](qint64 n) {
        if (OpenReceivable)
            OpenReceivable(n);
    });
    double value = 0, settled = 0, balance = 0;
    for (const TReceivableLine &l : lines) {
        value += l.Value;
        settled += l.Settled;
        balance += l.Balance();
    }
    auto *totals = new QLabel(QStringLiteral("%1 %2 · valor atualizado %3 · baixado %4 · saldo %5")
                                  .arg(lines.size())
                                  .arg(lines.size() == 1 ? QStringLiteral("conta a receber") : QStringLiteral("contas a receber"))
                                  .arg(AmountText(value), AmountText(settled), AmountText(balance)),
                              this);
    totals->setObjectName(QStringLiteral("lblTotais"));
    QDialogButtonBox *buttons = closeButton(this);
    auto *box = new QVBoxLayout(this);
    box->addWidget(new QLabel(caption, this));
    box->addWidget(tblContas, 1);
    box->addWidget(totals);
    box->addWidget(buttons);
    resize(1000, 640);
}

QJsonObject TReceivableListWindow::Summary() const
{
    QJsonArray numbers;
    double value = 0, balance = 0;
    for (const TReceivableLine &l : m_lines) {
        numbers.append(static_cast<double>(l.Number));
        value += l.Value;
        balance += l.Balance();
    }
    return {{QStringLiteral("caption"), m_caption},
            {QStringLiteral("count"), static_cast<double>(m_lines.size())},
            {QStringLiteral("receivables"), numbers},
            {QStringLiteral("value"), value},
            {QStringLiteral("balance"), balance}};
}
