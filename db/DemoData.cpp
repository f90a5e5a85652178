#include "db/DemoData.h"
#include <QThread>
#include "data/Database.h"
#include "data/Exceptions.h"
#include "net/PasswordHash.h"
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QVariantList>
#include <libpq-fe.h>
#include <functional>
#include <random>

QString DemoPassword(const QString &op)
{
    if (op == QStringLiteral("ADMIN"))
        return QStringLiteral("admin-2026");
    if (op == QStringLiteral("MARIA"))
        return QStringLiteral("maria-2026");
    if (op == QStringLiteral("CAIXA"))
        return QStringLiteral("caixa-2026");
    return {};
}

namespace {

QString resourceText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Recurso interno '%1' ausente.").arg(path));
    return QString::fromUtf8(f.readAll());
}

void runScript(const QSqlDatabase &db, const QString &script)
{
    QString cleaned;
    for (const QString &line : script.split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QStringLiteral("--")))
            cleaned += line + QLatin1Char('\n');
    // Statements end at ";", except inside a $$-quoted function body.
    QStringList statements{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < cleaned.size(); ++i) {
        if (cleaned.at(i) == QLatin1Char('$') && i + 1 < cleaned.size() && cleaned.at(i + 1) == QLatin1Char('$')) {
            quoted = !quoted;
            statements.last() += QStringLiteral("$$");
            ++i;
        } else if (cleaned.at(i) == QLatin1Char(';') && !quoted) {
            statements << QString();
        } else {
            statements.last() += cleaned.at(i);
        }
    }
    for (const QString &stmt : statements) {
        if (stmt.trimmed().isEmpty())
            continue;
        QSqlQuery q(db);
        if (!q.exec(stmt))
            throw EDatabaseError(QStringLiteral("Erro ao criar o esquema: %1\n%2").arg(q.lastError().text(), stmt.trimmed().left(200)));
    }
}

const char *const kTables[] = {"BAIXAREC", "CONTARECEBER", "CRITERIOSALVO", "OPCAOEMISSAO", "PICTURE", "PARAMGERALORCA", "PARAMGERALREC",
                               "CONTCORR", "BANCO", "TIPOBAIXAREC", "CLASSFINANC", "TIPOCTRECEBER", "CLIENTE", "VENDEDOR",
                               "ATIVCLIENTE", "SEGMERCADO", "GRUPCLIE", "REGIAOPED", "OPEREMPRESA", "OPERADOR", "FILIAL", "EMPRESA", "REC_ALTERACAO"};

class BulkInsert;

// PostgreSQL takes bulk rows through COPY on Qt's own connection, one table at a time.
struct CopySession {
    PGconn *Conn = nullptr;
    BulkInsert *Active = nullptr;
};

PGconn *copyConnection(const QSqlDatabase &db)
{
    if (db.driverName() != QStringLiteral("QPSQL"))
        return nullptr;
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(h.data());
}

void appendCopyValue(QByteArray &out, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        out += "\\N";
        return;
    }
    QByteArray b;
    switch (v.typeId()) {
    case QMetaType::Double: b = QByteArray::number(v.toDouble(), 'g', 17); break;
    case QMetaType::Int:
    case QMetaType::LongLong: b = QByteArray::number(v.toLongLong()); break;
    default: b = v.toString().toUtf8(); break;
    }
    for (char c : b) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
}

