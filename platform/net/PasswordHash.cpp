#include "net/PasswordHash.h"
#include <QByteArray>
#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace {
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
const QLatin1String kScheme("pbkdf2-sha256");

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations, kHashBytes);
}

struct Parsed {
    int Iterations = 0;
    QByteArray Salt;
    QByteArray Hash;
};

bool parse(const QString &stored, Parsed &out)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts[0] != kScheme)
        return false;
    bool ok = false;
    out.Iterations = parts[1].toInt(&ok);
    if (!ok || out.Iterations < PasswordHash::kMinIterations || out.Iterations > PasswordHash::kMaxIterations)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto hash = QByteArray::fromBase64Encoding(parts[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !hash || salt.decoded.size() < 8 || hash.decoded.size() != kHashBytes)
        return false;
    out.Salt = salt.decoded;
    out.Hash = hash.decoded;
    return true;
}

// Compares every byte whatever the first difference, so the time says nothing of where it is.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
} // namespace

namespace PasswordHash {

QString Make(const QString &password, int iterations)
{
    QByteArray salt;
    for (int i = 0; i < kSaltBytes / 4; ++i) {
        const quint32 word = QRandomGenerator::system()->generate();
        salt.append(reinterpret_cast<const char *>(&word), sizeof word);
    }
    return QStringLiteral("%1$%2$%3$%4")
        .arg(kScheme)
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(derive(password, salt, iterations).toBase64()));
}

bool WellFormed(const QString &stored)
{
    Parsed p;
    return parse(stored, p);
}

bool Verify(const QString &password, const QString &stored)
{
    Parsed p;
    if (!parse(stored, p))
        return false;
    return sameBytes(derive(password, p.Salt, p.Iterations), p.Hash);
}

void Waste(const QString &password) { derive(password, QByteArray(kSaltBytes, '\0'), kIterations); }

} // namespace PasswordHash
