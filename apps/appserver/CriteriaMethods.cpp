// Saved criteria of the report screens: each operator's named criteria sets per screen,
// listed, read, saved (a name in use is replaced), deleted and one marked as the default.
#include "appserver/RemoteDataModule.h"
#include "data/Query.h"
#include "data/Quote.h"
#include <QDateTime>
#include <QJsonDocument>
#include <QSqlQuery>

namespace {
constexpr int kMaxName = 60;
constexpr int kMaxScreen = 10;
constexpr int kMaxOperator = 12;
// A screen's criteria are a few kilobytes; anything far larger is not a criteria set.
constexpr qsizetype kMaxJson = 256 * 1024;

TPacketField Str(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::String, size, false}; }

TParams keyParams(const QString &screen, const QString &op, const QString &name = {})
{
    TParams p;
    p.CreateParam(TParamType::String, QStringLiteral("CDTELAPROG")).SetAsString(screen);
    p.CreateParam(TParamType::String, QStringLiteral("CDOPERADOR")).SetAsString(op);
    if (!name.isNull())
        p.CreateParam(TParamType::String, QStringLiteral("NMCRITERIO")).SetAsString(name);
    return p;
}

void checkOwner(const QString &screen, const QString &op)
{
    if (screen.trimmed().isEmpty())
        throw EMethodError(QStringLiteral("informe o código da tela."));
    if (screen.size() > kMaxScreen)
        throw EMethodError(QStringLiteral("o código de tela %1 passa de %2 caracteres.").arg(QuoteInput(screen, 16)).arg(kMaxScreen));
    if (op.trimmed().isEmpty())
        throw EMethodError(QStringLiteral("informe o operador."));
    if (op.size() > kMaxOperator)
        throw EMethodError(QStringLiteral("o operador %1 passa de %2 caracteres.").arg(QuoteInput(op, 16)).arg(kMaxOperator));
}

// Names are kept as typed, without the blanks around them.
QString checkName(const QString &name)
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        throw EMethodError(QStringLiteral("informe o nome dos critérios."));
    if (n.size() > kMaxName)
        throw EMethodError(QStringLiteral("o nome dos critérios passa de %1 caracteres.").arg(kMaxName));
    return n;
}

EMethodError notFound(const QString &screen, const QString &op, const QString &name)
{
    return EMethodError(QStringLiteral("não há critérios salvos com o nome %1 do operador %2 na tela %3.")
                            .arg(QuoteInput(name, kMaxName), QuoteInput(op, kMaxOperator), QuoteInput(screen, kMaxScreen)));
}
} // namespace

void TrdmRelLancContReceber::RegisterCriteriaMethods()
{
    using K = Kind;
    Register(QStringLiteral("GetCriterios"), {K::Text, K::Text}, [this](const QVariantList &a) { return GetCriterios(a[0].toString(), a[1].toString()); });
    Register(QStringLiteral("GetCriterio"), {K::Text, K::Text, K::Text},
             [this](const QVariantList &a) { return GetCriterio(a[0].toString(), a[1].toString(), a[2].toString()); });
    Register(QStringLiteral("SetCriterio"), {K::Text, K::Text, K::Text, K::Text, K::Boolean},
             [this](const QVariantList &a) { return SetCriterio(a[0].toString(), a[1].toString(), a[2].toString(), a[3].toString(), a[4].toBool()); });
    Register(QStringLiteral("DelCriterio"), {K::Text, K::Text, K::Text},
             [this](const QVariantList &a) { return DelCriterio(a[0].toString(), a[1].toString(), a[2].toString()); });
    Register(QStringLiteral("SetCriterioPadrao"), {K::Text, K::Text, K::Text},
             [this](const QVariantList &a) { return SetCriterioPadrao(a[0].toString(), a[1].toString(), a[2].toString()); });
}

// A well-formed screen and operator, and the operator is the one logged in.
void TrdmRelLancContReceber::RequireCriteriaOwner(const QString &screen, const QString &op)
{
    checkOwner(screen, op);
    RequireOperator(op, QStringLiteral("critérios salvos"));
}

QVariant TrdmRelLancContReceber::GetCriterios(const QString &screen, const QString &op)
{
    RequireCriteriaOwner(screen, op);
    return PacketToVariant(Select(QStringLiteral("SELECT NMCRITERIO, IDPADRAO, DTGRAVACAO FROM CRITERIOSALVO "
                                                 "WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR ORDER BY NMCRITERIO"),
                                  keyParams(screen, op), {Str("NMCRITERIO", kMaxName), Str("IDPADRAO", 1), Str("DTGRAVACAO", 19)},
                                  QStringLiteral("GetCriterios")));
}