// Bulk rows of one table: multi-row INSERT with bound values, flushed every
// `batch` rows, or COPY on PostgreSQL.
class BulkInsert {
public:
    BulkInsert(QSqlDatabase db, QString table, QStringList columns, int batch, CopySession *copy)
        : m_db(std::move(db)), m_table(std::move(table)), m_columns(std::move(columns)), m_batch(batch),
          m_copy(copy && copy->Conn ? copy : nullptr)
    {
    }
    void Add(QVariantList row)
    {
        if (m_copy) {
            for (qsizetype i = 0; i < row.size(); ++i) {
                if (i)
                    m_text += '\t';
                appendCopyValue(m_text, row[i]);
            }
            m_text += '\n';
            // Another table's COPY in progress: keep the rows until it ends.
            if (m_text.size() > (4 << 20) && (!m_copy->Active || m_copy->Active == this))
                Stream();
            return;
        }
        m_rows.push_back(std::move(row));
        if (static_cast<int>(m_rows.size()) >= m_batch)
            Flush();
    }
    // Runs before each write, for rows this table's rows refer to.
    std::function<void()> BeforeFlush;
    void Flush()
    {
        if (m_copy) {
            if (m_text.isEmpty() && m_copy->Active != this)
                return;
            if (BeforeFlush)
                BeforeFlush();
            Stream();
            EndCopy();
            return;
        }
        if (m_rows.empty())
            return;
        if (BeforeFlush)
            BeforeFlush();
        const int n = static_cast<int>(m_rows.size());
        QSqlQuery *q = nullptr;
        QSqlQuery partial(m_db);
        if (n == m_batch) {
            if (!m_full) {
                m_full = std::make_unique<QSqlQuery>(m_db);
                Prepare(*m_full, n);
            }
            q = m_full.get();
        } else {
            Prepare(partial, n);
            q = &partial;
        }
        for (const QVariantList &row : m_rows)
            for (const QVariant &v : row)
                q->addBindValue(v);
        if (!q->exec())
            throw EDatabaseError(QStringLiteral("Erro ao gravar %1: %2").arg(m_table, q->lastError().text()));
        m_rows.clear();
    }

private:
    QString CopyError() const { return QString::fromUtf8(PQerrorMessage(m_copy->Conn)).trimmed(); }
    void Stream()
    {
        if (m_copy->Active != this) {
            const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(m_table, m_columns.join(QLatin1Char(','))).toUtf8();
            PGresult *r = PQexec(m_copy->Conn, sql.constData());
            const bool ok = PQresultStatus(r) == PGRES_COPY_IN;
            PQclear(r);
            if (!ok)
                throw EDatabaseError(QStringLiteral("Erro ao gravar %1: %2").arg(m_table, CopyError()));
            m_copy->Active = this;
        }
        if (!m_text.isEmpty() && PQputCopyData(m_copy->Conn, m_text.constData(), static_cast<int>(m_text.size())) != 1)
            throw EDatabaseError(QStringLiteral("Erro ao gravar %1: %2").arg(m_table, CopyError()));
        m_text.clear();
    }
    void EndCopy()
    {
        m_copy->Active = nullptr;
        if (PQputCopyEnd(m_copy->Conn, nullptr) != 1)
            throw EDatabaseError(QStringLiteral("Erro ao gravar %1: %2").arg(m_table, CopyError()));
        bool ok = true;
        while (PGresult *r = PQgetResult(m_copy->Conn)) {
            ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
        }
        if (!ok)
            throw EDatabaseError(QStringLiteral("Erro ao gravar %1: %2").arg(m_table, CopyError()));
    }
    void Prepare(QSqlQuery &q, int rows)
    {
        QString one = QStringLiteral("(") + QStringList(m_columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) + QStringLiteral(")");
        QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(m_table, m_columns.join(QLatin1Char(',')));
        sql += QStringList(rows, one).join(QLatin1Char(','));
        if (!q.prepare(sql))
            throw EDatabaseError(QStringLiteral("Erro ao preparar a gravação de %1: %2").arg(m_table, q.lastError().text()));
    }
    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    int m_batch;
    CopySession *m_copy;
    QByteArray m_text;
    std::vector<QVariantList> m_rows;
    std::unique_ptr<QSqlQuery> m_full;
};

class Rng {
public:
    explicit Rng(quint64 seed) : m_gen(seed) {}
    quint64 next() { return m_gen(); }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<quint64>(hi - lo + 1)); }
    bool chance(int percent) { return range(1, 100) <= percent; }
    template <typename T> const T &pick(const std::vector<T> &v) { return v[next() % v.size()]; }

private:
    std::mt19937_64 m_gen;
};

QString digits(Rng &rng, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(u'0' + rng.range(0, 9));
    return s;
}

int checkDigit(const QString &base, const std::vector<int> &weights)
{
    int sum = 0;
    for (size_t i = 0; i < weights.size(); ++i)
        sum += (base.at(static_cast<qsizetype>(i)).unicode() - u'0') * weights[i];
    const int r = sum % 11;
    return r < 2 ? 0 : 11 - r;
}

// Individual registration number (11 digits with check digits).
QString cpf(Rng &rng)
{
    QString b = digits(rng, 9);
    b += QChar(u'0' + checkDigit(b, {10, 9, 8, 7, 6, 5, 4, 3, 2}));
    b += QChar(u'0' + checkDigit(b, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
    return b;
}

// Company registration number (14 digits with check digits).
QString cnpj(Rng &rng)
{
    QString b = digits(rng, 8) + QStringLiteral("0001");
    b += QChar(u'0' + checkDigit(b, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}));
    b += QChar(u'0' + checkDigit(b, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}));
    return b;
}

QString pad(qint64 n, int width) { return QString::number(n).rightJustified(width, QLatin1Char('0')); }
QString iso(const QDate &d) { return d.toString(Qt::ISODate); }
QVariant nullText() { return QVariant(QMetaType::fromType<QString>()); }

const std::vector<QString> kFirst = {QStringLiteral("Ana"), QStringLiteral("Bruno"), QStringLiteral("Carla"), QStringLiteral("Diego"),
                                     QStringLiteral("Elisa"), QStringLiteral("Fábio"), QStringLiteral("Gisele"), QStringLiteral("Hugo"),
                                     QStringLiteral("Íris"), QStringLiteral("João"), QStringLiteral("Lúcia"), QStringLiteral("Márcio"),
                                     QStringLiteral("Natália"), QStringLiteral("Otávio"), QStringLiteral("Patrícia"), QStringLiteral("Renato"),
                                     QStringLiteral("Sônia"), QStringLiteral("Tiago"), QStringLiteral("Vânia"), QStringLiteral("Wagner")};
const std::vector<QString> kLast = {QStringLiteral("Almeida"), QStringLiteral("Barbosa"), QStringLiteral("Cardoso"), QStringLiteral("Duarte"),
                                    QStringLiteral("Esteves"), QStringLiteral("Figueiredo"), QStringLiteral("Gonçalves"), QStringLiteral("Henriques"),
                                    QStringLiteral("Lacerda"), QStringLiteral("Macedo"), QStringLiteral("Nogueira"), QStringLiteral("Oliveira"),
                                    QStringLiteral("Peixoto"), QStringLiteral("Queiroz"), QStringLiteral("Rezende"), QStringLiteral("Siqueira"),
                                    QStringLiteral("Teixeira"), QStringLiteral("Valente")};
