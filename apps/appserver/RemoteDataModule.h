#pragma once
#include "appserver/Sessions.h"
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/Query.h"
#include "data/SqlBuilder.h"
#include "net/Wire.h"
#include "server/ServerObject.h"
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The remote data module registered as kServerObject: the custom methods the
// receivables screen calls, each answered from the business database.
class TrdmRelLancContReceber {
public:
    static constexpr const char *kRegisteredName = kServerObject;
    static constexpr const char *kScreenCode = kServerScreen;

    // db may be null when the worker could not open the database; every call
    // then fails with openError.
    TrdmRelLancContReceber(TdtmDBGeral *db, QString openError = {});
    // The server's sessions: with them a password login answers with a ticket that
    // Resume accepts on further connections; without them Login answers true.
    void SetSessions(std::shared_ptr<TSessionStore> sessions) { m_sessions = std::move(sessions); }

    // Runs one request; a bad request or a failing method gives a failure reply.
    Wire::Reply Dispatch(const Wire::Request &request);
    // Rows of the last reply's payload, for the call log.
    int LastRows() const { return m_lastRows; }
    // The database driver's text of the last failure, for the server log only.
    const QString &LastDetail() const { return m_lastDetail; }
    // Why the last request was refused (login, access), for the server log; never a password.
    const QString &LastRefusal() const { return m_lastRefusal; }
    // The operator logged in on this connection; empty before a successful Login.
    const QString &Operator() const { return m_operator; }
    // True once too many logins in a row failed: the connection is to be closed.
    bool CloseRequested() const { return m_closeRequested; }
    static constexpr int kMaxFailedLogins = 5;

    // What is wrong with a database that cannot keep the operators' passwords; empty when nothing.
    static QString AccessSchemaProblem(const QSqlDatabase &db);
    // SQLite plans from the statistics ANALYZE keeps in the file; one without them, or whose
    // receivables grew or shrank more than twofold since, gets them anew. Returns a line for the
    // log, empty when nothing was needed; a failure is told there, the statements run without them.
    static QString RefreshStatistics(const QSqlDatabase &db);
    // The kind of database fault that failed the last call, if one did.
    std::optional<TDbFault> LastFault() const { return m_lastFault; }
    // The connection the next calls use; null fails them with reason.
    void SetDatabase(TdtmDBGeral *db, QString reason = {})
    {
        m_db = db;
        m_openError = std::move(reason);
    }
    // What the last call did that the server log should show; empty when nothing.
    const QString &LastNote() const { return m_lastNote; }
    // Where a large packet goes while it is written, on a connection whose client asked for
    // pieces; the method's result is then the packet's row count. A sink that cannot
    // deliver raises EHostError, which fails the call.
    void SetPieceSink(std::function<void(QByteArrayView)> sink, qsizetype pieceBytes)
    {
        m_pieceSink = std::move(sink);
        m_pieceBytes = pieceBytes;
    }

private:
    enum class Kind { Text, Integer, Bytes, Double, Boolean };
    struct Method {
        QString Name;
        std::vector<Kind> Args;
        std::function<QVariant(const QVariantList &)> Run;
        size_t Optional = 0; // trailing arguments a caller may leave off
    };
    void Register(const QString &name, std::vector<Kind> args, std::function<QVariant(const QVariantList &)> run, size_t optional = 0);
    TDataPacket Select(const QString &sql, const TParams &params, const std::vector<TPacketField> &shape, const QString &what);
    // The rows written straight into an encoded packet; `trailing` ends every row. When the
    // client takes pieces, a large packet leaves while it is written and its row count is
    // returned instead: the result must be the method's own.
    QVariant SelectPacket(const QString &sql, const TParams &params, const std::vector<TPacketField> &shape, const QString &what,
                          const TRecord &trailing = {}, const std::function<void(const TPacketWriter &)> &afterRow = {},
                          const TComputedFields &computed = {});
    QSqlDatabase Db() const;

