#include "ui/SearchList.h"
#include "data/Exceptions.h"
#include "services/Session.h"
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QAbstractTableModel>
#include <QSet>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <numeric>
#include <vector>
#include <deque>
#include <optional>

namespace {
std::deque<TSearchAnswer> &answers() { return SessionState().SearchAnswers; }
std::function<void(const TSearchListRun &)> &observer() { return SessionState().SearchObserver; }
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
void TSearchListScript::SetInteractive(bool interactive) { SessionState().PersonAtSearchLists = interactive; }
bool TSearchListScript::Interactive() { return SessionState().PersonAtSearchLists; }
void TSearchListScript::SetObserver(std::function<void(const TSearchListRun &)> fn) { observer() = std::move(fn); }

// The rows of the search list: the shown texts (computed once), a mark per row and
// the rows the filter keeps, as indexes into the data set's rows in its order.
class TSearchListModel : public QAbstractTableModel {
public:
    TSearchListModel(QStringList labels, int rows, QObject *parent)
        : QAbstractTableModel(parent), m_labels(std::move(labels)), m_columns(static_cast<int>(m_labels.size()) - 1),
          m_marked(static_cast<size_t>(rows), 0), m_shown(static_cast<size_t>(rows))
    {
        m_texts.reserve(static_cast<size_t>(rows) * static_cast<size_t>(m_columns));
        m_folded.reserve(m_texts.capacity());
        std::iota(m_shown.begin(), m_shown.end(), 0);
    }
    // Called after the marks changed, once per change however many rows it marked.
    std::function<void()> MarksChanged;

    void AddText(const QString &text)
    {
        m_texts.push_back(text);
        m_folded.push_back(text.toCaseFolded());
    }
    const QString &Text(int row, int column) const { return m_texts[static_cast<size_t>(row) * static_cast<size_t>(m_columns) + static_cast<size_t>(column)]; }
    int Rows() const { return static_cast<int>(m_marked.size()); }
    int Shown() const { return static_cast<int>(m_shown.size()); }
    // The data set's row shown at view row `viewRow`, and back (-1: filtered out).
    int RowAt(int viewRow) const { return m_shown[static_cast<size_t>(viewRow)]; }
    int ViewRow(int row) const
    {
        const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), row);
        return it != m_shown.end() && *it == row ? static_cast<int>(it - m_shown.begin()) : -1;
    }
    bool Marked(int row) const { return m_marked[static_cast<size_t>(row)] != 0; }
    int MarkedCount() const { return m_markedCount; }

    template <typename Rows> void Mark(const Rows &rows, bool marked)
    {
        bool changed = false;
        int first = Shown(), last = -1;
        for (const int row : rows) {
            char &m = m_marked[static_cast<size_t>(row)];
            if ((m != 0) == marked)
                continue;
            m = marked ? 1 : 0;
            m_markedCount += marked ? 1 : -1;
            changed = true;
            if (const int v = ViewRow(row); v >= 0) {
                first = std::min(first, v);
                last = std::max(last, v);
            }
        }
        if (last >= 0)
            emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
        if (changed && MarksChanged)
            MarksChanged();
    }
    void MarkShown(bool marked) { Mark(m_shown, marked); }

    // Keeps the rows with a shown text that holds the needle, ignoring case. A needle that
    // holds the last one only looks at the rows the last one kept (typing on narrows).
    void Filter(const QString &needle)
    {
        if (needle == m_needle)
            return;
        std::vector<int> kept;
        if (needle.isEmpty()) {
            kept.resize(m_marked.size());
            std::iota(kept.begin(), kept.end(), 0);
        } else {
            // Both sides case-folded once: a plain search per cell.
            const QString folded = needle.toCaseFolded();
            const auto matches = [&](int row) {
                const size_t at = static_cast<size_t>(row) * static_cast<size_t>(m_columns);
                for (size_t c = 0; c < static_cast<size_t>(m_columns); ++c)
                    if (m_folded[at + c].contains(folded))
                        return true;
                return false;
            };
            if (folded.contains(m_foldedNeedle)) {
                for (const int row : m_shown)
                    if (matches(row))
                        kept.push_back(row);
            } else {
                for (int row = 0; row < Rows(); ++row)
                    if (matches(row))
                        kept.push_back(row);
            }
        }
        beginResetModel();
        m_shown.swap(kept);
        m_needle = needle;
        m_foldedNeedle = needle.toCaseFolded();
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : Shown(); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_columns + 1; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= Shown())
            return {};
        const int row = RowAt(index.row());
        if (index.column() == 0)
            return role == Qt::CheckStateRole ? QVariant(Marked(row) ? Qt::Checked : Qt::Unchecked) : QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return Text(row, index.column() - 1);
        return {};
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
            return false;
        Mark(std::array{RowAt(index.row())}, value.toInt() == Qt::Checked);
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return index.column() == 0 ? Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_labels.size())
            return m_labels[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QStringList m_labels;
    int m_columns;
    std::vector<QString> m_texts;  // row-major, one per shown column
    std::vector<QString> m_folded; // the same, case-folded for the filter
    std::vector<char> m_marked;
    int m_markedCount = 0;
    std::vector<int> m_shown;
    QString m_needle;
    QString m_foldedNeedle;
};

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
    QStringList headers{QString()};
    for (TField *f : shown)
        headers << f->Label();
    const qsizetype nameColumn = shown.indexOf(name); // a shown name is read once
    const int rows = data.RecordCount();
    m_model = new TSearchListModel(headers, rows, this);
    // The codes that come marked; a key a code list cannot hold is looked for in the text.
    QSet<QString> given;
    for (const QString &k : CodeListKeys(codes))
        given.insert(k);
    std::vector<int> marked;
    m_keys.reserve(rows);
    m_names.reserve(rows);
    m_shownKeys.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        data.WithRecord(r, [&] {
            const QString k = key.AsString();
            m_keys << k;
            if (nameColumn < 0)
                m_names << (name ? name->DisplayText().trimmed() : QString());
            m_shownKeys << key.DisplayText().trimmed();
            if (k.isEmpty() || k.contains(QLatin1Char('_')) ? codes.contains(wrap(k)) : given.contains(k))
                marked.push_back(r);
            for (qsizetype c = 0; c < shown.size(); ++c) {
                const QString text = shown[c]->DisplayText();
                if (c == nameColumn)
                    m_names << text.trimmed();
                m_model->AddText(text);
            }
        });
    }
    m_model->Mark(marked, true);

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("grdLista"));
    m_grid->verticalHeader()->hide();
    // Every row has the default height: nothing is measured per row.
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setModel(m_model);
    const QFontMetrics fm(font());
    m_grid->setColumnWidth(0, 28);
    for (qsizetype c = 0; c < shown.size(); ++c) {
        const int chars = shown[c]->DisplayWidth > 0 ? shown[c]->DisplayWidth : std::min(shown[c]->Size > 0 ? shown[c]->Size : 12, 40);
        m_grid->setColumnWidth(static_cast<int>(c) + 1, fm.horizontalAdvance(QLatin1Char('0')) * std::max(chars, 4) + 12);
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
    m_count->setObjectName(QStringLiteral("lblMarcados"));
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
    m_model->MarksChanged = [this] { UpdateCount(); };
    if (m_model->Shown() > 0)
        m_grid->setCurrentIndex(m_model->index(0, 0));
    m_filter->setFocus();
    UpdateCount();
}