const std::vector<QString> kTrade = {QStringLiteral("Comércio"), QStringLiteral("Distribuidora"), QStringLiteral("Indústria"),
                                     QStringLiteral("Transportes"), QStringLiteral("Supermercado"), QStringLiteral("Farmácia"),
                                     QStringLiteral("Construtora"), QStringLiteral("Papelaria"), QStringLiteral("Auto Peças"),
                                     QStringLiteral("Padaria"), QStringLiteral("Laticínios"), QStringLiteral("Móveis")};
const std::vector<QString> kPlace = {QStringLiteral("Aurora"), QStringLiteral("Bela Vista"), QStringLiteral("Cachoeira"),
                                     QStringLiteral("Horizonte"), QStringLiteral("Ipê Amarelo"), QStringLiteral("Jatobá"),
                                     QStringLiteral("Mirante"), QStringLiteral("Nova Esperança"), QStringLiteral("Planalto"),
                                     QStringLiteral("Serra Azul"), QStringLiteral("Sol Nascente"), QStringLiteral("Vale Verde")};
const std::vector<QString> kCities = {QStringLiteral("Campo Alegre"), QStringLiteral("Rio Claro do Sul"), QStringLiteral("Santa Luzia"),
                                      QStringLiteral("São Bento"), QStringLiteral("Três Pontes"), QStringLiteral("Porto Novo")};

struct Branch {
    QString code;
    QString company;
};

void createTarget(const TDemoOptions &o, TdtmDBGeral &db)
{
    const bool pg = o.Target.startsWith(QStringLiteral("postgres://")) || o.Target.startsWith(QStringLiteral("postgresql://"));
    if (!pg) {
        QFileInfo fi(o.Target);
        if (fi.exists()) {
            if (!o.Replace)
                throw EDatabaseError(QStringLiteral("O arquivo '%1' já existe; use --replace para substituí-lo.").arg(o.Target));
            if (!QFile::remove(o.Target))
                throw EDatabaseError(QStringLiteral("Não foi possível substituir o arquivo '%1'.").arg(o.Target));
        }
        QFile f(o.Target);
        if (!f.open(QIODevice::WriteOnly))
            throw EDatabaseError(QStringLiteral("Não foi possível criar o arquivo '%1': %2").arg(o.Target, f.errorString()));
        f.close();
        db.Open(o.Target);
        QSqlQuery q(db.Database());
        q.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        q.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
        return;
    }
    db.Open(o.Target);
    QSqlQuery q(db.Database());
    // The rows are consistent by construction: where the login may, the load
    // skips the per-row reference checks, as the SQLite load does.
    q.exec(QStringLiteral("SET session_replication_role = replica"));
    q.exec(QStringLiteral("SET synchronous_commit = off"));
    if (!q.exec(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE lower(table_name) = 'contareceber' AND table_schema = current_schema()")))
        throw EDatabaseError(q.lastError().text());
    if (q.next()) {
        if (!o.Replace)
            throw EDatabaseError(QStringLiteral("O banco '%1' já tem as tabelas do sistema; use --replace para substituí-las.").arg(o.Target));
        for (const char *t : kTables) {
            QSqlQuery d(db.Database());
            if (!d.exec(QStringLiteral("DROP TABLE IF EXISTS %1 CASCADE").arg(QLatin1String(t))))
                throw EDatabaseError(d.lastError().text());
        }
    }
}

// Runs a statement again when another session changed the same role at the same time
// (roles are shared by every database of the server).
void execRoleStatement(QSqlQuery &q, const QString &what)
{
    for (int attempt = 1;; ++attempt) {
        if (q.exec())
            return;
        if (attempt == 5 || !q.lastError().text().contains(QLatin1String("concurrently")))
            throw EDatabaseError(QStringLiteral("%1: %2").arg(what, q.lastError().text()));
        QThread::msleep(50 * attempt);
    }
}

void setOperatorRole(const QSqlDatabase &db, const QString &op, const QString &password)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT rec_senha_operador(:OP, :SENHA)"));
    q.bindValue(QStringLiteral(":OP"), op);
    q.bindValue(QStringLiteral(":SENHA"), password);
    execRoleStatement(q, QStringLiteral("Não foi possível gravar o papel do operador %1 no banco").arg(op));
}

// The operators' group role and the access script; the operators' roles come after.
void applyAccess(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = 'rec_operador'")))
        throw EDatabaseError(q.lastError().text());
    if (!q.next()) {
        QSqlQuery create(db);
        const bool made = create.exec(QStringLiteral("CREATE ROLE rec_operador NOLOGIN"));
        const QString reason = create.lastError().text();
        if (!made && !reason.contains(QLatin1String("already exists")))
            throw EDatabaseError(QStringLiteral("Não foi possível criar o papel rec_operador: ") + reason);
    }
    runScript(db, resourceText(QStringLiteral(":/db/schema_access_postgresql.sql")));
}
} // namespace

