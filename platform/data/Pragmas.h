// SQLite pragmas that hold for a while: set when the scope begins, and the connection's
// own values put back when it ends, also when it ends by an exception.
#pragma once
#include <QSqlDatabase>
#include <vector>

struct TPragma {
    const char *Name;
    int Value;
};
QString PragmaStatement(const TPragma &pragma);

class TPragmasWhile {
public:
    // A pragma the connection does not know (it answers no value) is left alone.
    TPragmasWhile(const QSqlDatabase &db, const std::vector<TPragma> &pragmas);
    ~TPragmasWhile();
    TPragmasWhile(const TPragmasWhile &) = delete;
    TPragmasWhile &operator=(const TPragmasWhile &) = delete;

private:
    QSqlDatabase m_db;
    std::vector<TPragma> m_own;
};
