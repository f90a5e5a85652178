// The connection's login and the checks that keep each operator to their own data.
#include "appserver/RemoteDataModule.h"
#include "data/Query.h"
#include "data/Quote.h"
#include "net/PasswordHash.h"
#include <QSqlQuery>
#include <optional>

namespace {
constexpr int kMaxOperator = 12;
// PBKDF2 runs the password through HMAC on every round; a long one would cost the server dearly.
constexpr int kMaxPassword = 256;
} // namespace

QString TrdmRelLancContReceber::AccessSchemaProblem(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT SENHAHASH FROM OPERADOR WHERE 1 = 0")))
        return {};
    return QStringLiteral("o banco de dados não guarda as senhas dos operadores (falta a coluna SENHAHASH da tabela OPERADOR); "
                          "recrie-o com rec-demo-db --replace ou acrescente a coluna e cadastre as senhas.");
}

void TrdmRelLancContReceber::Refuse(const QString &logReason, const QString &replyText)
{
    m_lastRefusal = logReason;
    throw EMethodError(replyText);
}

void TrdmRelLancContReceber::RequireOperator(const QString &op, const QString &what)
{
    if (op != m_operator)
        Refuse(QStringLiteral("%1 do operador %2 pedida pelo operador %3").arg(what, QuoteInput(op, kMaxOperator), m_operator),
               QStringLiteral("acesso recusado (%1 do operador %2): esta conexão é do operador %3, e cada operador tem acesso apenas aos próprios dados.")
                   .arg(what, QuoteInput(op, kMaxOperator), m_operator));
}

std::optional<QString> TrdmRelLancContReceber::StoredPasswordHash(const QString &op, const QString &what)
{
    TParams params;
    params.CreateParam(TParamType::String, QStringLiteral("CDOPERADOR")).SetAsString(op);
    std::optional<QSqlQuery> q;
    try {
        q.emplace(RunStatement(Db(), QStringLiteral("SELECT SENHAHASH FROM OPERADOR WHERE CDOPERADOR = :CDOPERADOR"), params, what));
    } catch (const EDatabaseError &) {
        const QString problem = AccessSchemaProblem(Db());
        if (problem.isEmpty())
            throw;
        Refuse(problem, QStringLiteral("não foi possível conferir a senha: ") + problem);
    }
    if (!q->next())
        return std::nullopt;
    return q->value(0).isNull() ? QString() : q->value(0).toString();
}

void TrdmRelLancContReceber::RequireNoLogin(const QString &op)
{
    if (!m_operator.isEmpty())
        Refuse(QStringLiteral("novo login (%1) numa conexão já aberta por %2").arg(QuoteInput(op, kMaxOperator), m_operator),
               QStringLiteral("esta conexão já entrou como %1; para outro operador abra outra conexão.").arg(m_operator));
}

QVariant TrdmRelLancContReceber::LoggedIn(const QString &op, const QVariant &answer)
{
    m_operator = op;
    m_failedLogins = 0;
    return answer;
}

void TrdmRelLancContReceber::RefuseLogin(const QString &reason, const QString &replyText)
{
    ++m_failedLogins;
    if (m_failedLogins >= kMaxFailedLogins) {
        m_closeRequested = true;
        Refuse(QStringLiteral("%1; %2 logins recusados seguidos, conexão encerrada").arg(reason).arg(m_failedLogins),
               QStringLiteral("%1 Depois de %2 tentativas recusadas seguidas o servidor de aplicação encerrou a conexão.").arg(replyText).arg(m_failedLogins));
    }
    Refuse(QStringLiteral("%1 (tentativa %2 de %3)").arg(reason).arg(m_failedLogins).arg(kMaxFailedLogins), replyText);
}

QVariant TrdmRelLancContReceber::Login(const QString &op, const QString &password)
{
    RequireNoLogin(op);
    QString reason;
    QString stored;
    if (op.isEmpty() || op.size() > kMaxOperator)
        reason = QStringLiteral("operador vazio ou longo demais");
    else if (password.size() > kMaxPassword)
        reason = QStringLiteral("senha de mais de %1 caracteres para o operador %2").arg(kMaxPassword).arg(QuoteInput(op, kMaxOperator));
    if (reason.isEmpty()) {
        const std::optional<QString> hash = StoredPasswordHash(op, QStringLiteral("Login"));
        if (!hash) {
            PasswordHash::Waste(password);
            reason = QStringLiteral("operador %1 não cadastrado").arg(QuoteInput(op, kMaxOperator));
        } else if (hash->isEmpty()) {
            PasswordHash::Waste(password);
            reason = QStringLiteral("operador %1 sem senha cadastrada").arg(op);
        } else if (!PasswordHash::WellFormed(*hash)) {
            PasswordHash::Waste(password);
            reason = QStringLiteral("a senha cadastrada do operador %1 não está no formato pbkdf2-sha256$ITERAÇÕES$SAL$HASH").arg(op);
        } else if (!PasswordHash::Verify(password, *hash)) {
            reason = QStringLiteral("senha incorreta do operador %1").arg(op);
        }
        if (hash)
            stored = *hash;
    }
    if (!reason.isEmpty())
        RefuseLogin(reason, QStringLiteral("operador ou senha inválidos."));
    // The answer is the session's ticket, for the operator's further connections.
    return LoggedIn(op, m_sessions ? QVariant(m_sessions->Open(op, stored)) : QVariant(true));
}

QVariant TrdmRelLancContReceber::Resume(const QString &op, const QString &ticket)
{
    RequireNoLogin(op);
    QString reason;
    if (op.isEmpty() || op.size() > kMaxOperator) {
        reason = QStringLiteral("operador vazio ou longo demais");
    } else if (!m_sessions) {
        reason = QStringLiteral("sessão do operador %1 apresentada a um servidor sem sessões").arg(QuoteInput(op, kMaxOperator));
    } else {
        // The stored password is read again: a changed password or a removed operator ends the sessions.
        const std::optional<QString> hash = StoredPasswordHash(op, QStringLiteral("Resume"));
        if (!hash || hash->isEmpty() || !m_sessions->Check(op, ticket, *hash))
            reason = QStringLiteral("sessão inválida ou expirada do operador %1").arg(QuoteInput(op, kMaxOperator));
    }
    if (!reason.isEmpty())
        RefuseLogin(reason, QStringLiteral("sessão inválida ou expirada; entre com a senha."));
    return LoggedIn(op, QVariant(true));
}