    // Login (AccessMethods.cpp): the connection's operator and what that operator may see.
    QVariant Login(const QString &op, const QString &password);
    // Login with the ticket of a session a password login opened.
    QVariant Resume(const QString &op, const QString &ticket);
    void RequireNoLogin(const QString &op);
    // The operator's stored password hash; none when the operator does not exist.
    std::optional<QString> StoredPasswordHash(const QString &op, const QString &what);
    QVariant LoggedIn(const QString &op, const QVariant &answer);
    [[noreturn]] void RefuseLogin(const QString &reason, const QString &replyText);
    [[noreturn]] void Refuse(const QString &logReason, const QString &replyText);
    // Refuses a request that names an operator other than the one logged in.
    void RequireOperator(const QString &op, const QString &what);
    void RequireCriteriaOwner(const QString &screen, const QString &op);

    QVariant GetDtVenc();
    QVariant GetOpEmissao(const QString &screen, const QString &op);
    QVariant SetOpEmissao(const QByteArray &delta);
    QVariant GetFiliLanca(const QString &list, const QString &flag);
    QVariant GetConsultaServ(const QString &name, const QString &list);
    QVariant GetAtivClie(qint64 levels);
    QVariant GetTimeServ();
    // The host's short-date format and date, which the date texts of later calls follow.
    QVariant SetContext(const QString &dateFormat, const QString &today);

    // ABC curve (CurveMethods.cpp).
    void RegisterCurveMethods();
    QVariant GetPercentual();
    QVariant GetStatus(const QVariantList &args);
    QVariant GetCurvaABC(const QVariantList &args);
    QVariant GetTotal(const QVariantList &args);
    // A token that changes whenever the data this connection reads may have
    // changed (committed by any connection, this one included).
    QString DataVersion();
    // True when nothing the curve's totals read has changed since `version` was read.
    bool DataUnchangedSince(const QString &version);
    void ForgetOldChanges();
    // Whether no two company codes come out the same in a two-character field.
    bool CompanyCodesDistinct();

    // Saved criteria (CriteriaMethods.cpp): an operator's named criteria sets per screen.
    void RegisterCriteriaMethods();
    QVariant GetCriterios(const QString &screen, const QString &op);
    QVariant GetCriterio(const QString &screen, const QString &op, const QString &name);
    QVariant SetCriterio(const QString &screen, const QString &op, const QString &name, const QString &json, bool makeDefault);
    QVariant DelCriterio(const QString &screen, const QString &op, const QString &name);
    QVariant SetCriterioPadrao(const QString &screen, const QString &op, const QString &name);
    void MarkDefault(const QString &screen, const QString &op, const QString &name);

    TdtmDBGeral *m_db;
    QString m_openError;
    std::map<QString, Method> m_methods; // keyed by lower-case name
    int m_lastRows = 0;
    qint64 m_sentRows = -1; // rows of the packet the last call sent in pieces
    bool m_acceptPieces = false;
    std::function<void(QByteArrayView)> m_pieceSink;
    qsizetype m_pieceBytes = 0;
    QString m_lastDetail;
    QString m_lastRefusal;
    QString m_operator;
    int m_failedLogins = 0;
    bool m_closeRequested = false;
    std::optional<TDbFault> m_lastFault;
    std::shared_ptr<TSessionStore> m_sessions;
    QString m_lastNote;
    QString m_dateFormat = QStringLiteral("dd/MM/yyyy");
    std::optional<QDate> m_hostToday;
    // The per-company totals of this connection's last curve: the GetTotal
    // answer for the same filter while the data has not changed since.
    struct TCurveTotals {
        // The database connection they were read on; versions of another say nothing.
        const TdtmDBGeral *Db = nullptr;
        quint64 Opens = 0;
        TSqlBuilder Filter;
        QString Version;
        QByteArray Packet;
    };
    std::optional<TCurveTotals> m_curveTotals;
};

// A method that refuses its input raises this; its text goes back to the caller.
class EMethodError : public std::runtime_error {
public:
    explicit EMethodError(const QString &message) : std::runtime_error(message.toStdString()), Message(message) {}
    QString Message;
};
