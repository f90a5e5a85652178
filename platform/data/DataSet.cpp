#include "data/DataSet.h"
#include "data/Exceptions.h"
#include <utility>

TDataSet::TDataSet(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

TDataSet::~TDataSet() = default;

TField &TDataSet::AddField(const QString &name, TFieldType type, int size)
{
    if (Active())
        throw EDatabaseError(QStringLiteral("%1: não é possível definir campos com o conjunto de dados aberto.").arg(objectName()));
    if (FindField(name))
        throw EDatabaseError(QStringLiteral("%1: campo '%2' já definido.").arg(objectName(), name));
    if ((type == TFieldType::String || type == TFieldType::FixedChar) && size <= 0)
        size = 20;
    auto field = std::make_unique<TField>(*this, name, type, size);
    field->m_index = FieldCount();
    m_fields.push_back(std::move(field));
    return *m_fields.back();
}

TField &TDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("%1: índice de campo %2 fora dos limites.").arg(objectName()).arg(index));
    return *m_fields[static_cast<size_t>(index)];
}

TField *TDataSet::FindField(const QString &name) const
{
    for (const auto &f : m_fields)
        if (f->FieldName.compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField &TDataSet::FieldByName(const QString &name) const
{
    if (TField *f = FindField(name))
        return *f;
    throw EDatabaseError(QStringLiteral("%1: campo '%2' não encontrado.").arg(objectName(), name));
}

void TDataSet::ClearFields()
{
    if (Active())
        throw EDatabaseError(QStringLiteral("%1: não é possível remover campos com o conjunto de dados aberto.").arg(objectName()));
    m_fields.clear();
}

void TDataSet::Open()
{
    if (Active())
        return;
    InternalOpen();
    m_state = TDataSetState::Browse;
    First();
    if (AfterOpen)
        AfterOpen(*this);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    m_buffer.clear();
    InternalClose();
    m_state = TDataSetState::Inactive;
    m_cur = -1;
    m_eof = m_bof = true;
}

void TDataSet::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: operação não permitida com o conjunto de dados fechado.").arg(objectName()));
}

void TDataSet::CheckBrowse()
{
    CheckActive();
    if (m_state != TDataSetState::Browse)
        Post(); // moving the cursor posts a pending edit first
}

void TDataSet::SetCursor(int index)
{
    m_cur = m_rows.empty() ? -1 : std::clamp(index, 0, RecordCount() - 1);
}

void TDataSet::First()
{
    CheckBrowse();
    SetCursor(0);
    m_bof = true;
    m_eof = m_rows.empty();
}

void TDataSet::Last()
{
    CheckBrowse();
    SetCursor(RecordCount() - 1);
    m_eof = true;
    m_bof = m_rows.empty();
}

void TDataSet::Next()
{
    CheckBrowse();
    if (m_cur + 1 < RecordCount()) {
        ++m_cur;
        m_eof = false;
    } else {
        m_eof = true;
    }
    m_bof = m_rows.empty();
}

void TDataSet::Prior()
{
    CheckBrowse();
    if (m_cur > 0) {
        --m_cur;
        m_bof = false;
    } else {
        m_bof = true;
    }
    m_eof = m_rows.empty();
}

void TDataSet::SetRecNo(int recNo)
{
    CheckBrowse();
    if (recNo < 1 || recNo > RecordCount())
        throw EDatabaseError(QStringLiteral("%1: registro %2 inexistente.").arg(objectName()).arg(recNo));
    m_cur = recNo - 1;
    m_eof = m_bof = false;
}

QVariant TDataSet::FieldValue(int fieldIndex) const
{
    if (m_state == TDataSetState::Edit || m_state == TDataSetState::Insert)
        return m_buffer[static_cast<size_t>(fieldIndex)];
    if (m_cur < 0 || m_cur >= RecordCount())
        return {};
    const TRecord &row = m_rows[static_cast<size_t>(m_cur)];
    return static_cast<size_t>(fieldIndex) < row.size() ? row[static_cast<size_t>(fieldIndex)] : QVariant();
}

void TDataSet::SetFieldValue(int fieldIndex, const QVariant &value)
{
    CheckActive();
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        throw EDatabaseError(QStringLiteral("%1: o conjunto de dados não está em modo de edição ou inclusão.").arg(objectName()));
    m_buffer[static_cast<size_t>(fieldIndex)] = value;
}

void TDataSet::Edit()
{
    CheckActive();
    if (m_state == TDataSetState::Edit || m_state == TDataSetState::Insert)
        return;
    if (m_rows.empty()) {
        Insert();
        return;
    }
    m_buffer = m_rows[static_cast<size_t>(m_cur)];
    m_buffer.resize(m_fields.size());
    m_state = TDataSetState::Edit;
}

void TDataSet::Insert()
{
    CheckBrowse();
    m_buffer.assign(m_fields.size(), QVariant());
    m_insertAt = m_cur < 0 ? 0 : m_cur;
    m_state = TDataSetState::Insert;
}

void TDataSet::Append()
{
    CheckBrowse();
    m_buffer.assign(m_fields.size(), QVariant());
    m_insertAt = RecordCount();
    m_state = TDataSetState::Insert;
}

void TDataSet::Post()
{
    CheckActive();
    if (m_state == TDataSetState::Browse)
        return;
    for (const auto &f : m_fields)
        if (f->Required && !m_buffer[static_cast<size_t>(f->Index())].isValid())
            throw EDatabaseError(QStringLiteral("O campo '%1' deve ter um valor.").arg(f->Label()));
    if (m_state == TDataSetState::Edit) {
        TRecord &row = m_rows[static_cast<size_t>(m_cur)];
        if (row != m_buffer) {
            TRecord before = row;
            row = m_buffer;
            RowModified(m_cur, before);
        }
    } else {
        m_rows.insert(m_rows.begin() + m_insertAt, m_buffer);
        m_cur = m_insertAt;
        RowInserted(m_cur);
    }
    m_buffer.clear();
    m_state = TDataSetState::Browse;
    m_eof = m_bof = false;
    if (AfterPost)
        AfterPost(*this);
}

void TDataSet::Cancel()
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        return;
    m_buffer.clear();
    m_state = TDataSetState::Browse;
}

