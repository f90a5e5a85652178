// Statements take their values as bound parameters: a scan of the sources for statement
// text joined with something else (".arg(...)" or "+" next to SQL text).
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct TFinding {
    int Line = 0;
    QString How;
    QString Text;
};

const QChar kSql(0x01);   // a string literal holding statement text
const QChar kPlain(0x02); // any other string literal

bool looksLikeSql(const QString &literal)
{
    static const QRegularExpression sql(QStringLiteral("\\b(SELECT|INSERT\\s+INTO|UPDATE|DELETE\\s+FROM|CREATE|DROP|ALTER|WHERE|VALUES|ORDER\\s+BY|JOIN|COPY)\\b"));
    return sql.match(literal).hasMatch();
}

// The source with comments blanked and every string literal replaced by one marker;
// line breaks are kept so that positions still give line numbers.
QString markLiterals(const QString &src)
{
    QString out;
    out.reserve(src.size());
    const qsizetype n = src.size();
    auto newlines = [&](qsizetype from, qsizetype to) {
        QString nl;
        for (qsizetype k = from; k < to && k < n; ++k)
            if (src[k] == QLatin1Char('\n'))
                nl += QLatin1Char('\n');
        return nl;
    };
    static const QRegularExpression raw(QStringLiteral("\\G(?:u8|u|U|L)?R\"([^(\\s]{0,16})\\("));
    qsizetype i = 0;
    while (i < n) {
        const QChar c = src[i];
        if (src.mid(i, 2) == QStringLiteral("//")) {
            qsizetype j = src.indexOf(QLatin1Char('\n'), i);
            i = j < 0 ? n : j;
            continue;
        }
        if (src.mid(i, 2) == QStringLiteral("/*")) {
            qsizetype j = src.indexOf(QStringLiteral("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out += newlines(i, j);
            i = j;
            continue;
        }
        const bool wordBefore = i > 0 && (src[i - 1].isLetterOrNumber() || src[i - 1] == QLatin1Char('_'));
        const QRegularExpressionMatch m = wordBefore ? QRegularExpressionMatch() : raw.match(src, i);
        if (m.hasMatch()) {
            const QString end = QStringLiteral(")") + m.captured(1) + QStringLiteral("\"");
            qsizetype j = src.indexOf(end, m.capturedEnd());
            j = j < 0 ? n : j + end.size();
            out += (looksLikeSql(src.mid(i, j - i)) ? kSql : kPlain) + newlines(i, j);
            i = j;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            while (j < n && src[j] != c && src[j] != QLatin1Char('\n'))
                j += src[j] == QLatin1Char('\\') ? 2 : 1;
            if (c == QLatin1Char('"'))
                out += looksLikeSql(src.mid(i, j - i + 1)) ? kSql : kPlain;
            else
                out += QLatin1Char('0');
            i = j + 1;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// Every statement (up to ";", "{" or "}") holding statement text that is joined with a value.
std::vector<TFinding> Scan(const QString &src)
{
    QString t = markLiterals(src);
    const QString markers = QStringLiteral("[\\x01\\x02]");
    // A literal inside a wrapper is the literal; adjacent literals are one.
    static const QRegularExpression wrapped(QStringLiteral("(?:QStringLiteral|QLatin1String|QLatin1StringView|QString::fromLatin1|QString::fromUtf8|"
                                                           "QByteArrayLiteral)\\s*\\(\\s*([\\x01\\x02])\\s*\\)"));
    for (int k = 0; k < 3; ++k)
        t.replace(wrapped, QStringLiteral("\\1"));
    static const QRegularExpression adjacent(QStringLiteral("[\\x01\\x02](?:\\s*[\\x01\\x02])+"));
    for (;;) {
        const QRegularExpressionMatch m = adjacent.match(t);
        if (!m.hasMatch())
            break;
        const QString run = m.captured(0);
        t.replace(m.capturedStart(), m.capturedLength(), (run.contains(kSql) ? kSql : kPlain) + QString(run.count(QLatin1Char('\n')), QLatin1Char('\n')));
    }
    static const QRegularExpression arg(QStringLiteral("\\.arg\\s*\\("));
    static const QRegularExpression plusAfter(QStringLiteral("\\x01\\s*\\+\\s*[^\\x01\\x02\\s]"));
    static const QRegularExpression plusBefore(QStringLiteral("[^\\x01\\x02\\s]\\s*\\+\\s*\\x01"));
    std::vector<TFinding> found;
    const QStringList lines = src.split(QLatin1Char('\n'));
    qsizetype start = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] != QLatin1Char(';') && t[i] != QLatin1Char('{') && t[i] != QLatin1Char('}'))
            continue;
        const QString statement = t.mid(start, i + 1 - start);
        qsizetype first = start;
        while (first < i && t[first].isSpace())
            ++first;
        start = i + 1;
        if (!statement.contains(kSql))
            continue;
        QString how;
        if (arg.match(statement).hasMatch())
            how = QStringLiteral(".arg");
        else if (plusAfter.match(statement).hasMatch() || plusBefore.match(statement).hasMatch())
            how = QStringLiteral("+");
        if (how.isEmpty())
            continue;
        TFinding f;
        f.Line = static_cast<int>(t.left(first).count(QLatin1Char('\n'))) + 1;
        f.How = how;
        const int last = static_cast<int>(t.left(i).count(QLatin1Char('\n'))) + 1;
        f.Text = lines.mid(f.Line - 1, last - f.Line + 1).join(QLatin1Char('\n'));
        found.push_back(f);
    }
    return found;
}

// Statement text deliberately built from other text, each with its reason:
// file, a text that occurs in the statement, why it is safe.
struct TException {
    const char *File;
    const char *Marker;
    const char *Reason;
};
const TException kExceptions[] = {
    {"platform/data/SqlBuilder.cpp", "IN (SELECT value FROM json_each(:%2))", "a list test over a fixed column and parameter name; the codes are bound"},
    {"platform/report/LayoutEditor.cpp", "SELECT * FROM (", "wraps a layout's own statement text to check its columns; its values stay parameters"},
    {"db/DemoData.cpp", "COPY %1 (%2) FROM STDIN", "table and column names of the generator's fixed lists"},
    {"db/DemoData.cpp", "INSERT INTO %1 (%2) VALUES", "table and column names of the generator's fixed lists; the rows are bound"},
    {"db/DemoData.cpp", "DROP TABLE IF EXISTS %1", "table names from the fixed list kTables"},
};

} // namespace

TEST(SqlSources, TheScanFindsStatementTextBuiltFromValues)
{
    const QString planted = QStringLiteral(R"src(
void f(const QString &code, const QString &name)
{
    q.exec(QStringLiteral("SELECT * FROM CLIENTE WHERE CDCLIENTE = '%1'").arg(code));
    const QString sql = QStringLiteral("DELETE FROM CLIENTE WHERE NMCLIENTE = '")
                        + name + QStringLiteral("'");
    const QString where = "UPDATE CLIENTE SET NMCLIENTE = '" + name;
    q.prepare(QStringLiteral("SELECT A FROM B "
                             "WHERE C = :C"));
    error = QStringLiteral("o operador %1 não existe").arg(name);
    // "SELECT x FROM y WHERE z = " + name in a comment is no statement
    text = QStringLiteral("ORDER BY ") + QStringLiteral("CDCLIENTE");
}
)src");
    const std::vector<TFinding> found = Scan(planted);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].Line, 4);
    EXPECT_EQ(found[0].How, QStringLiteral(".arg"));
    EXPECT_EQ(found[1].Line, 5);
    EXPECT_EQ(found[1].How, QStringLiteral("+"));
    EXPECT_EQ(found[2].Line, 7);
    EXPECT_EQ(found[2].How, QStringLiteral("+"));
}

