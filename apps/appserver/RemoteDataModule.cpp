#include "appserver/RemoteDataModule.h"
#include "data/Exceptions.h"
#include "data/Query.h"
#include "data/Quote.h"
#include "services/Picture.h"
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

namespace {
TPacketField S(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::String, size, false}; }
TPacketField F(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::FixedChar, size, false}; }
TPacketField D(const char *name) { return {QString::fromLatin1(name), TFieldType::Float, 0, false}; }

TParams textParams(std::initializer_list<std::pair<const char *, QString>> values)
{
    TParams p;
    for (const auto &[name, value] : values)
        p.CreateParam(TParamType::String, QString::fromLatin1(name)).SetAsString(value);
    return p;
}

QString DatabaseFaultText(TDbFault fault)
{
    switch (fault) {
    case TDbFault::ForeignKey: return QStringLiteral("o banco de dados recusou a gravação porque um registro relacionado não existe.");
    case TDbFault::Unique: return QStringLiteral("o banco de dados recusou a gravação porque o registro já existe.");
    case TDbFault::Check: return QStringLiteral("o banco de dados recusou um valor que não é permitido.");
    case TDbFault::NotNull: return QStringLiteral("o banco de dados recusou a gravação porque falta um valor obrigatório.");
    case TDbFault::Connection: return QStringLiteral("a conexão do servidor de aplicação com o banco de dados falhou; tente de novo.");
    case TDbFault::Other: break;
    }
    return QStringLiteral("o banco de dados não concluiu a operação; os detalhes estão no registro do servidor de aplicação.");
}

QString kindName(int kind)
{
    switch (kind) {
    case 0: return QStringLiteral("texto");
    case 1: return QStringLiteral("inteiro");
    case 3: return QStringLiteral("número");
    case 4: return QStringLiteral("lógico");
    default: return QStringLiteral("pacote de dados");
    }
}

int countRows(const QVariant &v)
{
    // The header's count: a reply is never decoded again just to be logged.
    if (v.typeId() == QMetaType::QByteArray)
        return static_cast<int>(std::max<qint64>(0, TDataPacket::AnnouncedRows(v.toByteArray())));
    if (v.typeId() == QMetaType::QVariantList) {
        int n = 0;
        for (const QVariant &item : v.toList())
            n += countRows(item);
        return n;
    }
    return 0;
}
} // namespace

