#include "services/Consiste.h"
#include "data/DateTime.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include "services/MessagePresenter.h"
#include <QWidget>

void MensErro(const QString &text, bool abort)
{
    MessagePresenter().ShowError(text);
    if (abort)
        throw EAbort();
}

QVariant CheckResultServ(const QVariant &result)
{
    if (IsRemoteFailure(result)) {
        const TRemoteFailure f = ToRemoteFailure(result);
        MensErro(f.Message, true);
    }
    return result;
}

bool EmptyString(const QString &text) { return text.trimmed().isEmpty(); }

QString Ajusta(const QString &text, int width)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return t;
    return t.rightJustified(width, QLatin1Char('0'));
}

bool MaxNumber(const QString &text, int intDigits, int decDigits, QString &key, int selStart, int selLength)
{
    if (key.isEmpty() || key.at(0).unicode() < 0x20)
        return true; // editing keys and the null character pass
    const QChar dec = FormatSettings().DecimalSeparator;
    const QChar thou = FormatSettings().ThousandSeparator;
    const QChar k = key.at(0);
    auto refuse = [&key] {
        key = QString(QChar(0));
        return false;
    };
    if (!k.isDigit() && k != dec)
        return refuse();
    selStart = std::clamp(selStart, 0, static_cast<int>(text.size()));
    selLength = std::clamp(selLength, 0, static_cast<int>(text.size()) - selStart);
    QString candidate = text.left(selStart) + key + text.mid(selStart + selLength);
    candidate.remove(thou);
    const QStringList parts = candidate.split(dec);
    if (parts.size() > 2)
        return refuse();
    auto digits = [](const QString &s) {
        int n = 0;
        for (QChar c : s)
            if (c.isDigit())
                ++n;
        return n;
    };
    if (digits(parts[0]) > intDigits)
        return refuse();
    if (parts.size() == 2 && digits(parts[1]) > decDigits)
        return refuse();
    return true;
}

QString PictPess(const QString &personType)
{
    const QString t = personType.trimmed().toUpper();
    if (t == QStringLiteral("F"))
        return QStringLiteral("999.999.999-99;0; ");
    if (t == QStringLiteral("J"))
        return QStringLiteral("99.999.999/9999-99;0; ");
    return {};
}

void SetChildEnabled(QWidget *container, bool enabled)
{
    if (!container)
        return;
    container->setEnabled(enabled);
    const auto children = container->findChildren<QWidget *>();
    for (QWidget *w : children)
        w->setEnabled(enabled);
}

QString FormatMaskText(const QString &mask, const QString &value)
{
    // Split "edit mask;save literals;blank", honouring "\" escapes in the mask part.
    QString editMask;
    QString rest;
    bool escaped = false;
    qsizetype i = 0;
    for (; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (!escaped && c == QLatin1Char(';'))
            break;
        escaped = !escaped && c == QLatin1Char('\\');
        editMask += c;
    }
    if (i < mask.size())
        rest = mask.mid(i + 1);
    const QStringList opts = rest.split(QLatin1Char(';'));
    const bool saveLiterals = rest.isEmpty() || opts.value(0) != QStringLiteral("0");
    const QChar blank = opts.size() > 1 && !opts[1].isEmpty() ? opts[1].at(0) : QLatin1Char('_');
    if (editMask.isEmpty())
        return value;

    const QString placeholders = QStringLiteral("LlAaCc09#");
    QString out;
    qsizetype v = 0;
    int caseMode = 0; // 1 upper, -1 lower
    for (qsizetype m = 0; m < editMask.size(); ++m) {
        QChar c = editMask.at(m);
        if (c == QLatin1Char('!'))
            continue;
        if (c == QLatin1Char('>')) {
            caseMode = 1;
            continue;
        }
        if (c == QLatin1Char('<')) {
            if (m + 1 < editMask.size() && editMask.at(m + 1) == QLatin1Char('>')) {
                caseMode = 0;
                ++m;
            } else {
                caseMode = -1;
            }
            continue;
        }
        bool literal = true;
        if (c == QLatin1Char('\\') && m + 1 < editMask.size()) {
            c = editMask.at(++m);
        } else if (placeholders.contains(c)) {
            literal = false;
        }
        if (literal) {
            out += c;
            if (saveLiterals && v < value.size() && value.at(v) == c)
                ++v;
            continue;
        }
        QChar ch = v < value.size() ? value.at(v++) : blank;
        if (caseMode > 0)
            ch = ch.toUpper();
        else if (caseMode < 0)
            ch = ch.toLower();
        out += ch;
    }
    return out;
}
