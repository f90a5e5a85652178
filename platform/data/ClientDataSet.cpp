#include "ClientDataSet.h"
#include "Exceptions.h"

TClientDataSet::TClientDataSet(const QString &name, QObject *parent) : TDataSet(name, parent) {}

void TClientDataSet::SetData(const QVariant &packet) { SetData(PacketFromVariant(packet)); }

void TClientDataSet::SetData(const TDataPacket &packet)
{
    if (FieldCount() == 0) {
        for (const auto &f : packet.Fields)
            AddField(f.Name, f.Type, f.Size).Required = f.Required;
    }
    // Map the persistent fields onto the packet's columns by name.
    std::vector<int> map(static_cast<size_t>(FieldCount()), -1);
    for (int i = 0; i < FieldCount(); ++i) {
        const int src = packet.FieldIndex(Fields(i).FieldName);
        if (src < 0)
            throw EDatabaseError(QStringLiteral("%1: o pacote recebido não tem o campo '%2'.").arg(objectName(), Fields(i).FieldName));
        map[static_cast<size_t>(i)] = src;
    }
    std::vector<TRecord> rows;
    rows.reserve(packet.Rows.size());
    for (const TRecord &src : packet.Rows) {
        TRecord row(map.size());
        for (size_t i = 0; i < map.size(); ++i)
            row[i] = Fields(static_cast<int>(i)).Coerce(src[static_cast<size_t>(map[i])]);
        rows.push_back(std::move(row));
    }
    LoadRows(std::move(rows));
}

QVariant TClientDataSet::Data() const { return PacketToVariant(TDataPacket::FromDataSet(*this)); }

int TClientDataSet::ChangeCount() const
{
    int n = static_cast<int>(m_deletedBase.size());
    for (const RowLog &l : m_log)
        if (l.baseIndex < 0 || l.modified)
            ++n;
    return n;
}

TDataPacket TClientDataSet::DeltaPacket() const
{
    TDataPacket p = TDataPacket::FromDataSet(*this);
    p.Rows.clear();
    p.Kinds.clear();
    for (int b : m_deletedBase)
        p.AddRow(m_base[static_cast<size_t>(b)], TRowKind::Deleted);
    for (size_t i = 0; i < m_log.size(); ++i) {
        const RowLog &l = m_log[i];
        if (l.baseIndex < 0) {
            p.AddRow(m_rows[i], TRowKind::Inserted);
        } else if (l.modified) {
            p.AddRow(m_base[static_cast<size_t>(l.baseIndex)], TRowKind::Original);
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
    std::vector<TRecord> base = m_base;
    LoadRows(std::move(base));
    ResetLog();
    if (recNo > 0 && recNo <= RecordCount())
        SetRecNo(recNo);
}

void TClientDataSet::InternalClose()
{
    TDataSet::InternalClose();
    m_base.clear();
    m_log.clear();
    m_deletedBase.clear();
}

void TClientDataSet::ResetLog()
{
    m_base = m_rows;
    m_log.assign(m_rows.size(), RowLog{});
    for (size_t i = 0; i < m_log.size(); ++i)
        m_log[i].baseIndex = static_cast<int>(i);
    m_deletedBase.clear();
}

void TClientDataSet::RowInserted(int row) { m_log.insert(m_log.begin() + row, RowLog{}); }

void TClientDataSet::RowModified(int row, const TRecord &)
{
    RowLog &l = m_log[static_cast<size_t>(row)];
    if (l.baseIndex >= 0)
        l.modified = m_rows[static_cast<size_t>(row)] != m_base[static_cast<size_t>(l.baseIndex)];
}

void TClientDataSet::RowDeleted(int row)
{
    const RowLog l = m_log[static_cast<size_t>(row)];
    if (l.baseIndex >= 0)
        m_deletedBase.push_back(l.baseIndex);
    m_log.erase(m_log.begin() + row);
}