TrdmRelLancContReceber::TrdmRelLancContReceber(TdtmDBGeral *db, QString openError) : m_db(db), m_openError(std::move(openError))
{
    using K = Kind;
    Register(QStringLiteral("Login"), {K::Text, K::Text}, [this](const QVariantList &a) { return Login(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("Resume"), {K::Text, K::Text}, [this](const QVariantList &a) { return Resume(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("GetDtVenc"), {}, [this](const QVariantList &) { return GetDtVenc(); });
    Register(QStringLiteral("GetOpEmissao"), {K::Text, K::Text}, [this](const QVariantList &a) { return GetOpEmissao(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("SetOpEmissao"), {K::Bytes}, [this](const QVariantList &a) { return SetOpEmissao(a[0].toByteArray()); });
    Register(QStringLiteral("GetFiliLanca"), {K::Text, K::Text}, [this](const QVariantList &a) { return GetFiliLanca(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("GetConsultaServ"), {K::Text, K::Text},
             [this](const QVariantList &a) { return GetConsultaServ(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("GetAtivClie"), {K::Integer}, [this](const QVariantList &a) { return GetAtivClie(a[0].toLongLong()); });
    Register(QStringLiteral("getTimeServ"), {}, [this](const QVariantList &) { return GetTimeServ(); });
    Register(QStringLiteral("SetContext"), {K::Text, K::Text}, [this](const QVariantList &a) { return SetContext(a[0].toString(), a[1].toString()); });
    Register(QLatin1String(Wire::kPiecesMethod), {}, [this](const QVariantList &) {
        m_acceptPieces = true;
        return QVariant(true);
    });
    RegisterCurveMethods();
    RegisterCriteriaMethods();
}

void TrdmRelLancContReceber::Register(const QString &name, std::vector<Kind> args, std::function<QVariant(const QVariantList &)> run, size_t optional)
{
    m_methods[name.toLower()] = Method{name, std::move(args), std::move(run), optional};
}

Wire::Reply TrdmRelLancContReceber::Dispatch(const Wire::Request &request)
{
    m_lastRows = 0;
    m_sentRows = -1;
    m_lastDetail.clear();
    m_lastRefusal.clear();
    m_lastNote.clear();
    m_lastFault.reset();
    Wire::Reply reply;
    auto fail = [&](const QString &message) {
        reply.Ok = false;
        reply.Error = message;
        return reply;
    };
    if (request.Object.compare(QLatin1String(kRegisteredName), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("O objeto %1 não está registrado neste servidor de aplicação (disponível: %2).")
                        .arg(QuoteInput(request.Object), QLatin1String(kRegisteredName)));
    // Nothing but the login before the login.
    if (m_operator.isEmpty() && request.Method.compare(QStringLiteral("Login"), Qt::CaseInsensitive) != 0 &&
        request.Method.compare(QStringLiteral("Resume"), Qt::CaseInsensitive) != 0) {
        m_lastRefusal = QStringLiteral("chamada antes do login");
        return fail(QStringLiteral("%1: o servidor de aplicação atende apenas depois do login do operador (Login com operador e senha); "
                                   "entre de novo no sistema.")
                        .arg(QuoteInput(request.Method)));
    }
    const auto it = m_methods.find(request.Method.toLower());
    if (it == m_methods.end())
        return fail(QStringLiteral("O método %1 não existe em %2.").arg(QuoteInput(request.Method), QLatin1String(kRegisteredName)));
    const Method &m = it->second;
    // From here on the method is named as registered, never as the caller spelt it.
    const QString &name = m.Name;
    const size_t given = static_cast<size_t>(request.Args.size());
    if (m.Optional == 0 && given != m.Args.size())
        return fail(QStringLiteral("O método %1 espera %2 argumento(s) e recebeu %3.").arg(name).arg(m.Args.size()).arg(request.Args.size()));
    if (m.Optional > 0 && given != m.Args.size() - m.Optional && given != m.Args.size())
        return fail(QStringLiteral("O método %1 espera %2 ou %3 argumentos e recebeu %4.")
                        .arg(name)
                        .arg(m.Args.size() - m.Optional)
                        .arg(m.Args.size())
                        .arg(request.Args.size()));
    for (size_t i = 0; i < given; ++i) {
        const QVariant &a = request.Args[static_cast<qsizetype>(i)];
        bool ok = false;
        switch (m.Args[i]) {
        case Kind::Text: ok = a.typeId() == QMetaType::QString; break;
        case Kind::Integer: ok = a.typeId() == QMetaType::LongLong || a.typeId() == QMetaType::Int; break;
        case Kind::Bytes: ok = a.typeId() == QMetaType::QByteArray; break;
        case Kind::Double:
            ok = a.typeId() == QMetaType::Double || a.typeId() == QMetaType::Float || a.typeId() == QMetaType::LongLong || a.typeId() == QMetaType::Int;
            break;
        case Kind::Boolean: ok = a.typeId() == QMetaType::Bool; break;
        }
        if (!ok)
            return fail(QStringLiteral("O método %1 espera %2 no argumento %3.").arg(name, kindName(static_cast<int>(m.Args[i]))).arg(i + 1));
    }
    if (!m_db)
        return fail(QStringLiteral("%1: o servidor de aplicação não tem acesso ao banco de dados: %2").arg(name, m_openError));
    try {
        reply.Result = m.Run(request.Args);
    } catch (const EMethodError &e) {
        return fail(QStringLiteral("%1: %2").arg(name, e.Message));
    } catch (const EDatabaseError &e) {
        // The driver's text goes to the server log only.
        m_lastDetail = e.Detail.isEmpty() ? e.Message() : e.Detail;
        m_lastFault = e.Fault;
        return fail(QStringLiteral("%1: %2").arg(name, DatabaseFaultText(e.Fault)));
    } catch (const EHostError &e) {
        return fail(QStringLiteral("%1: %2").arg(name, e.Message()));
    }
    // By-reference arguments go back as they came.
    for (qsizetype i = 0; i < request.Args.size(); ++i)
        if (i < request.ByRef.size() && request.ByRef[i])
            reply.RefValues << request.Args[i];
    m_lastRows = m_sentRows >= 0 ? static_cast<int>(m_sentRows) : countRows(reply.Result);
    return reply;
}

QSqlDatabase TrdmRelLancContReceber::Db() const { return m_db->Database(); }

TDataPacket TrdmRelLancContReceber::Select(const QString &sql, const TParams &params, const std::vector<TPacketField> &shape, const QString &what)
{
    QSqlQuery q = RunStatement(Db(), sql, params, what);
    TDataPacket p;
    p.Fields = shape;
    for (TRecord &row : FetchRecords(q, shape, what))
        p.AddRow(std::move(row));
    return p;
}

QVariant TrdmRelLancContReceber::SelectPacket(const QString &sql, const TParams &params, const std::vector<TPacketField> &shape, const QString &what,
                                              const TRecord &trailing, const std::function<void(const TPacketWriter &)> &afterRow,
                                              const TComputedFields &computed)
{
    QSqlQuery q = RunStatement(Db(), sql, params, what);
    TPacketWriter w(shape);
    if (m_acceptPieces && m_pieceSink)
        w.SendInPieces(m_pieceSink, m_pieceBytes);
    FetchIntoPacket(q, w, what, trailing, afterRow ? std::function<void()>([&] { afterRow(w); }) : std::function<void()>(), TFetchPath::Direct,
                    computed);
    QByteArray packet = w.Finish();
    if (!w.SentPieces())
        return QVariant(std::move(packet));
    m_sentRows = w.RowCount();
    return QVariant(qlonglong(w.RowCount()));
}

QVariant TrdmRelLancContReceber::GetDtVenc()
{
    const TDataPacket venc = Select(QStringLiteral("SELECT QTDIAANTLANR, CDGERALREC, QTDIAAPOLANR FROM PARAMGERALREC ORDER BY CDGERALREC"), {},
                                    {D("QTDIAANTLANR"), S("CDGERALREC", 1), D("QTDIAAPOLANR")}, QStringLiteral("GetDtVenc"));
    const TDataPacket orca = Select(QStringLiteral("SELECT IDEXIBDADORC FROM PARAMGERALORCA ORDER BY CDGERALORCA"), {}, {F("IDEXIBDADORC", 1)},
                                    QStringLiteral("GetDtVenc"));
    return QVariantList{PacketToVariant(venc), PacketToVariant(orca)};
}

QVariant TrdmRelLancContReceber::GetOpEmissao(const QString &screen, const QString &op)
{
    RequireOperator(op, QStringLiteral("opção de emissão"));
    const TDataPacket p = Select(QStringLiteral("SELECT CDTELAPROG, CDOPERADOR, IDUTOPEMIFIN FROM OPCAOEMISSAO "
                                                "WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR"),
                                 textParams({{"CDTELAPROG", screen}, {"CDOPERADOR", op}}),
                                 {S("CDTELAPROG", 10), S("CDOPERADOR", 12), S("IDUTOPEMIFIN", 1)}, QStringLiteral("GetOpEmissao"));
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::SetOpEmissao(const QByteArray &bytes)
{
    TDataPacket delta;
    try {
        // One inserted record, or an original and its change.
        delta = TDataPacket::Decode(bytes, 2);
    } catch (const EPacketError &e) {
        throw EMethodError(QStringLiteral("o delta recebido não é um pacote de dados válido: %1").arg(e.Message()));
    }
    const QStringList expected = {QStringLiteral("CDTELAPROG"), QStringLiteral("CDOPERADOR"), QStringLiteral("IDUTOPEMIFIN")};
    if (delta.Fields.size() != 3)
        throw EMethodError(QStringLiteral("o delta deve ter exatamente os campos %1.").arg(expected.join(QStringLiteral(", "))));
    int col[3];
    for (int i = 0; i < 3; ++i) {
        col[i] = delta.FieldIndex(expected[i]);
        if (col[i] < 0)
            throw EMethodError(QStringLiteral("o delta não tem o campo %1; ele não pertence à opção de emissão.").arg(expected[i]));
        const TFieldType t = delta.Fields[static_cast<size_t>(col[i])].Type;
        if (t != TFieldType::String && t != TFieldType::FixedChar)
            throw EMethodError(QStringLiteral("o campo %1 do delta deve ser texto.").arg(expected[i]));
    }
    auto value = [&](size_t row, int c) { return delta.Rows[row][static_cast<size_t>(col[c])].toString(); };
    const bool insert = delta.Rows.size() == 1 && delta.Kinds[0] == TRowKind::Inserted;
    const bool modify = delta.Rows.size() == 2 && delta.Kinds[0] == TRowKind::Original && delta.Kinds[1] == TRowKind::Modified;
    if (!insert && !modify)
        throw EMethodError(QStringLiteral("o delta deve conter exatamente um registro incluído ou alterado."));
    const size_t r = insert ? 0 : 1;
    const QString screen = value(r, 0), op = value(r, 1), flag = value(r, 2);
    if (modify && (value(0, 0) != screen || value(0, 1) != op))
        throw EMethodError(QStringLiteral("a alteração não pode mudar a tela nem o operador do registro."));
    if (screen != QLatin1String(kScreenCode))
        throw EMethodError(QStringLiteral("o registro é da tela %1; este servidor grava apenas a tela %2.").arg(QuoteInput(screen, 10), QLatin1String(kScreenCode)));
    if (op.trimmed().isEmpty())
        throw EMethodError(QStringLiteral("o registro não informa o operador."));
    RequireOperator(op, QStringLiteral("opção de emissão"));
    if (flag != QStringLiteral("S") && flag != QStringLiteral("N"))
        throw EMethodError(QStringLiteral("a opção de emissão deve ser 'S' ou 'N', recebido %1.").arg(QuoteInput(flag, 4)));

    TTransaction tx(Db());
    const TParams params = textParams({{"CDTELAPROG", screen}, {"CDOPERADOR", op}, {"IDUTOPEMIFIN", flag}});
    try {
        QSqlQuery upd = RunStatement(Db(), QStringLiteral("UPDATE OPCAOEMISSAO SET IDUTOPEMIFIN = :IDUTOPEMIFIN WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR"),
                                     params, QStringLiteral("SetOpEmissao"));
        if (upd.numRowsAffected() <= 0)
            RunStatement(Db(), QStringLiteral("INSERT INTO OPCAOEMISSAO (CDTELAPROG, CDOPERADOR, IDUTOPEMIFIN) VALUES (:CDTELAPROG, :CDOPERADOR, :IDUTOPEMIFIN)"),
                         params, QStringLiteral("SetOpEmissao"));
    } catch (const EDatabaseError &e) {
        // The only reference of the record is its operator.
        if (e.Fault == TDbFault::ForeignKey)
            throw EMethodError(QStringLiteral("o operador %1 não existe; a opção de emissão não foi gravada.").arg(QuoteInput(op, 12)));
        throw;
    }
    tx.Commit();
    return QVariant(true);
}

QVariant TrdmRelLancContReceber::GetFiliLanca(const QString &list, const QString &flag)
{
    const TDataPacket p = Select(QStringLiteral("SELECT CASE WHEN INSTR(:LISTA, CDFILIAL) <> 0 THEN 'S' ELSE 'N' END AS IDMARCADO, "
                                                "CDFILIAL, NMFILIAL, CDFILIAL || ' ' || NMFILIAL AS NOME FROM FILIAL "
                                                "WHERE (INSTR(:LISTA, CDFILIAL) <> 0 OR :TODOS = 'T') "
                                                "AND CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = :OPERADOR) "
                                                "ORDER BY CDFILIAL"),
                                 textParams({{"LISTA", list}, {"TODOS", flag}, {"OPERADOR", m_operator}}),
                                 {F("IDMARCADO", 1), S("CDFILIAL", 4), S("NMFILIAL", 30), S("NOME", 35)}, QStringLiteral("GetFiliLanca"));
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetConsultaServ(const QString &name, const QString &list)
{
    const TParams params = textParams({{"LISTA", list}});
    if (name == QStringLiteral("Cliente"))
        return PacketToVariant(Select(QStringLiteral("SELECT CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE FROM CLIENTE "
                                                     "WHERE INSTR(:LISTA, CDCLIENTE) <> 0 ORDER BY NRINSJURCLIE"),
                                      params,
                                      {S("CDCLIENTE", 21), S("NMFANTCLIE", 50), S("NMRAZSOCCLIE", 100), S("NRINSJURCLIE", 20), S("IDTPIJURCLIE", 1)},
                                      QStringLiteral("GetConsultaServ")));
    if (name == QStringLiteral("TipoConta"))
        return PacketToVariant(Select(QStringLiteral("SELECT CDTPCTRECEB, DSTPCTRECEB, CDTPCTRECEB || ' ' || DSTPCTRECEB AS NOME FROM TIPOCTRECEBER "
                                                     "WHERE INSTR(:LISTA, CDTPCTRECEB) <> 0 ORDER BY CDTPCTRECEB"),
                                      params, {S("CDTPCTRECEB", 6), S("DSTPCTRECEB", 40), S("NOME", 47)}, QStringLiteral("GetConsultaServ")));
    if (name == QStringLiteral("ClassFinanceira"))
        return PacketToVariant(Select(QStringLiteral("SELECT CDCLASSFINA, DSCLASSFINA, CDCLASSFINA || ' ' || DSCLASSFINA AS NOME FROM CLASSFINANC "
                                                     "WHERE INSTR(:LISTA, CDCLASSFINA) <> 0 ORDER BY CDCLASSFINA"),
                                      params, {S("CDCLASSFINA", 6), S("DSCLASSFINA", 30), S("NOME", 37)}, QStringLiteral("GetConsultaServ")));
    throw EMethodError(QStringLiteral("a consulta %1 não existe; use Cliente, TipoConta ou ClassFinanceira.").arg(QuoteInput(name, 32)));
}

QVariant TrdmRelLancContReceber::GetAtivClie(qint64 levels)
{
    TParams pic;
    pic.CreateParam(TParamType::Integer, QStringLiteral("TPPICTURE")).SetValue(16);
    QSqlQuery q = RunStatement(Db(), QStringLiteral("SELECT DSPICTURE FROM PICTURE WHERE TPPICTURE = :TPPICTURE"), pic, QStringLiteral("GetAtivClie"));
    if (!q.next())
        throw EMethodError(QStringLiteral("a máscara do ramo de atividade (tipo 16) não está cadastrada."));
    const TDBPicture picture(q.value(0).toString());
    if (levels < 1)
        throw EMethodError(QStringLiteral("o número de níveis deve ser ao menos 1, recebido %1.").arg(levels));
    const int maxLen = picture.CodeLength(static_cast<int>(std::min<qint64>(levels, picture.GetTtNiveis())));
    TParams params;
    params.CreateParam(TParamType::Integer, QStringLiteral("TAMANHO")).SetValue(maxLen);
    const TDataPacket p = Select(QStringLiteral("SELECT 'N' AS IDMARCADO, CDARVATIVCLI, DSATIVCLI, CDATIVCLI FROM ATIVCLIENTE "
                                                "WHERE LENGTH(CDARVATIVCLI) <= :TAMANHO ORDER BY CDARVATIVCLI"),
                                 params, {F("IDMARCADO", 1), S("CDARVATIVCLI", 20), S("DSATIVCLI", 50), S("CDATIVCLI", 5)}, QStringLiteral("GetAtivClie"));
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetTimeServ()
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("DTATUA"), TFieldType::DateTime, 0, false}};
    p.AddRow({QDateTimeToDateTime(QDateTime::currentDateTime())});
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::SetContext(const QString &dateFormat, const QString &today)
{
    if (!IsShortDatePattern(dateFormat))
        throw EMethodError(QStringLiteral("o formato de data %1 não é um formato curto de data (dia, mês e ano com um separador).")
                               .arg(QuoteInput(dateFormat)));
    std::optional<QDate> day;
    if (!today.isEmpty()) {
        day = QDate::fromString(today, Qt::ISODate);
        if (!day->isValid())
            throw EMethodError(QStringLiteral("a data do host %1 não é uma data AAAA-MM-DD.").arg(QuoteInput(today)));
    }
    m_dateFormat = dateFormat;
    m_hostToday = day;
    return true;
}

QString TrdmRelLancContReceber::RefreshStatistics(const QSqlDatabase &db)
{
    if (db.driverName() != QStringLiteral("QSQLITE"))
        return {}; // PostgreSQL's autovacuum keeps its own
    QSqlQuery q(db);
    qint64 analysed = -1, rows = 0;
    // The first figure of a table's statistics is its row count when they were taken.
    if (q.exec(QStringLiteral("SELECT stat FROM sqlite_stat1 WHERE tbl = 'CONTARECEBER' LIMIT 1")) && q.next())
        analysed = q.value(0).toString().section(QLatin1Char(' '), 0, 0).toLongLong();
    const bool counted = q.exec(QStringLiteral("SELECT COUNT(*) FROM CONTARECEBER")) && q.next();
    if (!counted)
        return QStringLiteral("estatísticas do planejador não verificadas: %1").arg(q.lastError().text());
    rows = q.value(0).toLongLong();
    if (analysed >= 0 && rows <= 2 * analysed + 1000 && analysed <= 2 * rows + 1000)
        return {};
    QElapsedTimer t;
    t.start();
    if (!q.exec(QStringLiteral("ANALYZE")))
        return QStringLiteral("as estatísticas do planejador não puderam ser atualizadas: %1").arg(q.lastError().text());
    return QStringLiteral("estatísticas do planejador atualizadas (%1 contas a receber, antes %2) em %3 ms")
        .arg(rows)
        .arg(analysed < 0 ? QStringLiteral("nenhuma") : QString::number(analysed))
        .arg(t.elapsed());
}

