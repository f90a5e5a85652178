#include "data/Quote.h"

namespace {
bool isControl(char16_t c) { return c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029; }

void appendEscaped(QString &out, QChar ch)
{
    const char16_t c = ch.unicode();
    switch (c) {
    case u'\n': out += QStringLiteral("\\n"); return;
    case u'\r': out += QStringLiteral("\\r"); return;
    case u'\t': out += QStringLiteral("\\t"); return;
    case u'\\': out += QStringLiteral("\\\\"); return;
    default: break;
    }
    if (isControl(c))
        out += QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
    else
        out += ch;
}
} // namespace

QString EscapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (!isControl(ch.unicode()))
            out += ch;
        else
            appendEscaped(out, ch);
    }
    return out;
}

QString QuoteInput(const QString &text, int maxChars)
{
    QString out = QStringLiteral("'");
    const qsizetype n = std::min<qsizetype>(text.size(), maxChars);
    for (qsizetype i = 0; i < n; ++i)
        appendEscaped(out, text.at(i));
    out += QLatin1Char('\'');
    if (text.size() > maxChars)
        out += QStringLiteral("… (%1 caracteres)").arg(text.size());
    return out;
}