TEST(SqlSources, EveryStatementBindsItsValues)
{
    const QDir root(QStringLiteral(REC_SOURCE_DIR));
    std::vector<bool> used(std::size(kExceptions), false);
    int files = 0;
    QStringList problems;
    for (const char *folder : {"apps", "platform", "rec11001", "db"}) {
        QDirIterator it(root.filePath(QLatin1String(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            ++files;
            const QString rel = root.relativeFilePath(path);
            for (const TFinding &finding : Scan(QString::fromUtf8(f.readAll()))) {
                bool excused = false;
                for (size_t e = 0; e < std::size(kExceptions); ++e)
                    if (rel == QLatin1String(kExceptions[e].File) && finding.Text.contains(QLatin1String(kExceptions[e].Marker))) {
                        used[e] = true;
                        excused = true;
                    }
                if (!excused)
                    problems << QStringLiteral("%1:%2: statement text joined with a value (%3); bind the value as a parameter:\n%4")
                                    .arg(rel)
                                    .arg(finding.Line)
                                    .arg(finding.How, finding.Text.trimmed());
            }
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("\n\n")).toStdString();
    // An exception that matches nothing any more goes from the list.
    for (size_t e = 0; e < std::size(kExceptions); ++e)
        EXPECT_TRUE(used[e]) << kExceptions[e].File << ": " << kExceptions[e].Marker << " no longer occurs";
}
