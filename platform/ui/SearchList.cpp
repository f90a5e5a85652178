#include "SearchList.h"
#include "Exceptions.h"
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>
#include <deque>
#include <optional>

namespace {
struct Answer {
    bool Cancel = false;
    QStringList Codes;
    std::optional<QString> Paste;
};
std::deque<Answer> &answers()
{
    static std::deque<Answer> queue;
    return queue;
}
bool g_interactive = true;
std::function<void(const TSearchListRun &)> &observer()
{
    static std::function<void(const TSearchListRun &)> fn;
    return fn;
}
QString wrap(const QString &key) { return QLatin1Char('_') + key + QLatin1Char('_'); }
bool allDigits(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}
// A numeric code without its leading zeros ("000006" and "6" give "6"; "000" gives "0").
QString numberKey(const QString &digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == QLatin1Char('0'))
        ++i;
    return digits.mid(i);
}
} // namespace

QStringList CodeListKeys(const QString &codes)
{
    static const QRegularExpression item(QStringLiteral("_([^_]+)_"));
    QStringList out;
    for (auto m = item.globalMatch(codes); m.hasNext();)
        out << m.next().captured(1);
    return out;
}

QStringList PastedCodes(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

void TSearchListScript::PushCodes(const QStringList &codes) { answers().push_back({false, codes, std::nullopt}); }
void TSearchListScript::PushCancel() { answers().push_back({true, {}, std::nullopt}); }
void TSearchListScript::PushPaste(const QString &text) { answers().push_back({false, {}, text}); }
void TSearchListScript::Clear() { answers().clear(); }
void TSearchListScript::SetInteractive(bool interactive) { g_interactive = interactive; }
void TSearchListScript::SetObserver(std::function<void(const TSearchListRun &)> fn) { observer() = std::move(fn); }

TSearchListDialog::TSearchListDialog(TDataSet &data, const QString &keyField, const QString &title, const QString &codes, QWidget *parent,
                                     const QString &nameField)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("PesquisaLista"));
    setWindowTitle(title);
    resize(560, 420);
    auto *layout = new QVBoxLayout(this);
    auto *filterRow = new QHBoxLayout;
    auto *filterLabel = new QLabel(QStringLiteral("&Localizar:"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("edtFiltro"));
    m_filter->setClearButtonEnabled(true);
    filterLabel->setBuddy(m_filter);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter);
    layout->addLayout(filterRow);

    TField &key = data.FieldByName(keyField);
    QVector<TField *> shown;
    for (int i = 0; i < data.FieldCount(); ++i)
        if (data.Fields(i).Visible)
            shown << &data.Fields(i);
    TField *name = nameField.isEmpty() ? nullptr : data.FindField(nameField);
    for (qsizetype c = 0; !name && c < shown.size(); ++c)
        if (shown[c] != &key)
            name = shown[c];
    m_grid = new QTableWidget(data.RecordCount(), static_cast<int>(shown.size()) + 1, this);
    m_grid->setObjectName(QStringLiteral("grdLista"));
    QStringList headers{QString()};
    for (TField *f : shown)
        headers << f->Label();
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QFontMetrics fm(font());
    m_grid->setColumnWidth(0, 28);
    for (qsizetype c = 0; c < shown.size(); ++c) {
        const int chars = shown[c]->DisplayWidth > 0 ? shown[c]->DisplayWidth : std::min(shown[c]->Size > 0 ? shown[c]->Size : 12, 40);
        m_grid->setColumnWidth(static_cast<int>(c) + 1, fm.horizontalAdvance(QLatin1Char('0')) * std::max(chars, 4) + 12);
    }
    for (int r = 0; r < data.RecordCount(); ++r) {
        data.WithRecord(r, [&] {
            const QString k = key.AsString();
            m_keys << k;
            m_names << (name ? name->DisplayText().trimmed() : QString());
            m_byText[k].append(r);
            if (const QString shownKey = key.DisplayText().trimmed(); !shownKey.isEmpty() && shownKey != k)
                m_byText[shownKey].append(r);
            if (allDigits(k))
                m_byNumber[numberKey(k)].append(r);
            auto *mark = new QTableWidgetItem;
            mark->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            mark->setCheckState(codes.contains(wrap(k)) ? Qt::Checked : Qt::Unchecked);
            m_grid->setItem(r, 0, mark);
            for (qsizetype c = 0; c < shown.size(); ++c)
                m_grid->setItem(r, static_cast<int>(c) + 1, new QTableWidgetItem(shown[c]->DisplayText()));
        });
    }
    layout->addWidget(m_grid);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblNaoEncontrados"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note->hide();
    layout->addWidget(m_note);

    auto *buttons = new QHBoxLayout;
    auto *markAll = new QPushButton(QStringLiteral("&Marcar todos"), this);
    markAll->setObjectName(QStringLiteral("btnMarcarTodos"));
    auto *unmarkAll = new QPushButton(QStringLiteral("&Desmarcar todos"), this);
    unmarkAll->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    auto *paste = new QPushButton(QStringLiteral("C&olar códigos"), this);
    paste->setObjectName(QStringLiteral("btnColarCodigos"));
    paste->setToolTip(QStringLiteral("Marca os códigos copiados: um por linha, ou separados por espaço, vírgula ou ponto e vírgula (Ctrl+V)"));
    m_count = new QLabel(this);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    buttons->addWidget(markAll);
    buttons->addWidget(unmarkAll);
    buttons->addWidget(paste);
    buttons->addWidget(m_count, 1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &TSearchListDialog::SetFilter);
    connect(markAll, &QPushButton::clicked, this, [this] { MarkAll(true); });
    connect(unmarkAll, &QPushButton::clicked, this, [this] { MarkAll(false); });
    connect(paste, &QPushButton::clicked, this, &TSearchListDialog::PasteClipboard);
    m_filter->installEventFilter(this);
    m_grid->installEventFilter(this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_grid, &QTableWidget::itemChanged, this, [this] { UpdateCount(); });
    if (m_grid->rowCount() > 0)
        m_grid->setCurrentCell(0, 0);
    m_filter->setFocus();
    UpdateCount();
}

