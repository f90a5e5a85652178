// Connection settings that hold for a while: set when the scope begins, and the
// connection's own values put back when it ends, also when it ends by an exception.
// SQLite's are pragmas with whole-number values; PostgreSQL's are run-time parameters.
#pragma once
#include "data/Database.h"
#include <QSqlDatabase>
#include <vector>

struct TSetting {
    const char *Name;
    QString Value;
};
// The setting as a statement for a database's shell.
QString SettingStatement(TDBKind kind, const TSetting &setting);

class TSettingsWhile {
public:
    // A setting the connection does not know is left alone.
    TSettingsWhile(const QSqlDatabase &db, TDBKind kind, const std::vector<TSetting> &settings);
    ~TSettingsWhile();
    TSettingsWhile(const TSettingsWhile &) = delete;
    TSettingsWhile &operator=(const TSettingsWhile &) = delete;

private:
    bool Read(const char *name, QString &value);
    void Write(const TSetting &setting);
    QSqlDatabase m_db;
    TDBKind m_kind;
    std::vector<TSetting> m_own;
};
