#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>

class TdtmDBGeral;

struct TDemoOptions {
    QString Target;            // SQLite file path or PostgreSQL URL
    qint64 Receivables = 2000;
    quint64 Seed = 1;
    bool Replace = false;      // replace an existing database's tables or file
    QDate BaseDate = QDate(2026, 12, 1);
};

// The password of a demo login (ADMIN, MARIA, CAIXA; listed in the README); empty for others.
QString DemoPassword(const QString &op);

// An operator added or changed by an administrator: its password for the application server
// and, on PostgreSQL, for its own database role; its companies when SetCompanies.
struct TOperatorChange {
    QString Operator;
    QString Name;
    QString Password;
    bool SetCompanies = false;
    QStringList Companies;
};
// Raises EDatabaseError with the reason (a short password, a company that does not exist).
void SetOperator(TdtmDBGeral &db, const TOperatorChange &change);

// Creates the business schema in an empty database.
void ApplySchema(TdtmDBGeral &db);

// Writes a deterministic demo database: the same options give the same rows.
// Raises EDatabaseError when the target cannot be written or already holds
// data and Replace is not set.
void GenerateDemoDatabase(const TDemoOptions &options, const std::function<void(const QString &)> &progress = {});
