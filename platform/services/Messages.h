#pragma once
#include <QObject>
#include <QStringList>

// A keyed message table: each line is "key|text".
class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(const QString &name, QObject *parent = nullptr) : QObject(parent) { setObjectName(name); }
    QStringList Messages;
    // The text of the line whose key matches without regard to case; empty when none does.
    QString Msg(const QString &key) const;
};
