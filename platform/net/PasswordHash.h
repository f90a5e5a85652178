#pragma once
#include <QString>

// Operators' passwords as stored in OPERADOR.SENHAHASH:
// "pbkdf2-sha256$ITERATIONS$SALT$HASH", salt and hash in base64.
namespace PasswordHash {
constexpr int kIterations = 100000;
constexpr int kMinIterations = 1000;
constexpr int kMaxIterations = 5000000;

// A new stored text for the password, with a random salt.
QString Make(const QString &password, int iterations = kIterations);
// Whether the stored text has the form above with bounds a server can afford.
bool WellFormed(const QString &stored);
// Whether the password matches the stored text; false for a malformed text.
bool Verify(const QString &password, const QString &stored);
// Costs what a Verify costs, so that an unknown operator takes as long to refuse.
void Waste(const QString &password);
} // namespace PasswordHash