void SetOperator(TdtmDBGeral &db, const TOperatorChange &change)
{
    Q_INIT_RESOURCE(schema);
    const QString op = change.Operator.trimmed().toUpper();
    if (op.isEmpty() || op.size() > 12)
        throw EDatabaseError(QStringLiteral("O código do operador deve ter de 1 a 12 caracteres."));
    if (change.Password.size() < 8)
        throw EDatabaseError(QStringLiteral("A senha do operador %1 deve ter ao menos 8 caracteres.").arg(op));
    QSqlDatabase sql = db.Database();
    TTransaction tx(sql);
    TParams p;
    p.CreateParam(TParamType::String, QStringLiteral("OP")).SetAsString(op);
    p.CreateParam(TParamType::String, QStringLiteral("NOME")).SetAsString(change.Name.isEmpty() ? op : change.Name);
    p.CreateParam(TParamType::String, QStringLiteral("HASH")).SetAsString(PasswordHash::Make(change.Password));
    QSqlQuery found = RunStatement(sql, QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = :OP"), p, QStringLiteral("Operador"));
    if (found.next()) {
        RunStatement(sql, QStringLiteral("UPDATE OPERADOR SET SENHAHASH = :HASH WHERE CDOPERADOR = :OP"), p, QStringLiteral("Operador"));
        if (!change.Name.isEmpty())
            RunStatement(sql, QStringLiteral("UPDATE OPERADOR SET NMOPERADOR = :NOME WHERE CDOPERADOR = :OP"), p, QStringLiteral("Operador"));
    } else {
        RunStatement(sql, QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, SENHAHASH) VALUES (:OP, :NOME, :HASH)"), p,
                     QStringLiteral("Operador"));
    }
    if (change.SetCompanies) {
        RunStatement(sql, QStringLiteral("DELETE FROM OPEREMPRESA WHERE CDOPERADOR = :OP"), p, QStringLiteral("Empresas do operador"));
        for (const QString &company : change.Companies) {
            TParams c;
            c.CreateParam(TParamType::String, QStringLiteral("OP")).SetAsString(op);
            c.CreateParam(TParamType::String, QStringLiteral("EMPRESA")).SetAsString(company.trimmed());
            RunStatement(sql, QStringLiteral("INSERT INTO OPEREMPRESA (CDOPERADOR, CDEMPRESA) VALUES (:OP, :EMPRESA)"), c,
                         QStringLiteral("Empresas do operador"));
        }
    }
    if (db.Kind() == TDBKind::PostgreSQL)
        setOperatorRole(sql, op, change.Password);
    tx.Commit();
}

void ApplySchema(TdtmDBGeral &db)
{
    if (db.Kind() == TDBKind::PostgreSQL)
        runScript(db.Database(), resourceText(QStringLiteral(":/db/schema_postgresql.sql")));
    runScript(db.Database(), resourceText(QStringLiteral(":/db/schema.sql")));
}

