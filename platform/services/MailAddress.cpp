#include "services/MailAddress.h"
#include <QRegularExpression>

bool IsMailAddress(const QString &address)
{
    // The local part's characters of RFC 5321's atoms, dots between them; the domain's labels.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(\\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)*"
                                                         "@[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    return address.size() <= 254 && address.indexOf(QLatin1Char('@')) <= 64 && plain.match(address).hasMatch();
}

bool ParseMailAddresses(const QStringList &items, QStringList &addresses, QString &error)
{
    addresses.clear();
    for (const QString &item : items)
        for (const QString &part : item.split(QLatin1Char(','))) {
            const QString address = part.trimmed();
            if (address.isEmpty())
                continue;
            if (!IsMailAddress(address)) {
                error = QStringLiteral("o endereço de e-mail '%1' não serve: use nome@dominio, sem espaços, aspas nem quebras de linha, "
                                       "e separe os endereços por vírgulas")
                            .arg(VisibleText(address));
                return false;
            }
            if (!addresses.contains(address, Qt::CaseInsensitive))
                addresses << address;
        }
    if (addresses.isEmpty()) {
        error = QStringLiteral("informe ao menos um endereço de e-mail (nome@dominio)");
        return false;
    }
    return true;
}

bool HasControlCharacter(const QString &text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    return false;
}

QString VisibleText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
