#include "data/RemoteResult.h"

QVariant RemoteFailure(const QString &method, const QString &message)
{
    return QVariant::fromValue(TRemoteFailure{method, message});
}

bool IsRemoteFailure(const QVariant &result) { return result.metaType() == QMetaType::fromType<TRemoteFailure>(); }

TRemoteFailure ToRemoteFailure(const QVariant &result) { return result.value<TRemoteFailure>(); }
