#pragma once
#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <mutex>

// The sessions that password logins opened. A session's ticket lets further
// connections of the same operator in without the password's deliberately slow
// check, for as long as the ticket is used and the stored password is unchanged.
class TSessionStore {
public:
    explicit TSessionStore(std::chrono::milliseconds idle = std::chrono::hours(12), size_t capacity = 10000);
    // A new ticket for the operator, valid while passwordHash stays the stored one.
    QString Open(const QString &op, const QString &passwordHash);
    // Whether the ticket is the operator's, unexpired, and issued under the stored hash;
    // a good ticket's idle time starts again.
    bool Check(const QString &op, const QString &ticket, const QString &passwordHash);
    size_t Count();
    // Ticket text: 32 random bytes in base64url, without padding.
    static constexpr int kTicketLength = 43;

private:
    struct Entry {
        QString Operator;
        QString PasswordHash;
        std::chrono::steady_clock::time_point LastUse;
    };
    void DropExpired(std::chrono::steady_clock::time_point now);
    const std::chrono::milliseconds m_idle;
    const size_t m_capacity;
    std::mutex m_mutex;
    std::map<QByteArray, Entry> m_entries; // keyed by the ticket's SHA-256, never the ticket
};