void TDataSet::Delete()
{
    CheckBrowse();
    if (m_rows.empty())
        throw EDatabaseError(QStringLiteral("%1: não há registro para excluir.").arg(objectName()));
    RowDeleted(m_cur);
    m_rows.erase(m_rows.begin() + m_cur);
    SetCursor(m_cur);
    m_eof = m_bof = m_rows.empty();
}

void TDataSet::SetRowField(int row, int field, const QVariant &value) { SetRowField(row, field, TCell(value)); }

void TDataSet::SetRowField(int row, int field, const TCell &value)
{
    CheckBrowse();
    if (row < 0 || row >= RecordCount())
        throw EDatabaseError(QStringLiteral("%1: registro %2 inexistente.").arg(objectName()).arg(row + 1));
    const TField &f = Fields(field);
    if (AfterPost) {
        // The event sees the row as current, as after a Post.
        WithRecord(row, [&] {
            Edit();
            m_buffer.Cell(static_cast<size_t>(field)) = value;
            Post();
        });
        return;
    }
    if (f.Required && value.IsNull())
        throw EDatabaseError(QStringLiteral("O campo '%1' deve ter um valor.").arg(f.Label()));
    TRecord &r = m_rows[static_cast<size_t>(row)];
    if (r.size() < m_fields.size())
        r.resize(m_fields.size());
    TCell &cell = r.Cell(static_cast<size_t>(field));
    TCell now(value);
    if (SameValue(cell, now))
        return;
    cell.Swap(now);
    FieldModified(row, field, std::move(now));
}

void TDataSet::FieldModified(int row, int field, TCell &&before)
{
    TRecord was = m_rows[static_cast<size_t>(row)];
    was.Cell(static_cast<size_t>(field)) = std::move(before);
    RowModified(row, was);
}

void TDataSet::WithRecord(int row, const std::function<void()> &fn)
{
    CheckBrowse();
    const int savedCur = m_cur;
    const bool savedEof = m_eof, savedBof = m_bof;
    struct Restore {
        TDataSet *ds;
        int cur;
        bool eof, bof;
        ~Restore() { ds->m_cur = cur; ds->m_eof = eof; ds->m_bof = bof; }
    } restore{this, savedCur, savedEof, savedBof};
    if (row < 0 || row >= RecordCount())
        throw EDatabaseError(QStringLiteral("%1: registro %2 inexistente.").arg(objectName()).arg(row + 1));
    m_cur = row;
    fn();
}

void TDataSet::LoadRows(std::vector<TRecord> rows)
{
    Close();
    for (auto &r : rows)
        r.resize(m_fields.size());
    m_rows = std::move(rows);
    m_state = TDataSetState::Browse;
    RowsLoaded();
    First();
    if (AfterOpen)
        AfterOpen(*this);
}
