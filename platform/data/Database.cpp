#include "data/Database.h"
#include "data/Exceptions.h"
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>

namespace {
std::atomic<int> g_connectionSerial{0};
TdtmDBGeral *g_current = nullptr;
} // namespace

TdtmDBGeral::TdtmDBGeral(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("dtmDBGeral"));
    m_connectionName = QStringLiteral("dtmDBGeral_%1").arg(++g_connectionSerial);
}

TdtmDBGeral::~TdtmDBGeral()
{
    Close();
    if (g_current == this)
        g_current = nullptr;
}

QString TdtmDBGeral::ShownTarget(const QString &target)
{
    QUrl url(target);
    if (!url.isValid() || url.password().isEmpty())
        return target;
    url.setPassword(QString());
    return url.toString();
}

void TdtmDBGeral::Open(const QString &target)
{
    Close();
    m_target = target;
    QSqlDatabase db;
    if (target.startsWith(QStringLiteral("postgres://")) || target.startsWith(QStringLiteral("postgresql://"))) {
        const QUrl url(target);
        if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2)
            throw EDatabaseError(QStringLiteral("Endereço de banco de dados inválido: '%1'. Use postgresql://servidor:porta/banco.").arg(ShownTarget(target)));
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
            throw EDatabaseError(QStringLiteral("O driver PostgreSQL (QPSQL) não está instalado."));
        m_kind = TDBKind::PostgreSQL;
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setDatabaseName(url.path().mid(1));
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        const QFileInfo fi(target);
        if (target.isEmpty())
            throw EDatabaseError(QStringLiteral("Nenhum banco de dados foi informado."));
        if (!fi.exists() || !fi.isFile())
            throw EDatabaseError(QStringLiteral("O arquivo de banco de dados '%1' não existe.").arg(target));
        m_kind = TDBKind::SQLite;
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(target);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open()) {
        const QString reason = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw EDatabaseError(QStringLiteral("Não foi possível abrir o banco de dados '%1': %2").arg(ShownTarget(target), reason));
    }
    if (m_kind == TDBKind::SQLite) {
        // A file that is not a SQLite database opens without complaint; the first read tells.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const QString reason = probe.lastError().text();
            probe = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw EDatabaseError(QStringLiteral("O arquivo '%1' não é um banco de dados válido: %2").arg(target, reason));
        }
        probe.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    }
    ++m_opens;
}

void TdtmDBGeral::Close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool TdtmDBGeral::Connected() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase TdtmDBGeral::Database() const
{
    if (!Connected())
        throw EDatabaseError(QStringLiteral("O banco de dados não está conectado."));
    return QSqlDatabase::database(m_connectionName, false);
}

int TdtmDBGeral::SqlIndex() const
{
    switch (m_kind) {
    case TDBKind::Oracle: return 1;
    case TDBKind::MSSQL: return 2;
    case TDBKind::InterBase: return 3;
    default: return 0;
    }
}

QString TdtmDBGeral::OperatorTarget(const QString &target, const QString &op, const QString &password, QString *warning)
{
    if (!target.startsWith(QStringLiteral("postgres://")) && !target.startsWith(QStringLiteral("postgresql://")))
        return target;
    QUrl url(target);
    if (!url.isValid())
        return target; // Open says what is wrong with it
    if (!url.userName().isEmpty()) {
        if (warning)
            *warning = QStringLiteral("a URL do banco de dados traz o usuário '%1': o host se conecta como esse usuário, não como o papel "
                                      "do operador %2; use postgresql://servidor:porta/banco fora da administração e dos testes.")
                           .arg(url.userName(), op);
        return target;
    }
    url.setUserName(op.toLower());
    url.setPassword(password);
    return url.toString();
}

TdtmDBGeral *TdtmDBGeral::Current() { return g_current; }
void TdtmDBGeral::SetCurrent(TdtmDBGeral *module) { g_current = module; }

TNamedStatement TranslateNamedParams(const QString &sql, const std::function<QString(const QString &name)> &marker)
{
    TNamedStatement out;
    out.Sql.reserve(sql.size());
    const qsizetype n = sql.size();
    auto isNameStart = [](QChar c) { return c.isLetter() || c == QLatin1Char('_'); };
    auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Copy a quoted text or identifier whole; doubled quotes stay inside.
            qsizetype j = i + 1;
            while (j < n) {
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.Sql += sql.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                j = n;
            out.Sql += sql.mid(i, j - i);
            i = j - 1;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n && isNameStart(sql.at(i + 1)) && (i == 0 || sql.at(i - 1) != QLatin1Char(':'))) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql.at(j)))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            out.Names << name;
            out.Sql += marker ? marker(name) : QStringLiteral("?");
            i = j - 1;
            continue;
        }
        out.Sql += c;
    }
    return out;
}

