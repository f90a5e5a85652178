#pragma once
#include <QString>
#include <QStringList>

// A plain address (name@domain.example), ASCII, no spaces, quotes, brackets or line breaks:
// what goes into a message's envelope and its To header as it is.
bool IsMailAddress(const QString &address);
// The addresses of a list separated by commas (and items of the list, each such a list);
// false with a message naming the first that does not serve.
bool ParseMailAddresses(const QStringList &items, QStringList &addresses, QString &error);
// A text shown in a message with its control characters made visible (\r, \n, \xNN).
QString VisibleText(const QString &text);
// Whether a text holds a control character (a line break, a tab, ...).
bool HasControlCharacter(const QString &text);
