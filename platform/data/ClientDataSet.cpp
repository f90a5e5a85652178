#include "data/ClientDataSet.h"
#include "data/Exceptions.h"

TClientDataSet::TClientDataSet(const QString &name, QObject *parent) : TDataSet(name, parent) {}


void TClientDataSet::SetData(const QVariant &packet) { SetData(PacketFromVariant(packet)); }

void TClientDataSet::SetData(QVariant &&packet) { SetData(PacketFromVariant(std::move(packet))); }

void TClientDataSet::SetData(const TDataPacket &packet) { SetData(TDataPacket(packet)); }

void TClientDataSet::SetData(TDataPacket &&packet)
{
    if (FieldCount() == 0) {
        for (const auto &f : packet.Fields)
            AddField(f.Name, f.Type, f.Size).Required = f.Required;
    }
    // Map the persistent fields onto the packet's columns by name.
    std::vector<int> map(static_cast<size_t>(FieldCount()), -1);
    bool same = map.size() == packet.Fields.size();
    for (int i = 0; i < FieldCount(); ++i) {
        const int src = packet.FieldIndex(Fields(i).FieldName);
        if (src < 0)
            throw EDatabaseError(QStringLiteral("%1: o pacote recebido não tem o campo '%2'.").arg(objectName(), Fields(i).FieldName));
        map[static_cast<size_t>(i)] = src;
        same = same && src == i;
    }
    std::vector<const TField *> fields;
    for (int i = 0; i < FieldCount(); ++i)
        fields.push_back(&Fields(i));
    std::vector<TRecord> rows;
    if (same) {
        // The packet's columns are the fields in order: its rows become the data set's.
        rows = std::move(packet.Rows);
        // A text shared down a column is checked once: the same box holds the same text.
        std::vector<const void *> checked(map.size(), nullptr);
        // Boxes met for the first time lie apart in memory: they are fetched some rows ahead.
        constexpr size_t kAhead = 8;
        for (size_t r = 0; r < rows.size(); ++r) {
            if (r + kAhead < rows.size()) {
                const TRecord &ahead = rows[r + kAhead];
                for (size_t i = 0; i < std::min(ahead.size(), map.size()); ++i)
                    if (const void *box = ahead.Cell(i).Box(); box && box != checked[i])
                        __builtin_prefetch(box);
            }
            TRecord &row = rows[r];
            row.resize(map.size());
            for (size_t i = 0; i < map.size(); ++i) {
                const TCell &cell = row.Cell(i);
                if (cell.IsNull() || (cell.Box() && cell.Box() == checked[i]))
                    continue;
                if (InFieldForm(fields[i]->DataType, fields[i]->Size, cell))
                    checked[i] = cell.Box();
                else
                    row[i] = fields[i]->Coerce(row[i]);
            }
        }
    } else {
        rows.reserve(packet.Rows.size());
        for (const TRecord &src : packet.Rows) {
            TRecord row(map.size());
            for (size_t i = 0; i < map.size(); ++i)
                row[i] = fields[i]->Coerce(src[static_cast<size_t>(map[i])]);
            rows.push_back(std::move(row));
        }
    }
    packet = TDataPacket();
    LoadRows(std::move(rows));
}

QVariant TClientDataSet::Data() const { return PacketToVariant(TDataPacket::FromDataSet(*this)); }

int TClientDataSet::ChangeCount() const
{
    int n = static_cast<int>(m_deleted.size());
    for (const RowLog &l : m_log)
        if (l.baseIndex < 0 || l.modified)
            ++n;
    return n;
}

TRecord TClientDataSet::BaseRow(const RowLog &log, const TRecord &row) const
{
    TRecord base = row;
    for (int o = log.original; o >= 0; o = m_originals[static_cast<size_t>(o)].next)
        base.Cell(static_cast<size_t>(m_originals[static_cast<size_t>(o)].field)) = m_originals[static_cast<size_t>(o)].value;
    return base;
}

