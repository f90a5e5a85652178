// The ABC curve methods of the remote data module: percentages, the status
// list, the curve rows with their running totals, and the totals per company.
#include "appserver/RemoteDataModule.h"
#include "appserver/CurveStatement.h"
#include "data/DateTime.h"
#include "data/SessionSettings.h"
#include "data/Query.h"
#include "server/AbcRequest.h"
#include <QDate>
#include <QSqlQuery>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace {
TPacketField Str(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::String, size, false}; }
TPacketField Fix(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::FixedChar, size, false}; }
TPacketField Num(const char *name) { return {QString::fromLatin1(name), TFieldType::Float, 0, false}; }
TPacketField Dat(const char *name) { return {QString::fromLatin1(name), TFieldType::DateTime, 0, false}; }

const QString kAll = QStringLiteral("T");

// A text as the statements take it: never null.
QString s(const QString &text) { return text.isNull() ? QStringLiteral("") : text; }

QString statusName(QChar letter)
{
    switch (letter.unicode()) {
    case 'A': return QStringLiteral("Em Aberto");
    case 'B': return QStringLiteral("Baixada");
    case 'D': return QStringLiteral("Descontada");
    case 'P': return QStringLiteral("Planejada");
    default: return QString(letter);
    }
}

bool isAll(const QString &flag) { return flag == kAll; }

TDBKind dialect(const QSqlDatabase &db) { return db.driverName() == QStringLiteral("QPSQL") ? TDBKind::PostgreSQL : TDBKind::SQLite; }

// The answer of GetTotal: one row per company with its last running total.
std::vector<TPacketField> totalShape() { return {Str("CDEMPRESA", 2), Num("SUMCRVRATUAREC")}; }

size_t fieldIndex(const std::vector<TPacketField> &shape, const char *name)
{
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i].Name == QLatin1String(name))
            return i;
    throw EMethodError(QStringLiteral("campo %1 ausente.").arg(QLatin1String(name)));
}

// A code list for the header: "Todos"/"Todas" for all, else the list as chosen.
QString listWords(const QString &list, const QString &flag, const QString &allWord) { return isAll(flag) ? allWord : list; }

// The last running total of each company, taken from the rows as they are written:
// the answer of GetTotal.
class TCompanyTotals {
public:
    TCompanyTotals(const std::vector<TPacketField> &shape, const TRunningSum &running)
        : m_running(running), m_company(fieldIndex(shape, "CDEMPRESA")), m_total(fieldIndex(shape, running.Field.toLatin1().constData()))
    {
    }
    void AfterRow(const TPacketWriter &w)
    {
        if (m_running.Restarted || m_last.empty()) {
            const QByteArrayView company = w.LastText(m_company);
            m_last.push_back({std::string(company.data(), static_cast<size_t>(company.size())), w.LastIsNull(m_company)});
        }
        m_last.back().Null = w.LastIsNull(m_total);
        m_last.back().Total = w.LastNumber(m_total);
    }
    QByteArray Packet() const
    {
        TPacketWriter t(totalShape());
        for (const TLast &l : m_last) {
            t.BeginRow();
            if (l.CompanyNull)
                t.Null();
            else
                t.Text(l.Company.data(), static_cast<qsizetype>(l.Company.size()));
            if (l.Null)
                t.Null();
            else
                t.Number(l.Total);
        }
        return t.Finish();
    }

private:
    struct TLast {
        std::string Company;
        bool CompanyNull = false;
        bool Null = true;
        double Total = 0;
    };
    const TRunningSum &m_running;
    size_t m_company, m_total;
    std::vector<TLast> m_last;
};
} // namespace

void TrdmRelLancContReceber::RegisterCurveMethods()
{
    using K = Kind;
    Register(QStringLiteral("GetPercentual"), {}, [this](const QVariantList &) { return GetPercentual(); });
    Register(QStringLiteral("GetStatus"), std::vector<Kind>(6, K::Text), [this](const QVariantList &a) { return GetStatus(a); });
    // The kinds of the request's values as it encodes them.
    const auto kinds = [](const QVariantList &sample) {
        std::vector<Kind> out;
        for (const QVariant &v : sample)
            out.push_back(v.typeId() == QMetaType::Double ? K::Double : v.typeId() == QMetaType::Bool ? K::Boolean : K::Text);
        return out;
    };
    Register(QStringLiteral("GetCurvaABC"), kinds(TAbcRequest().CurveArgs()), [this](const QVariantList &a) { return GetCurvaABC(a); });
    Register(QStringLiteral("GetTotal"), kinds(TAbcRequest().TotalArgs()), [this](const QVariantList &a) { return GetTotal(a); },
             TAbcRequest::kTotalArgs - TAbcRequest::kShortTotalArgs);
}

