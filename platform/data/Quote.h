#pragma once
#include <QString>

// Caller input as it may appear in a log line or an error text: quoted, with
// line breaks and other control characters escaped, cut to a short length.
QString QuoteInput(const QString &text, int maxChars = 64);
// Escapes the control characters of a whole line so it stays one line.
QString EscapeControls(const QString &text);