TDataPacket TClientDataSet::DeltaPacket() const
{
    TDataPacket p = TDataPacket::FromDataSet(*this);
    p.Rows.clear();
    p.Kinds.clear();
    for (const auto &d : m_deleted)
        p.AddRow(d.second, TRowKind::Deleted);
    for (size_t i = 0; i < m_log.size(); ++i) {
        const RowLog &l = m_log[i];
        if (l.baseIndex < 0) {
            p.AddRow(m_rows[i], TRowKind::Inserted);
        } else if (l.modified) {
            p.AddRow(BaseRow(l, m_rows[i]), TRowKind::Original);
            p.AddRow(m_rows[i], TRowKind::Modified);
        }
    }
    return p;
}

QVariant TClientDataSet::Delta() const { return PacketToVariant(DeltaPacket()); }

void TClientDataSet::MergeChangeLog()
{
    if (State() == TDataSetState::Edit || State() == TDataSetState::Insert)
        Post();
    ResetLog();
}

void TClientDataSet::CancelUpdates()
{
    Cancel();
    if (!Active())
        return;
    const int recNo = RecNo();
    std::vector<TRecord> base(static_cast<size_t>(m_baseCount));
    for (size_t i = 0; i < m_log.size(); ++i) {
        const RowLog &l = m_log[i];
        if (l.baseIndex >= 0)
            base[static_cast<size_t>(l.baseIndex)] = BaseRow(l, m_rows[i]);
    }
    for (auto &d : m_deleted)
        base[static_cast<size_t>(d.first)] = std::move(d.second);
    LoadRows(std::move(base));
    ResetLog();
    if (recNo > 0 && recNo <= RecordCount())
        SetRecNo(recNo);
}

void TClientDataSet::InternalClose()
{
    TDataSet::InternalClose();
    m_baseCount = 0;
    m_log.clear();
    m_originals.clear();
    m_deleted.clear();
}

void TClientDataSet::ResetLog()
{
    m_baseCount = RecordCount();
    m_log.assign(m_rows.size(), RowLog{});
    for (size_t i = 0; i < m_log.size(); ++i)
        m_log[i].baseIndex = static_cast<int>(i);
    m_originals.clear();
    m_deleted.clear();
}

void TClientDataSet::RowInserted(int row) { m_log.insert(m_log.begin() + row, RowLog{}); }

bool TClientDataSet::Remember(RowLog &log, int field, TCell before)
{
    for (int o = log.original; o >= 0; o = m_originals[static_cast<size_t>(o)].next)
        if (m_originals[static_cast<size_t>(o)].field == field)
            return false;
    m_originals.push_back(Original{field, log.original, std::move(before)});
    log.original = static_cast<int>(m_originals.size() - 1);
    return true;
}

void TClientDataSet::UpdateModified(RowLog &log, const TRecord &row)
{
    log.modified = false;
    for (int o = log.original; o >= 0; o = m_originals[static_cast<size_t>(o)].next) {
        const Original &orig = m_originals[static_cast<size_t>(o)];
        if (!SameValue(row.Cell(static_cast<size_t>(orig.field)), orig.value)) {
            log.modified = true;
            return;
        }
    }
}

void TClientDataSet::RowModified(int row, const TRecord &before)
{
    RowLog &l = m_log[static_cast<size_t>(row)];
    if (l.baseIndex < 0)
        return;
    const TRecord &now = m_rows[static_cast<size_t>(row)];
    for (size_t f = 0; f < now.size() && f < before.size(); ++f)
        if (!SameValue(now.Cell(f), before.Cell(f)))
            Remember(l, static_cast<int>(f), before.Cell(f));
    UpdateModified(l, now);
}

void TClientDataSet::FieldModified(int row, int field, TCell &&before)
{
    RowLog &l = m_log[static_cast<size_t>(row)];
    if (l.baseIndex < 0)
        return;
    // The first change of a field differs from its base value by itself.
    if (Remember(l, field, std::move(before)))
        l.modified = true;
    else
        UpdateModified(l, m_rows[static_cast<size_t>(row)]);
}

void TClientDataSet::RowDeleted(int row)
{
    const RowLog &l = m_log[static_cast<size_t>(row)];
    if (l.baseIndex >= 0)
        m_deleted.emplace_back(l.baseIndex, BaseRow(l, m_rows[static_cast<size_t>(row)]));
    m_log.erase(m_log.begin() + row);
}
