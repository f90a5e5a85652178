#include "appserver/Sessions.h"
#include <QCryptographicHash>
#include <QRandomGenerator>
#include <algorithm>

namespace {
QByteArray key(const QString &ticket) { return QCryptographicHash::hash(ticket.toLatin1(), QCryptographicHash::Sha256); }
} // namespace

TSessionStore::TSessionStore(std::chrono::milliseconds idle, size_t capacity) : m_idle(idle), m_capacity(std::max<size_t>(capacity, 1)) {}

void TSessionStore::DropExpired(std::chrono::steady_clock::time_point now)
{
    std::erase_if(m_entries, [&](const auto &e) { return now - e.second.LastUse > m_idle; });
}

QString TSessionStore::Open(const QString &op, const QString &passwordHash)
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    const QString ticket = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(words), sizeof words).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    DropExpired(now);
    if (m_entries.size() >= m_capacity) {
        // Full: the session unused the longest gives way.
        const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                             [](const auto &a, const auto &b) { return a.second.LastUse < b.second.LastUse; });
        m_entries.erase(oldest);
    }
    m_entries[key(ticket)] = Entry{op, passwordHash, now};
    return ticket;
}

bool TSessionStore::Check(const QString &op, const QString &ticket, const QString &passwordHash)
{
    if (ticket.size() != kTicketLength)
        return false;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key(ticket));
    if (it == m_entries.end())
        return false;
    if (now - it->second.LastUse > m_idle || it->second.PasswordHash != passwordHash) {
        m_entries.erase(it);
        return false;
    }
    if (it->second.Operator != op)
        return false;
    it->second.LastUse = now;
    return true;
}

size_t TSessionStore::Count()
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}
