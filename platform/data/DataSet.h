#pragma once
#include "data/Field.h"
#include "data/Record.h"
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// An in-memory table with persistent fields, a cursor and edit states.
class TDataSet : public QObject {
    Q_OBJECT
public:
    explicit TDataSet(const QString &name = {}, QObject *parent = nullptr);
    ~TDataSet() override;

    using DataSetEvent = std::function<void(TDataSet &)>;
    DataSetEvent AfterPost;
    DataSetEvent AfterOpen;

    // Field definitions.
    TField &AddField(const QString &name, TFieldType type, int size = 0);
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField &Fields(int index) const;
    TField *FindField(const QString &name) const;
    TField &FieldByName(const QString &name) const;
    void ClearFields();

    // Opening and closing.
    void Open();
    void Close();
    bool Active() const { return m_state != TDataSetState::Inactive; }
    void SetActive(bool active) { active ? Open() : Close(); }
    TDataSetState State() const { return m_state; }

    // Cursor.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    int RecNo() const { return m_cur < 0 ? 0 : m_cur + 1; }
    void SetRecNo(int recNo);
    int RecordCount() const { return static_cast<int>(m_rows.size()); }
    bool IsEmpty() const { return m_rows.empty(); }

    // Editing.
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();

    // Record access used by fields and by grids that show every row.
    QVariant FieldValue(int fieldIndex) const;
    void SetFieldValue(int fieldIndex, const QVariant &value);
    // Writes one field of row `row` (0-based) as Edit, a field change and Post
    // would, without copying the row or moving the cursor; only the field
    // written is checked. Needs browse state.
    void SetRowField(int row, int field, const QVariant &value);
    void SetRowField(int row, int field, const TCell &value);
    // Moves to row `row` (0-based), runs fn, and puts the cursor back.
    void WithRecord(int row, const std::function<void()> &fn);

    // Replaces every row at once (the loaded rows), opening the data set.
    void LoadRows(std::vector<TRecord> rows);
    const std::vector<TRecord> &Rows() const { return m_rows; }

protected:
    virtual void InternalOpen() {}
    virtual void InternalClose() { m_rows.clear(); }
    // Change-tracking hooks for client data sets.
    virtual void RowInserted(int /*row*/) {}
    virtual void RowModified(int /*row*/, const TRecord & /*before*/) {}
    // One field of a row changed from before to a different value; by default reported as a row change.
    virtual void FieldModified(int row, int field, TCell &&before);
    virtual void RowDeleted(int /*row*/) {}
    // The loaded rows became the data set's content.
    virtual void RowsLoaded() {}
    void CheckActive() const;
    void CheckBrowse();
    std::vector<TRecord> m_rows;
    int m_cur = -1;

private:
    void SetCursor(int index);
    std::vector<std::unique_ptr<TField>> m_fields;
    TDataSetState m_state = TDataSetState::Inactive;
    TRecord m_buffer;
    int m_insertAt = -1;
    bool m_eof = true;
    bool m_bof = true;
};
