#include "data/Pragmas.h"
#include <QSqlQuery>
#include <QVariant>

QString PragmaStatement(const TPragma &pragma) { return QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(pragma.Name)).arg(pragma.Value); }

TPragmasWhile::TPragmasWhile(const QSqlDatabase &db, const std::vector<TPragma> &pragmas) : m_db(db)
{
    for (const TPragma &p : pragmas) {
        QSqlQuery own(m_db);
        if (!own.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(p.Name))) || !own.next())
            continue;
        m_own.push_back({p.Name, own.value(0).toInt()});
        QSqlQuery set(m_db);
        set.exec(PragmaStatement(p));
    }
}

TPragmasWhile::~TPragmasWhile()
{
    for (auto p = m_own.rbegin(); p != m_own.rend(); ++p) {
        QSqlQuery q(m_db);
        q.exec(PragmaStatement(*p));
    }
}
