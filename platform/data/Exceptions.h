#pragma once
#include <QString>
#include <QByteArray>
#include <exception>

// Base of every error the host libraries raise: a text a person can act on.
class EHostError : public std::exception {
public:
    explicit EHostError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &Message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// What kind of database failure an error is, where the driver tells.
enum class TDbFault { Other, ForeignKey, Unique, Check, NotNull, Connection };

// Raised by data sets, fields, parameters and queries.
class EDatabaseError : public EHostError {
public:
    explicit EDatabaseError(QString message, TDbFault fault = TDbFault::Other, QString detail = {})
        : EHostError(std::move(message)), Fault(fault), Detail(std::move(detail))
    {
    }
    TDbFault Fault;
    // The driver's own text, for logs.
    QString Detail;
};

// Raised when a data packet cannot be read.
class EPacketError : public EHostError {
public:
    using EHostError::EHostError;
};

// The silent abort: ends the running user action without a message of its own.
class EAbort : public std::exception {
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};