QVariant BindValue(const TParam &param)
{
    if (param.IsNull())
        return QVariant(QMetaType::fromType<QString>());
    const QVariant v = param.Value();
    switch (param.DataType) {
    case TParamType::Date: return DateTimeToDate(v.toDouble());
    case TParamType::DateTime: {
        const QDateTime dt = DateTimeToQDateTime(v.toDouble());
        return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
    }
    case TParamType::Float: return v.toDouble();
    case TParamType::Integer: return v.toLongLong();
    case TParamType::Boolean: return v.toBool();
    case TParamType::String:
    case TParamType::Unknown: {
        const QString s = v.toString();
        return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
    }
    }
    return v;
}

TDbFault ClassifyDbError(const QSqlError &error)
{
    // PostgreSQL gives SQLSTATE codes; SQLite only its message (and calls every
    // failed step a connection error).
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    if (code == QLatin1String("23503") || text.contains(QLatin1String("foreign key")))
        return TDbFault::ForeignKey;
    if (code == QLatin1String("23505") || text.contains(QLatin1String("unique constraint")) || text.contains(QLatin1String("duplicate key")))
        return TDbFault::Unique;
    if (code == QLatin1String("23514") || text.contains(QLatin1String("check constraint")))
        return TDbFault::Check;
    if (code == QLatin1String("23502") || text.contains(QLatin1String("not null constraint")) || text.contains(QLatin1String("not-null constraint")))
        return TDbFault::NotNull;
    if (code.startsWith(QLatin1String("08")) || text.contains(QLatin1String("server closed the connection")) ||
        text.contains(QLatin1String("no connection to the server")))
        return TDbFault::Connection;
    return TDbFault::Other;
}

QSqlQuery RunStatement(const QSqlDatabase &db, const QString &sql, const TParams &params, const QString &what)
{
    // PostgreSQL cannot infer the type of a bare parameter in every position
    // (":P IS NULL"), so each one carries the type of its value.
    std::function<QString(const QString &)> marker;
    if (db.driverName() == QStringLiteral("QPSQL")) {
        marker = [&params](const QString &name) {
            const TParam *p = params.FindParam(name);
            switch (p ? p->DataType : TParamType::Unknown) {
            case TParamType::String: return QStringLiteral("CAST(? AS text)");
            case TParamType::Float: return QStringLiteral("CAST(? AS double precision)");
            case TParamType::Integer: return QStringLiteral("CAST(? AS bigint)");
            case TParamType::Boolean: return QStringLiteral("CAST(? AS boolean)");
            case TParamType::Date: return QStringLiteral("CAST(? AS date)");
            case TParamType::DateTime:
                return BindValue(*p).typeId() == QMetaType::QDate ? QStringLiteral("CAST(? AS date)") : QStringLiteral("CAST(? AS timestamp)");
            case TParamType::Unknown: break;
            }
            return QStringLiteral("?");
        };
    }
    const TNamedStatement st = TranslateNamedParams(sql, marker);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(st.Sql)) {
        const QSqlError e = q.lastError();
        throw EDatabaseError(QStringLiteral("%1: erro ao preparar a instrução: %2").arg(what, e.text()), ClassifyDbError(e), e.text());
    }
    for (const QString &name : st.Names) {
        const TParam *p = params.FindParam(name);
        if (!p)
            throw EDatabaseError(QStringLiteral("%1: parâmetro '%2' não encontrado.").arg(what, name));
        q.addBindValue(BindValue(*p));
    }
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        throw EDatabaseError(QStringLiteral("%1: erro no banco de dados: %2").arg(what, e.text()), ClassifyDbError(e), e.text());
    }
    return q;
}

TTransaction::TTransaction(QSqlDatabase db) : m_db(std::move(db))
{
    if (!m_db.transaction()) {
        const QSqlError e = m_db.lastError();
        throw EDatabaseError(QStringLiteral("Não foi possível iniciar a transação: %1").arg(e.text()), ClassifyDbError(e), e.text());
    }
}

TTransaction::~TTransaction()
{
    if (!m_done)
        m_db.rollback();
}

TReadSnapshot::TReadSnapshot(const QSqlDatabase &db) : m_db(db)
{
    if (!m_db.transaction())
        return;
    m_open = true;
    if (m_db.driverName() == QStringLiteral("QPSQL"))
        QSqlQuery(m_db).exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
}

TReadSnapshot::~TReadSnapshot()
{
    if (m_open)
        m_db.rollback();
}

void TTransaction::Commit()
{
    if (!m_db.commit())
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a transação: %1").arg(m_db.lastError().text()));
    m_done = true;
}