void TSearchListDialog::SetFilter(const QString &text)
{
    if (m_filter->text() != text)
        m_filter->setText(text);
    const QModelIndex current = m_grid->currentIndex();
    const int currentRow = current.isValid() ? m_model->RowAt(current.row()) : -1;
    m_model->Filter(text.trimmed());
    // The current row is always one the user can see: the same row while the filter keeps it,
    // else the first.
    const int at = currentRow >= 0 ? m_model->ViewRow(currentRow) : -1;
    if (at >= 0)
        m_grid->setCurrentIndex(m_model->index(at, current.column()));
    else if (m_model->Shown() > 0)
        m_grid->setCurrentIndex(m_model->index(0, 0));
    UpdateCount();
}

void TSearchListDialog::MarkAll(bool marked)
{
    // Marks only what the filter shows, as the user sees it.
    m_model->MarkShown(marked);
}

void TSearchListDialog::IndexKeys()
{
    if (m_indexed)
        return;
    m_indexed = true;
    for (int r = 0; r < static_cast<int>(m_keys.size()); ++r) {
        const QString &k = m_keys[r];
        m_byKey[k].append(r);
        m_byText[k].append(r);
        if (const QString &shownKey = m_shownKeys[r]; !shownKey.isEmpty() && shownKey != k)
            m_byText[shownKey].append(r);
        if (allDigits(k))
            m_byNumber[numberKey(k)].append(r);
    }
}

void TSearchListDialog::SetMarked(const QString &key, bool marked)
{
    IndexKeys();
    m_model->Mark(m_byKey.value(key), marked);
}

QStringList TSearchListDialog::MarkedKeys() const
{
    QStringList out;
    for (int r = 0; r < m_model->Rows(); ++r)
        if (m_model->Marked(r))
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

int TSearchListDialog::VisibleRows() const { return m_model->Shown(); }

QStringList TSearchListDialog::PasteCodes(const QString &text)
{
    m_unknown.clear();
    IndexKeys();
    for (const QString &code : PastedCodes(text)) {
        QList<int> rows = m_byText.value(code);
        if (rows.isEmpty() && allDigits(code))
            rows = m_byNumber.value(numberKey(code));
        if (rows.isEmpty() && !m_unknown.contains(code))
            m_unknown << code;
        m_model->Mark(rows, true);
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
    for (int r = 0; r < m_model->Rows(); ++r)
        if (m_model->Marked(r))
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
    m_count->setText(QStringLiteral("%1 de %2 marcados").arg(m_model->MarkedCount()).arg(m_model->Rows()));
}

void TSearchListDialog::keyPressEvent(QKeyEvent *e)
{
    // Space marks the current row; Down goes from the filter box to the grid.
    if (e->key() == Qt::Key_Space && !m_filter->hasFocus()) {
        if (const QModelIndex current = m_grid->currentIndex(); current.isValid()) {
            const int row = m_model->RowAt(current.row());
            m_model->Mark(std::array{row}, !m_model->Marked(row));
        }
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
        const TSearchAnswer a = answers().front();
        answers().pop_front();
        run.Confirmed = !a.Cancel;
        if (a.Paste) {
            dialog.PasteCodes(*a.Paste);
        } else if (run.Confirmed) {
            dialog.MarkAll(false);
            for (const QString &c : a.Codes)
                dialog.SetMarked(c, true);
        }
    } else if (SessionState().PersonAtSearchLists) {
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