void GenerateDemoDatabase(const TDemoOptions &o, const std::function<void(const QString &)> &progress)
{
    Q_INIT_RESOURCE(schema);
    if (o.Receivables < 0)
        throw EDatabaseError(QStringLiteral("O número de contas a receber não pode ser negativo."));
    TdtmDBGeral db;
    createTarget(o, db);
    ApplySchema(db);
    QSqlDatabase sql = db.Database();
    Rng rng(o.Seed);
    auto say = [&](const QString &s) {
        if (progress)
            progress(s);
    };

    TTransaction tx(sql);
    CopySession copy{copyConnection(sql), nullptr};
    auto bulk = [&](const QString &table, const QStringList &columns, int batch = 400) { return BulkInsert(sql, table, columns, batch, &copy); };
    // Companies and their branches.
    const std::vector<QString> companies = {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("04"),
                                            QStringLiteral("05")};
    const std::vector<QString> companyNames = {QStringLiteral("Comercial Aurora Ltda"), QStringLiteral("Distribuidora Ipê S.A."),
                                               QStringLiteral("Indústria Jatobá Ltda"), QStringLiteral("Serviços Mirante Ltda"),
                                               QStringLiteral("Atacado Serra Azul S.A.")};
    {
        BulkInsert emp = bulk(QStringLiteral("EMPRESA"), {QStringLiteral("CDEMPRESA"), QStringLiteral("NMEMPRESA")});
        for (size_t i = 0; i < companies.size(); ++i)
            emp.Add({companies[i], companyNames[i]});
        emp.Flush();
    }
    std::vector<Branch> branches;
    {
        BulkInsert fil = bulk(QStringLiteral("FILIAL"), {QStringLiteral("CDFILIAL"), QStringLiteral("NMFILIAL"), QStringLiteral("CDEMPRESA")});
        const int perCompany[] = {3, 2, 3, 1, 2};
        for (size_t c = 0; c < companies.size(); ++c) {
            for (int b = 1; b <= perCompany[c]; ++b) {
                const QString code = companies[c] + pad(b, 2);
                const QString name = b == 1 ? QStringLiteral("Matriz %1").arg(kCities[c % kCities.size()])
                                            : QStringLiteral("Filial %1").arg(kCities[(c + static_cast<size_t>(b)) % kCities.size()]);
                fil.Add({code, name, companies[c]});
                branches.push_back({code, companies[c]});
            }
        }
        fil.Flush();
    }
    // Operators: ADMIN sees every company, MARIA companies 01 and 03, CAIXA none. Their
    // passwords are in the README; the salts are random, so these hashes differ from run to run.
    {
        BulkInsert op = bulk(QStringLiteral("OPERADOR"), {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR"), QStringLiteral("SENHAHASH")});
        op.Add({QStringLiteral("ADMIN"), QStringLiteral("Administrador do Sistema"), PasswordHash::Make(DemoPassword(QStringLiteral("ADMIN")))});
        op.Add({QStringLiteral("MARIA"), QStringLiteral("Maria Siqueira"), PasswordHash::Make(DemoPassword(QStringLiteral("MARIA")))});
        op.Add({QStringLiteral("CAIXA"), QStringLiteral("Operador de Caixa"), PasswordHash::Make(DemoPassword(QStringLiteral("CAIXA")))});
        op.Flush();
        BulkInsert oe = bulk(QStringLiteral("OPEREMPRESA"), {QStringLiteral("CDOPERADOR"), QStringLiteral("CDEMPRESA")});
        for (const QString &c : companies)
            oe.Add({QStringLiteral("ADMIN"), c});
        oe.Add({QStringLiteral("MARIA"), QStringLiteral("01")});
        oe.Add({QStringLiteral("MARIA"), QStringLiteral("03")});
        oe.Flush();
        BulkInsert opc = bulk(QStringLiteral("OPCAOEMISSAO"), {QStringLiteral("CDTELAPROG"), QStringLiteral("CDOPERADOR"), QStringLiteral("IDUTOPEMIFIN")});
        opc.Add({QStringLiteral("REC11001"), QStringLiteral("MARIA"), QStringLiteral("S")});
        opc.Flush();
    }
    // Regions, groups, segments, activities, salespeople.
    std::vector<QString> regions, groups, segments, activities, sellers;
    {
        BulkInsert t = bulk(QStringLiteral("REGIAOPED"), {QStringLiteral("CDREGIAOPED"), QStringLiteral("NMREGIAOPED")});
        const std::vector<QString> names = {QStringLiteral("Norte"), QStringLiteral("Nordeste"), QStringLiteral("Centro-Oeste"),
                                            QStringLiteral("Sudeste"), QStringLiteral("Sul"), QStringLiteral("Litoral"),
                                            QStringLiteral("Interior"), QStringLiteral("Capital")};
        for (size_t i = 0; i < names.size(); ++i) {
            regions.push_back(pad(static_cast<qint64>(i) + 1, 3));
            t.Add({regions.back(), QStringLiteral("Região %1").arg(names[i])});
        }
        t.Flush();
    }
    {
        BulkInsert t = bulk(QStringLiteral("GRUPCLIE"), {QStringLiteral("CDGRUPCLIE"), QStringLiteral("NMGRUPCLIE")});
        const std::vector<QString> names = {QStringLiteral("Varejo"), QStringLiteral("Atacado"), QStringLiteral("Governo"),
                                            QStringLiteral("Grandes Contas"), QStringLiteral("Revendas"), QStringLiteral("Consumidor Final")};
        for (size_t i = 0; i < names.size(); ++i) {
            groups.push_back(QStringLiteral("GRP") + pad(static_cast<qint64>(i) + 1, 3));
            t.Add({groups.back(), names[i]});
        }
        t.Flush();
    }
    {
        BulkInsert t = bulk(QStringLiteral("SEGMERCADO"), {QStringLiteral("CDSEGMER"), QStringLiteral("DSSEGMER")});
        const std::vector<QString> names = {QStringLiteral("Alimentação"), QStringLiteral("Saúde"), QStringLiteral("Construção Civil"),
                                            QStringLiteral("Educação"), QStringLiteral("Agronegócio"), QStringLiteral("Tecnologia")};
        for (size_t i = 0; i < names.size(); ++i) {
            segments.push_back(pad(static_cast<qint64>(i) + 1, 5));
            t.Add({segments.back(), names[i]});
        }
        t.Flush();
    }
    {
        // Tree under the picture "9.99.999": 1 digit, then 2, then 3.
        BulkInsert t = bulk(QStringLiteral("ATIVCLIENTE"), {QStringLiteral("CDATIVCLI"), QStringLiteral("CDARVATIVCLI"), QStringLiteral("DSATIVCLI")});
        const std::vector<QString> roots = {QStringLiteral("Comércio"), QStringLiteral("Indústria"), QStringLiteral("Serviços")};
        const std::vector<QString> subs = {QStringLiteral("Varejista"), QStringLiteral("Atacadista"), QStringLiteral("Especializado")};
        const std::vector<QString> leaves = {QStringLiteral("Pequeno porte"), QStringLiteral("Médio porte")};
        int serial = 0;
        for (size_t r = 0; r < roots.size(); ++r) {
            const QString rc = QString::number(r + 1);
            t.Add({pad(++serial, 5), rc, roots[r]});
            for (size_t s = 0; s < subs.size(); ++s) {
                const QString sc = rc + pad(static_cast<qint64>(s) + 1, 2);
                t.Add({pad(++serial, 5), sc, roots[r] + QStringLiteral(" ") + subs[s]});
                for (size_t l = 0; l < leaves.size(); ++l) {
                    const QString lc = sc + pad(static_cast<qint64>(l) + 1, 3);
                    t.Add({pad(++serial, 5), lc, roots[r] + QStringLiteral(" ") + subs[s] + QStringLiteral(" - ") + leaves[l]});
                    activities.push_back(pad(serial, 5));
                }
            }
        }
        t.Flush();
    }
    {
        BulkInsert t = bulk(QStringLiteral("VENDEDOR"), {QStringLiteral("CDVENDEDOR"), QStringLiteral("NRINSJURVEN"), QStringLiteral("NMRAZSOCVEN"),
                                                       QStringLiteral("NMFANVEN")});
        for (int i = 1; i <= 12; ++i) {
            sellers.push_back(pad(i, 4));
            const QString name = rng.pick(kFirst) + QStringLiteral(" ") + rng.pick(kLast);
            t.Add({sellers.back(), cpf(rng), name, name.section(QLatin1Char(' '), 0, 0)});
        }
        t.Flush();
    }
    // Receivable types, classifications, settlement forms, banks and accounts.
    std::vector<QString> types, classes, forms, accounts;
    {
        BulkInsert t = bulk(QStringLiteral("TIPOCTRECEBER"), {QStringLiteral("CDTPCTRECEB"), QStringLiteral("DSTPCTRECEB"), QStringLiteral("IDTPCTRECEBER")});
        const std::vector<QString> names = {QStringLiteral("Duplicata"), QStringLiteral("Cheque Pré-datado"), QStringLiteral("Cartão de Crédito"),
                                            QStringLiteral("Boleto Bancário"), QStringLiteral("Nota Promissória"), QStringLiteral("Contrato de Serviço"),
                                            QStringLiteral("Adiantamento de Cliente"), QStringLiteral("Aluguel")};
        for (size_t i = 0; i < names.size(); ++i) {
            types.push_back(pad(static_cast<qint64>(i) + 1, 6));
            t.Add({types.back(), names[i], i == 6 ? QStringLiteral("2") : QStringLiteral("1")});
        }
        t.Flush();
    }
    {
        BulkInsert t = bulk(QStringLiteral("CLASSFINANC"), {QStringLiteral("CDCLASSFINA"), QStringLiteral("DSCLASSFINA")});
        const std::vector<QString> names = {QStringLiteral("Venda de Mercadorias"), QStringLiteral("Prestação de Serviços"),
                                            QStringLiteral("Receitas Financeiras"), QStringLiteral("Aluguéis Recebidos"),
                                            QStringLiteral("Venda de Ativos"), QStringLiteral("Outras Receitas")};
        for (size_t i = 0; i < names.size(); ++i) {
            classes.push_back(QStringLiteral("1") + pad(static_cast<qint64>(i) + 1, 2) + QStringLiteral("001"));
            t.Add({classes.back(), names[i]});
        }
        t.Flush();
    }
    {
        BulkInsert t = bulk(QStringLiteral("TIPOBAIXAREC"), {QStringLiteral("CDTPBAIXAREC"), QStringLiteral("NMTPBAIXAREC")});
        const std::vector<QString> names = {QStringLiteral("Dinheiro"), QStringLiteral("Cheque"), QStringLiteral("Depósito em Conta"),
                                            QStringLiteral("Boleto Compensado"), QStringLiteral("Transferência Instantânea"),
                                            QStringLiteral("Cartão")};
        for (size_t i = 0; i < names.size(); ++i) {
            forms.push_back(pad(static_cast<qint64>(i) + 1, 2));
            t.Add({forms.back(), names[i]});
        }
        t.Flush();
    }
    {
        BulkInsert b = bulk(QStringLiteral("BANCO"), {QStringLiteral("CDBANCO"), QStringLiteral("NMBANCO"), QStringLiteral("CDPICTCONT"), QStringLiteral("CDPICTAGEN")});
        b.Add({QStringLiteral("101"), QStringLiteral("Banco Ipê"), QStringLiteral("99999-9"), QStringLiteral("9999-9")});
        b.Add({QStringLiteral("202"), QStringLiteral("Banco Sabiá"), QStringLiteral("9999999-9"), QStringLiteral("9999")});
        b.Add({QStringLiteral("303"), QStringLiteral("Caixa Regional"), QStringLiteral("999.999-9"), QStringLiteral("999-9")});
        b.Flush();
        BulkInsert t = bulk(QStringLiteral("CONTCORR"), {QStringLiteral("CDREDUCONT"), QStringLiteral("CDBANCO"), QStringLiteral("CDAGENCIA"),
                                                       QStringLiteral("NMAGENCIA"), QStringLiteral("CDCONTCORR"), QStringLiteral("DSCONTCORR"),
                                                       QStringLiteral("CDEMPRESA")});
        const QString banks[] = {QStringLiteral("101"), QStringLiteral("202"), QStringLiteral("303")};
        const int agLen[] = {5, 4, 4};
        const int acLen[] = {6, 8, 7};
        for (int i = 1; i <= 8; ++i) {
            const int b = (i - 1) % 3;
            accounts.push_back(pad(i, 3));
            // The last account has no number yet: it was opened but not registered.
            const QVariant number = i == 8 ? nullText() : QVariant(digits(rng, acLen[b]));
            t.Add({accounts.back(), banks[b], digits(rng, agLen[b]), QStringLiteral("Agência %1").arg(pad(i, 2)),
                   number, QStringLiteral("Conta movimento %1").arg(i), companies[static_cast<size_t>(i - 1) % companies.size()]});
        }
        t.Flush();
    }
    // Parameters: due dates from 30 days back to today, budget criteria shown, curve 80/15/5.
    {
        QSqlQuery q(sql);
        if (!q.exec(QStringLiteral("INSERT INTO PARAMGERALREC (CDGERALREC, QTDIAANTLANR, QTDIAAPOLANR, VRPECURVAA, VRPECURVAB, VRPECURVAC) "
                                   "VALUES ('1', 30, 0, 80, 15, 5)")) ||
            !q.exec(QStringLiteral("INSERT INTO PARAMGERALORCA (CDGERALORCA, IDEXIBDADORC) VALUES ('1', 'S')")) ||
            !q.exec(QStringLiteral("INSERT INTO PICTURE (TPPICTURE, DSPICTURE) VALUES (16, '9.99.999')")))
            throw EDatabaseError(q.lastError().text());
    }
    // Clients.
    struct Client {
        QString code, reg, type;
    };
    std::vector<Client> clients;
    {
        const qint64 nClients = std::clamp<qint64>(o.Receivables / 20, 40, 200000);
        BulkInsert t = bulk(QStringLiteral("CLIENTE"), {QStringLiteral("CDCLIENTE"), QStringLiteral("NMFANTCLIE"), QStringLiteral("NMRAZSOCCLIE"),
                                                      QStringLiteral("NRINSJURCLIE"), QStringLiteral("IDTPIJURCLIE"), QStringLiteral("IDPUBPRIVCLIE"),
                                                      QStringLiteral("CDREGIAOPED"), QStringLiteral("CDGRUPCLIE"), QStringLiteral("CDATIVCLI"),
                                                      QStringLiteral("CDSEGMER")});
        clients.reserve(static_cast<size_t>(nClients));
        for (qint64 i = 1; i <= nClients; ++i) {
            const int kind = rng.range(1, 100);
            Client c;
            c.code = pad(i, 6);
            QString fant, razao, pubpriv = QStringLiteral("V");
            if (kind <= 45) {
                c.type = QStringLiteral("F");
                c.reg = cpf(rng);
                razao = rng.pick(kFirst) + QStringLiteral(" ") + rng.pick(kLast) + QStringLiteral(" ") + rng.pick(kLast);
                fant = razao.section(QLatin1Char(' '), 0, 0);
            } else if (kind <= 90) {
                c.type = QStringLiteral("J");
                c.reg = cnpj(rng);
                const QString place = rng.pick(kPlace);
                const QString trade = rng.pick(kTrade);
                fant = trade + QStringLiteral(" ") + place;
                razao = fant + (rng.chance(60) ? QStringLiteral(" Ltda") : QStringLiteral(" S.A."));
            } else {
                c.type = QStringLiteral("J");
                c.reg = cnpj(rng);
                pubpriv = QStringLiteral("B");
                const QString city = rng.pick(kCities);
                fant = QStringLiteral("Prefeitura de ") + city;
                razao = QStringLiteral("Prefeitura Municipal de ") + city;
            }
            t.Add({c.code, fant, razao, c.reg, c.type, pubpriv, rng.pick(regions), rng.pick(groups), rng.pick(activities), rng.pick(segments)});
            clients.push_back(std::move(c));
        }
        t.Flush();
    }
    say(QStringLiteral("%1 clientes gravados").arg(clients.size()));
    // Receivables and their settlements.
    {
        BulkInsert rec = bulk(QStringLiteral("CONTARECEBER"),
                       {QStringLiteral("NRLANCTOREC"), QStringLiteral("CDEMPRESA"), QStringLiteral("CDFILIAL"), QStringLiteral("CDFILILANC"),
                        QStringLiteral("CDFILIEMIT"), QStringLiteral("CDCLIENTE"), QStringLiteral("CDTPCTRECEB"), QStringLiteral("CDCLASSFINA"),
                        QStringLiteral("CDVENDEDOR"), QStringLiteral("NRORCAMENTO"), QStringLiteral("IDSTATREC"), QStringLiteral("IDTPLANCREC"),
                        QStringLiteral("DTEMISSAO"), QStringLiteral("DTENTRSAID"), QStringLiteral("DTORIGVENREC"), QStringLiteral("DTATUAVENREC"),
                        QStringLiteral("DTREFEFAT"), QStringLiteral("VRORIGREC"), QStringLiteral("VRATUAREC"), QStringLiteral("VRLIQREC"),
                        QStringLiteral("DSCONTAREC"), QStringLiteral("NRLANBOLREC"), QStringLiteral("IDTPIJURNF"), QStringLiteral("NRINSJURNF"),
                        QStringLiteral("CDSERIE"), QStringLiteral("NRLANCTONF")},
                       380);
        BulkInsert bx = bulk(QStringLiteral("BAIXAREC"),
                      {QStringLiteral("NRBAIXAREC"), QStringLiteral("NRLANCTOREC"), QStringLiteral("DTBAIXAREC"), QStringLiteral("VRBAIXAREC"),
                       QStringLiteral("CDTPBAIXAREC"), QStringLiteral("CDREDUCONT")},
                      1000);
        // A settlement refers to its receivable: where the database checks that
        // row by row (PostgreSQL without COPY), the receivables go first.
        if (!copy.Conn && sql.driverName() == QStringLiteral("QPSQL"))
            bx.BeforeFlush = [&rec] { rec.Flush(); };
        std::vector<std::vector<Branch>> byCompany(companies.size());
        for (const Branch &b : branches)
            byCompany[static_cast<size_t>(b.company.toInt() - 1)].push_back(b);
        // Parts of settlements come from a stream of their own, so the receivables stay as they were.
        Rng parts(o.Seed ^ 0x9e3779b97f4a7c15ULL);
        const auto cents = [](double v) { return std::round(v * 100) / 100; };
        for (qint64 n = 1; n <= o.Receivables; ++n) {
            const size_t ci = static_cast<size_t>(rng.range(0, static_cast<int>(companies.size()) - 1));
            const Branch &origin = rng.pick(byCompany[ci]);
            const Branch &posting = rng.pick(byCompany[ci]);
            const Client &cl = rng.pick(clients);
            const int st = rng.range(1, 100);
            const QString status = st <= 45 ? QStringLiteral("A") : st <= 80 ? QStringLiteral("B") : st <= 90 ? QStringLiteral("D") : QStringLiteral("P");
            const QString kind = status == QStringLiteral("P") ? QStringLiteral("V") : (rng.chance(60) ? QStringLiteral("A") : QStringLiteral("E"));
            const QDate emission = o.BaseDate.addDays(-rng.range(0, 540));
            const QDate dueOrig = emission.addDays(rng.range(0, 120));
            const QDate dueNow = rng.chance(10) ? dueOrig.addDays(rng.range(1, 30)) : dueOrig;
            const QVariant exitDate = rng.chance(80) ? QVariant(iso(emission.addDays(rng.range(0, 3)))) : nullText();
            const QVariant billRef = rng.chance(70) ? QVariant(iso(QDate(emission.year(), emission.month(), 1))) : nullText();
            const double orig = rng.range(5000, 5000000) / 100.0;
            const double now = dueNow < o.BaseDate && status == QStringLiteral("A") ? std::round(orig * (1 + rng.range(0, 500) / 10000.0) * 100) / 100 : orig;
            const double net = std::round(now * (1 - rng.range(0, 300) / 10000.0) * 100) / 100;
            const int parcels = rng.range(1, 6);
            const QString nf = pad(rng.range(1, 999999), 6);
            rec.Add({n, companies[ci], origin.code, posting.code, origin.code, cl.code, rng.pick(types),
                     rng.chance(95) ? QVariant(rng.pick(classes)) : nullText(), rng.chance(90) ? QVariant(rng.pick(sellers)) : nullText(),
                     rng.chance(30) ? QVariant(pad(rng.range(1, 999999), 10)) : nullText(), status, kind, iso(emission), exitDate, iso(dueOrig),
                     iso(dueNow), billRef, orig, now, net,
                     QStringLiteral("Parcela %1/%2 NF %3").arg(rng.range(1, parcels)).arg(parcels).arg(nf), pad(n, 10), cl.type, cl.reg,
                     QStringLiteral("1"), nf});
            if (status == QStringLiteral("B")) {
                QDate paid = dueNow.addDays(rng.range(-10, 15));
                if (paid > o.BaseDate)
                    paid = o.BaseDate;
                if (paid < emission)
                    paid = emission;
                const QString form = rng.pick(forms);
                const QVariant account = rng.chance(85) ? QVariant(rng.pick(accounts)) : nullText();
                // Some were paid in two or three parts on different dates; the last part closes the value.
                double left = now;
                const int count = parts.chance(30) ? parts.range(2, 3) : 1;
                for (int k = 1; k < count; ++k) {
                    const QDate when = std::max(emission, paid.addDays(-parts.range(1, 45) * (count - k)));
                    const double part = cents(now * parts.range(15, 40) / 100.0);
                    bx.Add({QStringLiteral("P") + pad(n, 8) + QString::number(k), n, iso(when), part, form, account});
                    left -= part;
                }
                bx.Add({pad(n, 10), n, iso(paid), cents(left), form, account});
            } else if (status == QStringLiteral("A") && parts.chance(15)) {
                // A part already received of a receivable still open.
                const QDate when = emission.addDays(parts.range(0, static_cast<int>(std::max<qint64>(0, emission.daysTo(o.BaseDate)))));
                bx.Add({QStringLiteral("P") + pad(n, 8) + QStringLiteral("1"), n, iso(when), cents(now * parts.range(10, 60) / 100.0),
                        parts.pick(forms), parts.chance(85) ? QVariant(parts.pick(accounts)) : nullText()});
            }
            if (n % 100000 == 0)
                say(QStringLiteral("%1 contas a receber gravadas").arg(n));
        }
        rec.Flush();
        bx.Flush();
    }
    runScript(sql, resourceText(QStringLiteral(":/db/schema_indexes.sql")));
    if (sql.driverName() == QStringLiteral("QPSQL"))
        runScript(sql, resourceText(QStringLiteral(":/db/schema_changes_postgresql.sql")));
    tx.Commit();
    // On PostgreSQL each demo operator reaches the database as its own role, kept to its companies.
    if (sql.driverName() == QStringLiteral("QPSQL")) {
        applyAccess(sql);
        for (const char *op : {"ADMIN", "MARIA", "CAIXA"})
            setOperatorRole(sql, QLatin1String(op), DemoPassword(QLatin1String(op)));
    }
    // In use, readers (a long report) must not hold back the server's writes, and the reverse.
    if (sql.driverName() == QStringLiteral("QSQLITE")) {
        QSqlQuery wal(sql);
        if (!wal.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !wal.next() || wal.value(0).toString().toLower() != QStringLiteral("wal"))
            throw EDatabaseError(QStringLiteral("Não foi possível pôr o banco '%1' em modo WAL.").arg(o.Target));
    }
    say(QStringLiteral("%1 contas a receber gravadas em %2").arg(o.Receivables).arg(TdtmDBGeral::ShownTarget(o.Target)));
}
