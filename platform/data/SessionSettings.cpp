#include "data/SessionSettings.h"
#include <QSqlQuery>
#include <QVariant>

namespace {
// A pragma's value, which SQLite takes only written into the statement: a whole number.
bool wholeNumber(const QString &value, qlonglong &n)
{
    bool ok = false;
    n = value.toLongLong(&ok);
    return ok;
}
} // namespace

QString SettingStatement(TDBKind kind, const TSetting &setting)
{
    if (kind == TDBKind::PostgreSQL) {
        QString value = setting.Value;
        value.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("SET %1 = '%2'").arg(QLatin1String(setting.Name), value);
    }
    qlonglong n = 0;
    return wholeNumber(setting.Value, n) ? QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(setting.Name)).arg(n) : QString();
}

TSettingsWhile::TSettingsWhile(const QSqlDatabase &db, TDBKind kind, const std::vector<TSetting> &settings) : m_db(db), m_kind(kind)
{
    for (const TSetting &s : settings) {
        QString own;
        if (!Read(s.Name, own))
            continue;
        m_own.push_back({s.Name, own});
        Write(s);
    }
}

TSettingsWhile::~TSettingsWhile()
{
    for (auto s = m_own.rbegin(); s != m_own.rend(); ++s)
        Write(*s);
}

bool TSettingsWhile::Read(const char *name, QString &value)
{
    QSqlQuery q(m_db);
    if (m_kind == TDBKind::PostgreSQL) {
        // An unknown parameter gives null rather than an error.
        if (!q.prepare(QStringLiteral("SELECT current_setting(?, true)")))
            return false;
        q.addBindValue(QString::fromLatin1(name));
        if (!q.exec() || !q.next() || q.value(0).isNull())
            return false;
    } else if (!q.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !q.next()) {
        // A pragma this SQLite does not know answers no row.
        return false;
    }
    value = q.value(0).toString();
    return true;
}

void TSettingsWhile::Write(const TSetting &setting)
{
    QSqlQuery q(m_db);
    if (m_kind == TDBKind::PostgreSQL) {
        if (q.prepare(QStringLiteral("SELECT set_config(?, ?, false)"))) {
            q.addBindValue(QString::fromLatin1(setting.Name));
            q.addBindValue(setting.Value);
            q.exec();
        }
        return;
    }
    const QString statement = SettingStatement(TDBKind::SQLite, setting);
    if (!statement.isEmpty())
        q.exec(statement);
}
