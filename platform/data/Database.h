#pragma once
#include "data/Exceptions.h"
#include "data/Params.h"
#include <QSqlError>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <functional>
#include <memory>

// Kinds of business database; each query keeps one statement text per kind
// group (default, Oracle, SQL Server, InterBase). Only SQLite and PostgreSQL are ever
// opened here: the other three select the stored texts the lookups derive, tested as texts.
enum class TDBKind { SQLite, PostgreSQL, Oracle, MSSQL, InterBase };

// The host data module: the connection to the business database.
class TdtmDBGeral : public QObject {
    Q_OBJECT
public:
    explicit TdtmDBGeral(QObject *parent = nullptr);
    ~TdtmDBGeral() override;

    // Opens a SQLite file path or a postgres:// / postgresql:// URL.
    // Raises EDatabaseError with the reason when it cannot.
    void Open(const QString &target);
    void Close();
    bool Connected() const;
    TDBKind Kind() const { return m_kind; }
    QString Target() const { return m_target; }
    QSqlDatabase Database() const;
    // Connections opened so far; a new connection gives a new number.
    quint64 Opens() const { return m_opens; }
    // Index of the statement text that fits this database: 0 default, 1 Oracle, 2 SQL Server, 3 InterBase.
    int SqlIndex() const;

    // The target the host opens for a logged-in operator: a PostgreSQL URL that names only the
    // server and the database gets the operator's own role (its code in lower case) and the
    // password typed at the login. A URL that names a user is kept, with a warning for the log
    // (administration and tests); a SQLite file is kept as it is.
    // A target as messages may show it: never a password.
    static QString ShownTarget(const QString &target);
    static QString OperatorTarget(const QString &target, const QString &op, const QString &password, QString *warning = nullptr);

    // The host's own data module, used by queries that name no other.
    static TdtmDBGeral *Current();
    static void SetCurrent(TdtmDBGeral *module);

private:
    QString m_connectionName;
    QString m_target;
    TDBKind m_kind = TDBKind::SQLite;
    quint64 m_opens = 0;
};

// Makes a data module the current one for its lifetime and puts the previous one back.
class TCurrentDatabaseScope {
public:
    explicit TCurrentDatabaseScope(TdtmDBGeral *module) : m_previous(TdtmDBGeral::Current()) { TdtmDBGeral::SetCurrent(module); }
    ~TCurrentDatabaseScope() { TdtmDBGeral::SetCurrent(m_previous); }
    TCurrentDatabaseScope(const TCurrentDatabaseScope &) = delete;
    TCurrentDatabaseScope &operator=(const TCurrentDatabaseScope &) = delete;

private:
    TdtmDBGeral *m_previous;
};

// Turns ":NAME" markers outside quotes into positional markers and lists
// the names in order; a name may occur several times.
struct TNamedStatement {
    QString Sql;
    QStringList Names;
};
// The marker function gives the text that stands for each occurrence.
TNamedStatement TranslateNamedParams(const QString &sql, const std::function<QString(const QString &name)> &marker = {});

// Prepares and runs a statement with its named parameters bound from params.
// Raises EDatabaseError naming the statement's purpose and the database's reason.
QSqlQuery RunStatement(const QSqlDatabase &db, const QString &sql, const TParams &params, const QString &what);
// The kind of a driver error (foreign key, unique key, lost connection...).
TDbFault ClassifyDbError(const QSqlError &error);

// Converts a parameter's value to the variant the SQL driver binds.
QVariant BindValue(const TParam &param);

// RAII transaction: rolled back unless committed.
class TTransaction {
public:
    explicit TTransaction(QSqlDatabase db);
    ~TTransaction();
    void Commit();

private:
    QSqlDatabase m_db;
    bool m_done = false;
};

// RAII reading transaction: every statement in it sees the data as it stood at the
// first (PostgreSQL's repeatable read; one read transaction on SQLite), such as both
// passes of a paged report, or small tables read beside a large statement. A database
// that cannot begin one is read as it comes. It ends rolled back: it writes nothing.
class TReadSnapshot {
public:
    explicit TReadSnapshot(const QSqlDatabase &db);
    ~TReadSnapshot();
    TReadSnapshot(const TReadSnapshot &) = delete;
    TReadSnapshot &operator=(const TReadSnapshot &) = delete;

private:
    QSqlDatabase m_db;
    bool m_open = false;
};
