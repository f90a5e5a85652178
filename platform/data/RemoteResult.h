#pragma once
#include <QMetaType>
#include <QString>
#include <QVariant>

// The result of a remote call that failed; travels in place of the payload.
struct TRemoteFailure {
    QString Method;
    QString Message;
};
Q_DECLARE_METATYPE(TRemoteFailure)

QVariant RemoteFailure(const QString &method, const QString &message);
bool IsRemoteFailure(const QVariant &result);
TRemoteFailure ToRemoteFailure(const QVariant &result);