QVariant TrdmRelLancContReceber::GetPercentual()
{
    const TDataPacket p = Select(QStringLiteral("SELECT VRPECURVAA, VRPECURVAB, VRPECURVAC FROM PARAMGERALREC ORDER BY CDGERALREC LIMIT 1"), {},
                                 {Num("VRPECURVAA"), Num("VRPECURVAB"), Num("VRPECURVAC")}, QStringLiteral("GetPercentual"));
    if (p.Rows.empty())
        throw EMethodError(QStringLiteral("os percentuais da curva ABC não estão cadastrados nos parâmetros gerais de contas a receber."));
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetStatus(const QVariantList &args)
{
    // Arguments: the all flag, then "A", "B", "D", "P" each when chosen, then "A_B_D_P" for all.
    const QString letters = QStringLiteral("ABDP");
    const QString all = args[0].toString(), allWord = args[5].toString();
    if (!all.isEmpty() && !isAll(all))
        throw EMethodError(QStringLiteral("o argumento 1 deve ser 'T' ou vazio, recebido '%1'.").arg(all));
    if (!allWord.isEmpty() && allWord != QStringLiteral("A_B_D_P"))
        throw EMethodError(QStringLiteral("o argumento 6 deve ser 'A_B_D_P' ou vazio, recebido '%1'.").arg(allWord));
    TDataPacket p;
    p.Fields = {Str("STATUS", 10)};
    for (int i = 0; i < 4; ++i) {
        const QString v = args[i + 1].toString();
        if (!v.isEmpty() && v != letters[i])
            throw EMethodError(QStringLiteral("o argumento %1 deve ser '%2' ou vazio, recebido '%3'.").arg(i + 2).arg(letters[i]).arg(v));
        if (isAll(all) || !allWord.isEmpty() || !v.isEmpty())
            p.AddRow({QString(letters[i])});
    }
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetCurvaABC(const QVariantList &args)
{
    m_curveTotals.reset();
    const TAbcRequest r = TAbcRequest::FromCurveArgs(args);
    const TCurveStatement st = CurveStatement(r, dialect(Db()), m_dateFormat,
                                              m_operator, m_hostToday.value_or(QDate::currentDate()));

    const std::vector<TPacketField> dbShape = {
        Str("CDFILIAL", 4),      Str("CDFILIEMIT", 4),   Str("NMFILIAL", 30),    Str("CDCLIENTE", 21),   Str("NMFANTCLIE", 50),
        Str("NMRAZSOCCLIE", 50), Str("IDTPIJURCLIE", 1), Str("CDEMPRESA", 2),    Str("NMEMPRESA", 40),   Str("IDSTATBREC", 1),
        Str("IDSTATUS", 1),      Str("CDTPBAIXAREC", 2), Dat("DTBAIXAREC"),      Str("NRBAIXAREC", 10),  Num("VRBAIXAREC"),
        Str("DSTPCTRECEB", 40),  Str("CDTPCTRECEB", 6),  Dat("DTORIGVENREC"),    Dat("DTATUAVENREC"),    Num("VRORIGREC"),
        Num("VRATUAREC"),        Str("DSCONTAREC", 100), Str("NRLANBOLREC", 10), Str("IDSTATREC", 1),    Str("IDTPIJURNF", 1),
        Str("NRINSJURNF", 20),   Str("NOTASERIE", 26),   Str("NRLANCTONF", 10),  Dat("DTEMISSAO"),       Dat("DTENTRSAID"),
        Str("CDSERIE", 5),       Str("CDBANCO", 3),      Str("NMBANCO", 30),     Str("CDPICTCONT", 20),  Str("CDAGENCIA", 5),
        Str("CDCONTCORR", 10),   Str("NMAGENCIA", 20),   Str("DSCONTCORR", 20),  Str("CDREDUCONT", 3),   Str("REDUZIDO", 17),
        Num("DIAS")};
    // The criteria in words, the same on every row.
    const std::vector<TPacketField> criteriaShape = {
        Fix("IDCURVA", 1),      Str("DATVENIN", 20),       Str("DATVENFIN", 20),   Str("DATEMISINI", 20), Str("DATEMIFIN", 20),
        Str("DATENTR", 20),     Str("DATSAID", 20),        Str("DTBAIXAINI", 20),  Str("DTBAIXAFIN", 20), Num("VALORINI"),
        Num("VALORFIN"),        Str("SELFILIAL", 255),     Str("SELSTATUS", 1),    Str("SELTIPO", 1),     Str("SELTIPOCONTA", 255),
        Str("SELEMPRESA", 255), Str("SELCLIENTE", 255),    Str("SELFILILANC", 255), Str("CDCLASSFINA", 6), Str("SELFORMREC", 255),
        Str("SELCCORR", 255),   Str("UTLOPC", 1),          Str("TSTATUS", 2000)};
    QStringList statusWords;
    if (isAll(r.StatusTodos))
        statusWords << QStringLiteral("Todos");
    else
        for (QChar letter : st.StatusLetters)
            statusWords << statusName(letter);
    QString kind = QStringLiteral("T");
    if (!isAll(r.Tipo.Flag))
        kind = s(r.Tipo.Codes).left(1);
    const QStringList classes = r.ClassFinanc.Codes.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    QString classe = classes.size() == 1 ? classes[0] : QString();
    if (isAll(r.ClassFinanc.Flag))
        classe = QStringLiteral("Todas");
    const auto words = [](const TAbcChoice &choice, const char *allWord) { return listWords(s(choice.Codes), choice.Flag, QLatin1String(allWord)); };
    const TRecord criteria = {QString(),
                              s(r.Vencimento.From),
                              s(r.Vencimento.To),
                              s(r.Emissao.From),
                              s(r.Emissao.To),
                              s(r.Saida.From),
                              s(r.Saida.To),
                              s(r.Baixa.From),
                              s(r.Baixa.To),
                              r.ValorIni,
                              r.ValorFin,
                              words(r.Filial, "Todas"),
                              s(r.StatusTodos).left(1),
                              kind,
                              words(r.TipoConta, "Todos"),
                              words(r.Empresa, "Todas"),
                              words(r.Cliente, "Todos"),
                              words(r.FiliLanca, "Todas"),
                              classe,
                              words(r.FormaPaga, "Todas"),
                              words(r.ContaCorrente, "Todas"),
                              s(r.OpEmissao).left(1),
                              statusWords.join(QStringLiteral(", "))};

    std::vector<TPacketField> shape = dbShape;
    shape.insert(shape.end(), criteriaShape.begin(), criteriaShape.end());
    // The last running total of each company as the curve writes it: GetTotal's
    // answer for the same filter while the data stays as it was.
    TRunningSum running = st.Running;
    TCompanyTotals totals(shape, running);
    ForgetOldChanges();
    const QString version = DataVersion();
    QVariant curve;
    {
        const TSettingsWhile sortRoom(Db(), dialect(Db()), CurveSortSettings(dialect(Db())));
        // The small tables and the rows as they all stood at one moment.
        const TReadSnapshot snapshot(Db());
        TComputedFields computed{&running, st.Derived};
        for (const TCurveStatement::TLookup &lookup : st.Lookups) {
            QSqlQuery q = RunStatement(Db(), lookup.Sql, {}, QStringLiteral("GetCurvaABC"));
            const std::shared_ptr<const TLookupTable> table = TLookupTable::Read(q, QStringLiteral("GetCurvaABC"));
            for (const QString &field : lookup.Fields)
                computed.Derived.push_back(TDerivedField::LookedUp(field, lookup.Key, table));
        }
        curve = SelectPacket(st.Statement.Sql(), st.Statement.Params(), shape, QStringLiteral("GetCurvaABC"), criteria,
                             [&](const TPacketWriter &w) { totals.AfterRow(w); }, computed);
    }
    // Kept only when nothing was committed while the curve was read, so that the
    // totals are those of the data as it stood at `version`.
    if (!version.isEmpty() && DataUnchangedSince(version) && CompanyCodesDistinct())
        m_curveTotals = TCurveTotals{m_db, m_db->Opens(), st.Filter, version, totals.Packet()};
    return curve;
}

QString TrdmRelLancContReceber::DataVersion()
{
    if (!m_db)
        return {};
    // PostgreSQL: the snapshot changes with every transaction that ends, on any
    // connection. SQLite: data_version counts other connections' commits,
    // total_changes this connection's own changes.
    QString sql;
    switch (m_db->Kind()) {
    case TDBKind::PostgreSQL: sql = QStringLiteral("SELECT CAST(pg_current_snapshot() AS text)"); break;
    case TDBKind::SQLite: sql = QStringLiteral("SELECT (SELECT data_version FROM pragma_data_version) || '/' || total_changes()"); break;
    default: return {};
    }
    // A database that cannot tell (an older server) only means no totals are kept.
    try {
        QSqlQuery q = RunStatement(Db(), sql, {}, QStringLiteral("versão dos dados"));
        return q.next() ? q.value(0).toString() : QString();
    } catch (const EDatabaseError &) {
        return {};
    }
}

bool TrdmRelLancContReceber::DataUnchangedSince(const QString &version)
{
    if (!m_db || m_db->Kind() != TDBKind::PostgreSQL)
        return DataVersion() == version;
    // PostgreSQL: no transaction that the snapshot did not see has committed a change to the
    // tables the totals read since. Transactions far behind the oldest one running are
    // forgotten, so a snapshot that old tells nothing.
    TParams p;
    p.CreateParam(TParamType::String, QStringLiteral("VERSAO")).SetAsString(version);
    try {
        QSqlQuery q = RunStatement(Db(),
                                   QStringLiteral("SELECT CAST(CAST(pg_snapshot_xmin(pg_current_snapshot()) AS text) AS bigint) - "
                                                  "CAST(CAST(pg_snapshot_xmin(CAST(:VERSAO AS pg_snapshot)) AS text) AS bigint) < 500000 "
                                                  "AND NOT EXISTS (SELECT 1 FROM REC_ALTERACAO A "
                                                  "WHERE A.XID >= CAST(CAST(pg_snapshot_xmin(CAST(:VERSAO AS pg_snapshot)) AS text) AS bigint) "
                                                  "AND NOT pg_visible_in_snapshot(CAST(CAST(A.XID AS text) AS xid8), CAST(:VERSAO AS pg_snapshot)))"),
                                   p, QStringLiteral("versão dos dados"));
        return q.next() && q.value(0).toBool();
    } catch (const EDatabaseError &) {
        // A database without the change log: any transaction that ended moves the snapshot.
        return DataVersion() == version;
    }
}

void TrdmRelLancContReceber::ForgetOldChanges()
{
    // Keeps the change log short: transactions far older than every one running.
    if (!m_db || m_db->Kind() != TDBKind::PostgreSQL)
        return;
    try {
        RunStatement(Db(),
                     QStringLiteral("DELETE FROM REC_ALTERACAO WHERE XID < CAST(CAST(pg_snapshot_xmin(pg_current_snapshot()) AS text) AS bigint) - 1000000"),
                     {}, QStringLiteral("registro de alterações"));
    } catch (const EDatabaseError &) {
    }
}

bool TrdmRelLancContReceber::CompanyCodesDistinct()
{
    // The curve tells companies apart by their code as written in the packet; that
    // must be the company itself, not a shortened code two companies share.
    QSqlQuery q = RunStatement(Db(), QStringLiteral("SELECT CDEMPRESA FROM EMPRESA"), {}, QStringLiteral("GetCurvaABC"));
    TPacketWriter w({totalShape()[0]});
    std::set<std::string> seen;
    bool distinct = true;
    FetchIntoPacket(q, w, QStringLiteral("GetCurvaABC"), {}, [&] {
        const QByteArrayView code = w.LastText(0);
        distinct = distinct && !w.LastIsNull(0) && seen.insert(std::string(code.data(), static_cast<size_t>(code.size()))).second;
    });
    return distinct;
}

QVariant TrdmRelLancContReceber::GetTotal(const QVariantList &args)
{
    const TCurveStatement st = TotalStatement(TAbcRequest::FromTotalArgs(args),
                                              dialect(Db()), m_dateFormat, m_operator);
    if (m_curveTotals && m_curveTotals->Db == m_db && m_db && m_curveTotals->Opens == m_db->Opens() && m_curveTotals->Filter == st.Filter &&
        DataUnchangedSince(m_curveTotals->Version)) {
        m_lastNote = QStringLiteral("totais da última curva; dados inalterados");
        return QVariant(m_curveTotals->Packet);
    }
    TRunningSum running = st.Running;
    TCompanyTotals totals(totalShape(), running);
    SelectPacket(st.Statement.Sql(), st.Statement.Params(), totalShape(), QStringLiteral("GetTotal"), {},
                 [&](const TPacketWriter &w) { totals.AfterRow(w); }, TComputedFields{&running, st.Derived});
    return QVariant(totals.Packet());
}