QVariant TrdmRelLancContReceber::GetCriterio(const QString &screen, const QString &op, const QString &name)
{
    RequireCriteriaOwner(screen, op);
    const QString n = checkName(name);
    QSqlQuery q = RunStatement(Db(), QStringLiteral("SELECT DSCRITERIO FROM CRITERIOSALVO WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR "
                                                    "AND NMCRITERIO = :NMCRITERIO"),
                               keyParams(screen, op, n), QStringLiteral("GetCriterio"));
    if (!q.next())
        throw notFound(screen, op, n);
    return q.value(0).toString();
}

QVariant TrdmRelLancContReceber::SetCriterio(const QString &screen, const QString &op, const QString &name, const QString &json, bool makeDefault)
{
    RequireCriteriaOwner(screen, op);
    const QString n = checkName(name);
    if (json.size() > kMaxJson)
        throw EMethodError(QStringLiteral("os critérios passam de %1 KiB; não foram gravados.").arg(kMaxJson / 1024));
    QJsonParseError perr{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &perr);
    if (perr.error != QJsonParseError::NoError || !doc.isObject())
        throw EMethodError(QStringLiteral("os critérios recebidos não são um objeto JSON válido; não foram gravados."));

    TTransaction tx(Db());
    TParams params = keyParams(screen, op, n);
    params.CreateParam(TParamType::String, QStringLiteral("DSCRITERIO")).SetAsString(json);
    params.CreateParam(TParamType::String, QStringLiteral("DTGRAVACAO"))
        .SetAsString(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    try {
        // A name in use is replaced; it stays the default when it was.
        QSqlQuery upd = RunStatement(Db(), QStringLiteral("UPDATE CRITERIOSALVO SET DSCRITERIO = :DSCRITERIO, DTGRAVACAO = :DTGRAVACAO "
                                                          "WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR AND NMCRITERIO = :NMCRITERIO"),
                                     params, QStringLiteral("SetCriterio"));
        if (upd.numRowsAffected() <= 0)
            RunStatement(Db(), QStringLiteral("INSERT INTO CRITERIOSALVO (CDOPERADOR, CDTELAPROG, NMCRITERIO, DSCRITERIO, IDPADRAO, DTGRAVACAO) "
                                              "VALUES (:CDOPERADOR, :CDTELAPROG, :NMCRITERIO, :DSCRITERIO, 'N', :DTGRAVACAO)"),
                         params, QStringLiteral("SetCriterio"));
    } catch (const EDatabaseError &e) {
        if (e.Fault == TDbFault::ForeignKey)
            throw EMethodError(QStringLiteral("o operador %1 não existe; os critérios não foram gravados.").arg(QuoteInput(op, kMaxOperator)));
        throw;
    }
    if (makeDefault)
        MarkDefault(screen, op, n);
    tx.Commit();
    return QVariant(true);
}

QVariant TrdmRelLancContReceber::DelCriterio(const QString &screen, const QString &op, const QString &name)
{
    RequireCriteriaOwner(screen, op);
    const QString n = checkName(name);
    QSqlQuery del = RunStatement(Db(), QStringLiteral("DELETE FROM CRITERIOSALVO WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR "
                                                      "AND NMCRITERIO = :NMCRITERIO"),
                                 keyParams(screen, op, n), QStringLiteral("DelCriterio"));
    if (del.numRowsAffected() <= 0)
        throw notFound(screen, op, n);
    return QVariant(true);
}

QVariant TrdmRelLancContReceber::SetCriterioPadrao(const QString &screen, const QString &op, const QString &name)
{
    RequireCriteriaOwner(screen, op);
    TTransaction tx(Db());
    // A blank name leaves the operator without a default on the screen.
    if (name.trimmed().isEmpty())
        RunStatement(Db(), QStringLiteral("UPDATE CRITERIOSALVO SET IDPADRAO = 'N' WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR"),
                     keyParams(screen, op), QStringLiteral("SetCriterioPadrao"));
    else
        MarkDefault(screen, op, checkName(name));
    tx.Commit();
    return QVariant(true);
}

void TrdmRelLancContReceber::MarkDefault(const QString &screen, const QString &op, const QString &name)
{
    QSqlQuery found = RunStatement(Db(), QStringLiteral("SELECT 1 FROM CRITERIOSALVO WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR "
                                                        "AND NMCRITERIO = :NMCRITERIO"),
                                   keyParams(screen, op, name), QStringLiteral("SetCriterioPadrao"));
    if (!found.next())
        throw notFound(screen, op, name);
    RunStatement(Db(), QStringLiteral("UPDATE CRITERIOSALVO SET IDPADRAO = CASE WHEN NMCRITERIO = :NMCRITERIO THEN 'S' ELSE 'N' END "
                                      "WHERE CDTELAPROG = :CDTELAPROG AND CDOPERADOR = :CDOPERADOR"),
                 keyParams(screen, op, name), QStringLiteral("SetCriterioPadrao"));
}
