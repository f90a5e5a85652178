#pragma once
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "data/Params.h"
#include <QDate>
#include <QSqlQuery>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

class TADOIBQuery;

// The inner data set of a query; data sources and grids bind to it.
class TQueryDataSet : public TDataSet {
    Q_OBJECT
public:
    TQueryDataSet(TADOIBQuery &owner, const QString &name);

protected:
    void InternalOpen() override;

private:
    TADOIBQuery &m_owner;
};

// The host's query component: four statement texts (default, Oracle,
// SQL Server, InterBase), named parameters and an inner data set.
class TADOIBQuery : public QObject {
    Q_OBJECT
public:
    explicit TADOIBQuery(const QString &name, QObject *parent = nullptr);

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;
    // Null: the host's data module.
    TdtmDBGeral *Connection = nullptr;

    void SetSQL(int index, const QStringList &lines);
    const QStringList &GetSQL(int index) const;
    TParams &Params() { return m_params; }
    const TParams &Params() const { return m_params; }
    TParams GetIBParams() const { return m_params; }
    void SetIBParams(const TParams &params) { m_params = params; }
    TParam &ParamByName(const QString &name) { return m_params.ParamByName(name); }

    void Open() { m_query.Open(); }
    void Close() { m_query.Close(); }
    bool Active() const { return m_query.Active(); }
    bool IsEmpty() const { return m_query.IsEmpty(); }
    TDataSet &Query() { return m_query; }
    const TDataSet &Query() const { return m_query; }
    TField &FieldByName(const QString &name) const { return m_query.FieldByName(name); }

    // The statement text that the connected database runs.
    QString ActiveSQL() const;
    TdtmDBGeral &ConnectionModule() const;

private:
    friend class TQueryDataSet;
    std::vector<TRecord> Fetch();
    TParams m_params;
    TQueryDataSet m_query;
};

// Reads every row of an executed statement into the shape of the given
// fields, matching columns by name without regard to case.
std::vector<TRecord> FetchRecords(QSqlQuery &query, const std::vector<TPacketField> &shape, const QString &what);
// Writes every row of an executed query straight into a packet, coerced to the
// writer's fields; the values of `trailing` fill the writer's last fields of
// every row (values the same on each row); afterRow runs after each row.
// Direct reads the database's own result where the driver allows it, Variants
// every value through the driver's variants; both write the same bytes.
enum class TFetchPath { Direct, Variants };
struct TFetchCount {
    quint32 Rows = 0;   // rows written
    quint32 Direct = 0; // of them read straight from the database's result
};
// A field written as the running sum of its own column, as
// SUM(col) OVER (PARTITION BY key ORDER BY ... ROWS UNBOUNDED PRECEDING) gives it,
// for a statement whose rows come ordered by the key first and then in the
// sum's order. Nulls add nothing; the sum is null until a value comes. The
// values are added one by one in the rows' order, as the databases add them.
struct TRunningSum {
    QString Field;          // the shape's field written with the sum
    QString Partition;      // the shape's field the sum starts again at, where its value changes
    bool Restarted = false; // after each row: that row began a partition
};
// The rows of a small table read once, found by the value of their first column: the
// fields a large statement would join from it, looked up by the reader instead.
class TLookupTable {
public:
    // Every row of an executed statement. A row whose key is null matches nothing, as in
    // a join; a key found in two rows is refused.
    static std::shared_ptr<const TLookupTable> Read(QSqlQuery &query, const QString &what);
    // The column of that name, without regard to case, or -1.
    int Column(const QString &name) const;
    // The row whose key has these bytes (a text's UTF-8, a number's shortest text), or -1.
    int Find(QByteArrayView key) const;
    const QVariant &Value(int row, int column) const { return m_rows[static_cast<size_t>(row)].Values[static_cast<size_t>(column)]; }
    // A text value's UTF-8.
    QByteArrayView Text(int row, int column) const { return m_rows[static_cast<size_t>(row)].Texts[static_cast<size_t>(column)]; }
    size_t RowCount() const { return m_rows.size(); }

private:
    struct TRow {
        std::vector<QVariant> Values;
        std::vector<QByteArray> Texts;
    };
    struct THash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    QStringList m_columns;
    std::vector<TRow> m_rows;
    std::unordered_map<std::string, int, THash, std::equal_to<>> m_byKey;
};

// A field made from other columns of its row, so that the database sends each value
// once and leaves the joining of texts for display to the reader. Sources are named
// by their column in the statement's result.
struct TDerivedField {
    enum class Kind {
        Same,   // First's value, as if the statement gave it again under Field's name
        Joined, // First || Separator || Second of two text columns (a number joins as its
                // shortest text); null when First is null; when Second is null, First
                // alone, or First and the separator with KeepSeparator
        DaysTo, // the whole days from the day in First to Day; null unless First is a day
        LookedUp, // Table's column named Field in the row whose key is First's value; null
                  // when there is no such row, as a left join gives it
    };
    QString Field;
    Kind How = Kind::Same;
    QString First, Second, Separator;
    bool KeepSeparator = false;
    QDate Day;
    std::shared_ptr<const TLookupTable> Table;

    static TDerivedField Same(const QString &field, const QString &source) { return {field, Kind::Same, source, {}, {}, false, {}, {}}; }
    static TDerivedField Joined(const QString &field, const QString &first, const QString &separator, const QString &second, bool keepSeparator)
    {
        return {field, Kind::Joined, first, second, separator, keepSeparator, {}, {}};
    }
    static TDerivedField DaysTo(const QString &field, const QString &source, const QDate &day) { return {field, Kind::DaysTo, source, {}, {}, false, day, {}}; }
    static TDerivedField LookedUp(const QString &field, const QString &key, std::shared_ptr<const TLookupTable> table)
    {
        return {field, Kind::LookedUp, key, {}, {}, false, {}, std::move(table)};
    }
};
// What the reading adds to the columns the database sends.
struct TComputedFields {
    TRunningSum *Running = nullptr;
    std::vector<TDerivedField> Derived;
};
TFetchCount FetchIntoPacket(QSqlQuery &query, TPacketWriter &writer, const QString &what, const TRecord &trailing = {},
                        const std::function<void()> &afterRow = {}, TFetchPath path = TFetchPath::Direct, const TComputedFields &computed = {});

// Data source: binds a grid or a search list to a data set.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(const QString &name, TDataSet *dataSet = nullptr, QObject *parent = nullptr)
        : QObject(parent), DataSet(dataSet)
    {
        setObjectName(name);
    }
    TDataSet *DataSet;
};