void TSearchListDialog::SetFilter(const QString &text)
{
    if (m_filter->text() != text)
        m_filter->setText(text);
    const QString needle = text.trimmed();
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        bool match = needle.isEmpty();
        for (int c = 1; !match && c < m_grid->columnCount(); ++c)
            match = m_grid->item(r, c)->text().contains(needle, Qt::CaseInsensitive);
        m_grid->setRowHidden(r, !match);
    }
    // The current row is always one the user can see.
    if (m_grid->currentRow() < 0 || m_grid->isRowHidden(m_grid->currentRow())) {
        for (int r = 0; r < m_grid->rowCount(); ++r) {
            if (!m_grid->isRowHidden(r)) {
                m_grid->setCurrentCell(r, 0);
                break;
            }
        }
    }
    UpdateCount();
}

void TSearchListDialog::MarkAll(bool marked)
{
    // Marks only what the filter shows, as the user sees it.
    for (int r = 0; r < m_grid->rowCount(); ++r)
        if (!m_grid->isRowHidden(r))
            m_grid->item(r, 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
}

void TSearchListDialog::SetMarked(const QString &key, bool marked)
{
    for (qsizetype r = 0; r < m_keys.size(); ++r)
        if (m_keys[r] == key)
            m_grid->item(static_cast<int>(r), 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
}

QStringList TSearchListDialog::MarkedKeys() const
{
    QStringList out;
    for (qsizetype r = 0; r < m_keys.size(); ++r)
        if (m_grid->item(static_cast<int>(r), 0)->checkState() == Qt::Checked)
            out << m_keys[r];
    return out;
}

QString TSearchListDialog::Codes() const
{
    QString out;
    for (const QString &k : MarkedKeys())
        out += wrap(k);
    return out;
}

int TSearchListDialog::VisibleRows() const
{
    int n = 0;
    for (int r = 0; r < m_grid->rowCount(); ++r)
        if (!m_grid->isRowHidden(r))
            ++n;
    return n;
}

QStringList TSearchListDialog::PasteCodes(const QString &text)
{
    m_unknown.clear();
    for (const QString &code : PastedCodes(text)) {
        QList<int> rows = m_byText.value(code);
        if (rows.isEmpty() && allDigits(code))
            rows = m_byNumber.value(numberKey(code));
        if (rows.isEmpty() && !m_unknown.contains(code))
            m_unknown << code;
        for (int r : rows)
            m_grid->item(r, 0)->setCheckState(Qt::Checked);
    }
    m_note->setText(m_unknown.isEmpty() ? QString()
                    : (m_unknown.size() == 1 ? QStringLiteral("Código não encontrado: ") : QStringLiteral("Códigos não encontrados: "))
                          + m_unknown.join(QStringLiteral(", ")));
    m_note->setVisible(!m_note->text().isEmpty());
    return m_unknown;
}

void TSearchListDialog::PasteClipboard()
{
    const QString text = QApplication::clipboard()->text();
    if (PastedCodes(text).isEmpty()) {
        m_unknown.clear();
        m_note->setText(QStringLiteral("A área de transferência não tem códigos para colar."));
        m_note->show();
        return;
    }
    PasteCodes(text);
}

QString TSearchListDialog::PasteNote() const { return m_note->isHidden() ? QString() : m_note->text(); }

QHash<QString, QString> TSearchListDialog::MarkedNames() const
{
    QHash<QString, QString> out;
    for (qsizetype r = 0; r < m_keys.size(); ++r)
        if (m_grid->item(static_cast<int>(r), 0)->checkState() == Qt::Checked)
            out.insert(m_keys[r], m_names[r]);
    return out;
}

bool TSearchListDialog::eventFilter(QObject *watched, QEvent *e)
{
    // Ctrl+V pastes codes from the grid; in the filter box only a list of
    // codes, a single word still goes into the box as a filter.
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->matches(QKeySequence::Paste)) {
        if (watched == m_grid || (watched == m_filter && PastedCodes(QApplication::clipboard()->text()).size() > 1)) {
            PasteClipboard();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TSearchListDialog::UpdateCount()
{
    m_count->setText(QStringLiteral("%1 de %2 marcados").arg(MarkedKeys().size()).arg(m_keys.size()));
}

void TSearchListDialog::keyPressEvent(QKeyEvent *e)
{
    // Space marks the current row; Down goes from the filter box to the grid.
    if (e->key() == Qt::Key_Space && !m_filter->hasFocus()) {
        if (QTableWidgetItem *item = m_grid->item(m_grid->currentRow(), 0))
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return;
    }
    if (e->key() == Qt::Key_Down && m_filter->hasFocus()) {
        m_grid->setFocus(); // onto the first row the filter shows
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        PasteClipboard();
        return;
    }
    if (e->key() == Qt::Key_A && (e->modifiers() & Qt::ControlModifier)) {
        MarkAll(!(e->modifiers() & Qt::ShiftModifier));
        return;
    }
    QDialog::keyPressEvent(e);
}

bool PesquisaLista(TDataSource *source, const QString &keyField, const QString &title, bool /*flag*/, QString &codes, TSearchListPick *pick)
{
    if (!source || !source->DataSet)
        throw EHostError(QStringLiteral("A lista '%1' não tem origem de dados.").arg(title));
    TDataSet &data = *source->DataSet;
    if (!data.Active())
        data.Open();
    TSearchListDialog dialog(data, keyField, title, codes, QApplication::activeWindow(), pick ? pick->NameField : QString());
    TSearchListRun run;
    run.Title = title;
    run.KeyField = keyField;
    run.Rows = data.RecordCount();
    run.Marked = dialog.MarkedKeys();
    if (!answers().empty()) {
        const Answer a = answers().front();
        answers().pop_front();
        run.Confirmed = !a.Cancel;
        if (a.Paste) {
            dialog.PasteCodes(*a.Paste);
        } else if (run.Confirmed) {
            dialog.MarkAll(false);
            for (const QString &c : a.Codes)
                dialog.SetMarked(c, true);
        }
    } else if (g_interactive) {
        run.Confirmed = dialog.exec() == QDialog::Accepted;
    }
    if (run.Confirmed) {
        codes = dialog.Codes();
        if (pick)
            pick->Names = dialog.MarkedNames();
    }
    run.Codes = codes;
    run.Unknown = dialog.UnknownCodes();
    if (observer())
        observer()(run);
    return run.Confirmed;
}
