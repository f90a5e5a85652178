#pragma once
#include "data/DataPacket.h"
#include "data/DataSet.h"

// A data set filled from data packets that logs every change made to it
// until the log is merged or cancelled.
class TClientDataSet : public TDataSet {
    Q_OBJECT
public:
    explicit TClientDataSet(const QString &name = {}, QObject *parent = nullptr);

    // Replaces the contents; the loaded rows become the base state.
    void SetData(const QVariant &packet);
    // A variant given over hands its decoded rows on.
    void SetData(QVariant &&packet);
    void SetData(const TDataPacket &packet);
    // Takes the packet's rows over instead of copying them when it can.
    void SetData(TDataPacket &&packet);
    // The current rows as a packet.
    QVariant Data() const;
    int ChangeCount() const;
    // The pending changes: inserted rows, modified rows preceded by their
    // originals, and deleted rows.
    QVariant Delta() const;
    TDataPacket DeltaPacket() const;
    void MergeChangeLog();
    void CancelUpdates();

protected:
    void InternalClose() override;
    void RowInserted(int row) override;
    void RowModified(int row, const TRecord &before) override;
    void FieldModified(int row, int field, TCell &&before) override;
    void RowDeleted(int row) override;
    // Loaded rows are the base state: nothing pending.
    void RowsLoaded() override { ResetLog(); }

private:
    // The base state is the current rows themselves until a row changes: a
    // row then keeps only the base values of the fields that changed, as a
    // chain in m_originals (no allocation per row).
    struct RowLog {
        int baseIndex = -1; // -1: inserted since the base state
        int original = -1;  // first of the row's base values in m_originals
        bool modified = false;
    };
    struct Original {
        int field;
        int next; // the row's next base value; -1 ends the chain
        TCell value;
    };
    void ResetLog();
    // Keeps the field's base value unless the row has it already; true when it did not.
    bool Remember(RowLog &log, int field, TCell before);
    void UpdateModified(RowLog &log, const TRecord &row);
    TRecord BaseRow(const RowLog &log, const TRecord &row) const;
    int m_baseCount = 0;
    std::vector<RowLog> m_log;
    std::vector<Original> m_originals;
    std::vector<std::pair<int, TRecord>> m_deleted; // base index and base row
};
