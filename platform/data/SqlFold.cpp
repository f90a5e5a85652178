#include "data/SqlFold.h"
#include "data/SqlBuilder.h"
#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace {

enum class TTruth { True, False, Unknown };

struct TPart {
    TTruth Truth = TTruth::Unknown;
    QString Text;
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char(':') || c == QLatin1Char('.'); }

// The index just past a quoted text or identifier starting at i (doubled quotes stay inside);
// -1 when it is not closed.
qsizetype pastQuote(QStringView s, qsizetype i)
{
    const QChar q = s[i];
    for (qsizetype j = i + 1; j < s.size(); ++j) {
        if (s[j] != q)
            continue;
        if (j + 1 < s.size() && s[j + 1] == q) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return -1;
}

// The index of the parenthesis closing the one at `open`; -1 when there is none.
qsizetype closing(QStringView s, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < s.size();) {
        const QChar c = s[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            i = pastQuote(s, i);
            if (i < 0)
                return -1;
            continue;
        }
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')') && --depth == 0)
            return i;
        ++i;
    }
    return -1;
}

// Whether the keyword stands as a word of its own at i.
bool wordAt(QStringView s, qsizetype i, QLatin1StringView word)
{
    if (i > 0 && isWordChar(s[i - 1]))
        return false;
    if (i + word.size() > s.size() || s.mid(i, word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    return i + word.size() == s.size() || !isWordChar(s[i + word.size()]);
}

// The word that ends just before i, spaces skipped; empty when a sign stands there.
QStringView wordBefore(QStringView s, qsizetype i, QChar *sign)
{
    qsizetype end = i;
    while (end > 0 && s[end - 1].isSpace())
        --end;
    qsizetype start = end;
    while (start > 0 && isWordChar(s[start - 1]))
        --start;
    *sign = start == end && end > 0 ? s[end - 1] : QChar();
    return s.mid(start, end - start);
}

bool isSubquery(QStringView inner)
{
    const QStringView t = inner.trimmed();
    return wordAt(t, 0, QLatin1StringView("SELECT")) || wordAt(t, 0, QLatin1StringView("WITH")) || wordAt(t, 0, QLatin1StringView("VALUES"));
}

// The parts of s between the keyword where it stands outside parentheses, quotes and CASE ...
// END; the AND of a BETWEEN does not part. A comma outside parentheses gives nothing: s is a
// list, not a condition.
std::optional<QList<QStringView>> split(QStringView s, QLatin1StringView keyword)
{
    QList<QStringView> parts;
    int depth = 0, cases = 0;
    bool between = false;
    qsizetype from = 0;
    for (qsizetype i = 0; i < s.size();) {
        const QChar c = s[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            i = pastQuote(s, i);
            if (i < 0)
                return std::nullopt;
            continue;
        }
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (depth == 0 && c == QLatin1Char(','))
            return std::nullopt;
        else if (depth == 0 && c.isLetter() && (i == 0 || !isWordChar(s[i - 1]))) {
            if (wordAt(s, i, QLatin1StringView("CASE")))
                ++cases;
            else if (cases > 0 && wordAt(s, i, QLatin1StringView("END")))
                --cases;
            else if (wordAt(s, i, QLatin1StringView("BETWEEN")))
                between = true;
            else if (cases == 0 && wordAt(s, i, keyword)) {
                if (keyword == QLatin1StringView("AND") && between) {
                    between = false;
                } else {
                    parts << s.mid(from, i - from);
                    from = i + keyword.size();
                }
            }
            while (i < s.size() && isWordChar(s[i]))
                ++i;
            continue;
        }
        ++i;
    }
    parts << s.mid(from);
    return parts;
}

class TFolder {
public:
    TFolder(const TParams &params, TDBKind kind) : m_params(params), m_kind(kind) {}

    // s with every parenthesised condition in it folded.
    QString Text(QStringView s)
    {
        QString out;
        out.reserve(s.size());
        for (qsizetype i = 0; i < s.size();) {
            const QChar c = s[i];
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                const qsizetype j = pastQuote(s, i);
                out += s.mid(i, j - i);
                i = j;
                continue;
            }
            if (c != QLatin1Char('(')) {
                out += c;
                ++i;
                continue;
            }
            const qsizetype j = closing(s, i);
            const QStringView inner = s.mid(i + 1, j - i - 1);
            QChar sign;
            const QStringView before = wordBefore(s, i, &sign);
            static const QStringList conditionWords{QStringLiteral("AND"), QStringLiteral("OR"),   QStringLiteral("NOT"),  QStringLiteral("WHERE"),
                                                    QStringLiteral("ON"),  QStringLiteral("WHEN"), QStringLiteral("THEN"), QStringLiteral("ELSE"),
                                                    QStringLiteral("HAVING")};
            const bool condition = before.isEmpty() ? sign == QLatin1Char('(') : conditionWords.contains(before.toString(), Qt::CaseInsensitive);
            out += QLatin1Char('(');
            out += condition ? Group(inner).Text : Text(inner);
            out += QLatin1Char(')');
            i = j + 1;
        }
        return out;
    }

    const TParams &Params() const { return m_params; }

private:
    static QString Constant(TTruth t) { return t == TTruth::True ? QStringLiteral("1 = 1") : QStringLiteral("0 = 1"); }

    // The inside of a parenthesised condition, its truth written out when it is decided.
    TPart Group(QStringView inner)
    {
        if (isSubquery(inner))
            return {TTruth::Unknown, Text(inner)};
        const auto parts = split(inner, QLatin1StringView("OR"));
        if (!parts)
            return {TTruth::Unknown, Text(inner)};
        TPart p = Disjunction(*parts);
        if (p.Truth != TTruth::Unknown)
            p.Text = Constant(p.Truth);
        return p;
    }

    // Parts joined by OR (by AND): a true (false) part decides the whole, a false (true) one drops out.
    template <class TEach>
    TPart Chain(const QList<QStringView> &parts, bool disjunction, TEach each)
    {
        const TTruth decides = disjunction ? TTruth::True : TTruth::False;
        QStringList open;
        for (QStringView part : parts) {
            const TPart p = each(part);
            if (p.Truth == decides)
                return {decides, {}};
            if (p.Truth == TTruth::Unknown)
                open << p.Text;
        }
        if (open.isEmpty())
            return {disjunction ? TTruth::False : TTruth::True, {}};
        return {TTruth::Unknown, open.join(disjunction ? QStringLiteral(" OR ") : QStringLiteral(" AND "))};
    }

    TPart Disjunction(const QList<QStringView> &parts)
    {
        return Chain(parts, true, [this](QStringView part) { return Conjunction(part); });
    }

    TPart Conjunction(QStringView s)
    {
        const auto parts = split(s, QLatin1StringView("AND"));
        if (!parts)
            return {TTruth::Unknown, Text(s)};
        return Chain(*parts, false, [this](QStringView part) { return Operand(part.trimmed()); });
    }

    TPart Operand(QStringView t)
    {
        if (t.startsWith(QLatin1Char('(')) && closing(t, 0) == t.size() - 1) {
            TPart p = Group(t.mid(1, t.size() - 2));
            if (p.Truth == TTruth::Unknown)
                p.Text = QLatin1Char('(') + p.Text + QLatin1Char(')');
            return p;
        }
        static const QRegularExpression flag(QStringLiteral("^:(\\w+)\\s*=\\s*'([^']*)'$"));
        static const QRegularExpression blankDate(QStringLiteral("^DATE\\s*\\(\\s*:(\\w+)\\s*\\)\\s+IS\\s+NULL$"), QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression list(QStringLiteral("^INSTR\\s*\\(\\s*:(\\w+)\\s*,\\s*'_'\\s*\\|\\|\\s*([A-Za-z_]\\w*(?:\\.[A-Za-z_]\\w*)?)\\s*\\|\\|\\s*'_'\\s*\\)\\s*<>\\s*0$"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QString text = t.toString();
        if (const auto m = flag.match(text); m.hasMatch()) {
            const QVariant v = Bound(m.captured(1));
            if (v.typeId() == QMetaType::QString && !v.isNull())
                return {v.toString() == m.captured(2) ? TTruth::True : TTruth::False, {}};
        } else if (const auto d = blankDate.match(text); d.hasMatch()) {
            const QVariant v = Bound(d.captured(1));
            // No date at all, or a blank text, which no database reads as a date.
            if (v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty()))
                return {TTruth::True, {}};
            if (v.typeId() == QMetaType::QDate && v.toDate().isValid() && v.toDate().year() >= 1 && v.toDate().year() <= 9999)
                return {TTruth::False, {}};
        } else if (const auto l = list.match(text); l.hasMatch()) {
            const QVariant v = Bound(l.captured(1));
            const QStringList codes = v.typeId() == QMetaType::QString && !v.isNull() ? CodesOfList(v.toString()) : QStringList();
            if (!codes.isEmpty() && CodesTravel(codes))
                return {TTruth::Unknown, ListTest(l.captured(2), codes, text)};
        }
        return {TTruth::Unknown, Text(t)};
    }

    // The list test with a test of the column an index serves before it: a row the list test
    // finds has its column among the list's codes, so the pair finds the same rows.
    QString ListTest(const QString &column, const QStringList &codes, const QString &test)
    {
        QString name = column.section(QLatin1Char('.'), -1) + QStringLiteral("_CODIGOS");
        for (int n = 2; m_params.FindParam(name); ++n)
            name = column.section(QLatin1Char('.'), -1) + QStringLiteral("_CODIGOS") + QString::number(n);
        m_params.CreateParam(TParamType::String, name).SetAsString(CodesValue(m_kind, codes));
        // On PostgreSQL the codes are texts, as the list test compares them.
        const QString tested = m_kind == TDBKind::PostgreSQL ? QStringLiteral("CAST(%1 AS text)").arg(column) : column;
        return QLatin1Char('(') + CodesCondition(m_kind, tested, name, codes.size()) + QStringLiteral(" AND ") + test + QLatin1Char(')');
    }

    QVariant Bound(const QString &name) const
    {
        const TParam *p = m_params.FindParam(name);
        return p ? BindValue(*p) : QVariant();
    }

    TParams m_params;
    TDBKind m_kind;
};

// Whether the statement is one the folding reads safely: quotes and parentheses balanced, no
// comment, no dollar quote or escape string, every parameter bound.
bool foldable(const QString &sql, const TParams &params)
{
    int depth = 0;
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            if (c == QLatin1Char('\'') && i > 0 && (sql[i - 1] == QLatin1Char('E') || sql[i - 1] == QLatin1Char('e')) && (i < 2 || !isWordChar(sql[i - 2])))
                return false;
            i = pastQuote(sql, i);
            if (i < 0)
                return false;
            continue;
        }
        if (c == QLatin1Char('$') || sql.mid(i, 2) == QStringLiteral("--") || sql.mid(i, 2) == QStringLiteral("/*"))
            return false;
        if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')') && --depth < 0) {
            return false;
        }
        ++i;
    }
    if (depth != 0)
        return false;
    const TNamedStatement named = TranslateNamedParams(sql, [](const QString &) { return QStringLiteral("?"); });
    for (const QString &name : named.Names)
        if (!params.FindParam(name))
            return false;
    return true;
}

} // namespace

TFoldedStatement FoldDecidedConditions(const QString &sql, const TParams &params, TDBKind kind)
{
    if (!foldable(sql, params))
        return {sql, params};
    TFolder folder(params, kind);
    QString folded = folder.Text(sql);
    return {std::move(folded), folder.Params()};
}
