// Conditions decided by the bound values are written out; every row keeps its value.
#include "data/Database.h"
#include "data/SqlBuilder.h"
#include "data/SqlFold.h"
#include "TestSupport.h"
#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TValue {
    TValue(const char *name, const char *text) : Name(name), Value(QString::fromUtf8(text)) {}
    TValue(const char *name, QVariant value) : Name(name), Value(std::move(value)) {}
    const char *Name;
    QVariant Value;
};

TParams Bound(std::initializer_list<TValue> values)
{
    TParams p;
    for (const auto &[name, value] : values) {
        TParam &param = p.CreateParam(value.typeId() == QMetaType::QDate ? TParamType::Date : TParamType::String, QLatin1String(name));
        if (value.typeId() == QMetaType::QDate)
            param.SetAsDate(DateToDateTime(value.toDate()));
        else if (value.isValid())
            param.SetAsString(value.toString());
    }
    return p;
}

QString Folded(const char *sql, const TParams &params, TDBKind kind = TDBKind::SQLite)
{
    return FoldDecidedConditions(QLatin1String(sql), params, kind).Sql;
}

} // namespace

TEST(SqlFold, DecidedConditionsAreWrittenOutAndTheRestStandsAsItWas)
{
    const char *list = "SELECT * FROM R WHERE (:T = 'T' OR INSTR(:L, '_' || R.CDC || '_') <> 0) AND R.X = 1";
    EXPECT_EQ(Folded(list, Bound({{"T", "T"}, {"L", "_01_"}})), QStringLiteral("SELECT * FROM R WHERE (1 = 1) AND R.X = 1"));

    // A list with codes gains a test an index serves; its codes travel as a parameter.
    const TFoldedStatement two = FoldDecidedConditions(QLatin1String(list), Bound({{"T", "F"}, {"L", "_01_03_01_"}}), TDBKind::SQLite);
    EXPECT_EQ(two.Sql, QStringLiteral("SELECT * FROM R WHERE ((R.CDC IN (SELECT value FROM json_each(:CDC_CODIGOS)) "
                                      "AND INSTR(:L, '_' || R.CDC || '_') <> 0)) AND R.X = 1"));
    ASSERT_NE(two.Params.FindParam(QStringLiteral("CDC_CODIGOS")), nullptr);
    EXPECT_EQ(two.Params.FindParam(QStringLiteral("CDC_CODIGOS"))->AsString(), QStringLiteral("[\"01\",\"03\"]"));
    EXPECT_EQ(Folded(list, Bound({{"T", "F"}, {"L", "_01__03_"}}), TDBKind::PostgreSQL),
              QStringLiteral("SELECT * FROM R WHERE ((CAST(R.CDC AS text) = ANY (string_to_array(:CDC_CODIGOS, chr(31))) "
                             "AND INSTR(:L, '_' || R.CDC || '_') <> 0)) AND R.X = 1"));
    EXPECT_EQ(Folded(list, Bound({{"T", "F"}, {"L", "_07_"}})),
              QStringLiteral("SELECT * FROM R WHERE ((R.CDC = :CDC_CODIGOS AND INSTR(:L, '_' || R.CDC || '_') <> 0)) AND R.X = 1"));
    // A parameter of that name is already bound: the codes take another.
    EXPECT_NE(Folded(list, Bound({{"T", "F"}, {"L", "_07_"}, {"CDC_CODIGOS", "x"}})).indexOf(QLatin1String(":CDC_CODIGOS2 AND")), -1);
    // No code, a null list, a code with the separator the codes travel by, or an undecided flag:
    // the list test stays alone.
    EXPECT_EQ(Folded(list, Bound({{"T", "F"}, {"L", "_0\x1f""1__03_"}}), TDBKind::PostgreSQL),
              QStringLiteral("SELECT * FROM R WHERE (INSTR(:L, '_' || R.CDC || '_') <> 0) AND R.X = 1"));
    EXPECT_EQ(Folded(list, Bound({{"T", "F"}, {"L", "_"}})), QStringLiteral("SELECT * FROM R WHERE (INSTR(:L, '_' || R.CDC || '_') <> 0) AND R.X = 1"));
    EXPECT_EQ(Folded(list, Bound({{"T", "F"}, {"L", QVariant()}})), QStringLiteral("SELECT * FROM R WHERE (INSTR(:L, '_' || R.CDC || '_') <> 0) AND R.X = 1"));
    EXPECT_EQ(Folded(list, Bound({{"T", QVariant()}, {"L", "_"}})),
              QStringLiteral("SELECT * FROM R WHERE (:T = 'T' OR INSTR(:L, '_' || R.CDC || '_') <> 0) AND R.X = 1"));

    // Dates: a blank one switches its test off, a given one leaves the range alone.
    const char *dates = "SELECT 1 FROM R WHERE (DATE(:D) IS NULL OR R.D >= DATE(:D)) AND (date(:E) is null OR R.D <= DATE(:E))";
    EXPECT_EQ(Folded(dates, Bound({{"D", QVariant()}, {"E", QDate(2026, 12, 9)}})), QStringLiteral("SELECT 1 FROM R WHERE (1 = 1) AND (R.D <= DATE(:E))"));
    EXPECT_EQ(Folded(dates, Bound({{"D", " "}, {"E", QDate(2026, 12, 9)}})), QStringLiteral("SELECT 1 FROM R WHERE (1 = 1) AND (R.D <= DATE(:E))"));
    EXPECT_EQ(Folded(dates, Bound({{"D", "09/12/2026"}, {"E", QVariant()}})),
              QStringLiteral("SELECT 1 FROM R WHERE (DATE(:D) IS NULL OR R.D >= DATE(:D)) AND (1 = 1)"))
        << "a date still in its text is the database's to read";

    // Nested conditions, a subquery, a BETWEEN and quotes that hold the keywords.
    EXPECT_EQ(Folded("SELECT 1 FROM R WHERE ((:A = 'T' AND :B = 'T') OR EXISTS (SELECT 1 FROM B WHERE (:A = 'T' OR B.X = 'OR')))",
                     Bound({{"A", "T"}, {"B", "F"}})),
              QStringLiteral("SELECT 1 FROM R WHERE (EXISTS (SELECT 1 FROM B WHERE (1 = 1)))"));
    EXPECT_EQ(Folded("SELECT 1 FROM R WHERE (:P = 'T' OR R.N BETWEEN :A AND :B) AND (:Q = ' ' OR R.Y = ') AND (')",
                     Bound({{"P", "F"}, {"A", "1"}, {"B", "2"}, {"Q", "x"}})),
              QStringLiteral("SELECT 1 FROM R WHERE (R.N BETWEEN :A AND :B) AND (R.Y = ') AND (')"));
    EXPECT_EQ(Folded("SELECT 1 FROM R WHERE (:A = 'T' AND R.X = 1 OR :A = 'F' AND R.X = 2)", Bound({{"A", "F"}})),
              QStringLiteral("SELECT 1 FROM R WHERE (R.X = 2)"));
    EXPECT_EQ(Folded("SELECT 1 FROM R WHERE NOT (:A = 'T' OR R.X = 1)", Bound({{"A", "T"}})), QStringLiteral("SELECT 1 FROM R WHERE NOT (1 = 1)"));

    // What is not a condition is left as it stands.
    for (const char *kept : {"SELECT COALESCE(:A = 'T', 0), (:A = 'T' OR 1 = 0) AS X FROM R",
                             "SELECT 1 FROM R WHERE (CASE WHEN :A = 'T' OR R.X = 1 THEN 1 END = 1)",
                             "SELECT 1 FROM R WHERE R.X IN (:A, :A)"}) {
        EXPECT_EQ(Folded(kept, Bound({{"A", "T"}})), QLatin1String(kept));
    }
    // So is a statement the folding cannot read for sure, or whose parameters are not all bound.
    for (const char *whole : {"SELECT 1 FROM R WHERE (:A = 'T' OR R.X = 1) -- (:A = 'T' OR x)",
                              "SELECT 1 FROM R WHERE (:A = 'T' OR R.X = $$a$$)",
                              "SELECT 1 FROM R WHERE (:A = 'T' OR R.X = E'it\\'s')",
                              "SELECT 1 FROM R WHERE (:A = 'T' OR R.X = :MISSING)",
                              "SELECT 1 FROM R WHERE (:A = 'T' OR R.X = 1"}) {
        EXPECT_EQ(Folded(whole, Bound({{"A", "T"}})), QLatin1String(whole));
    }
}

// Random conditions over a table with nulls, blanks and look-alike codes: each row's value
// (true, false or null, also under NOT) is the same before and after folding.
TEST(SqlFold, EveryRowKeepsTheValueItsStatementGaveIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("fold.db"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    TdtmDBGeral db;
    db.Open(file);
    QSqlQuery q(db.Database());
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE R (C TEXT, I INTEGER, D TEXT, N INTEGER)"))) << q.lastError().text().toStdString();
    const char *rows[] = {"('01', 1, '2026-01-01', 1)", "('03', 3, '2026-06-30', 2)", "('1', NULL, NULL, 3)", "('', 10, '2026-12-31', NULL)",
                          "(NULL, 0, '2025-12-31', 5)",  "('0', 01, '2026-06-01', 6)",  "('011', 11, '2026-07-01', 7)"};
    for (const char *r : rows)
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO R VALUES ") + QLatin1String(r)));

    QRandomGenerator random(20261209);
    const QStringList flags{QStringLiteral("T"), QStringLiteral("F"), QStringLiteral(" "), QString()};
    const QStringList lists{QStringLiteral("_01_03_"), QStringLiteral("__"), QStringLiteral("_1_"), QStringLiteral("_"), QStringLiteral("01"),
                            QStringLiteral("_011__0_1_"), QString()};
    auto pick = [&random](const QStringList &from) { return from[static_cast<qsizetype>(random.bounded(static_cast<int>(from.size())))]; };
    std::function<QString(int)> condition = [&](int depth) -> QString {
        const int kind = static_cast<int>(random.bounded(depth > 2 ? 6 : 10));
        switch (kind) {
        case 0: return QStringLiteral(":F%1 = 'T'").arg(random.bounded(3));
        case 1: return QStringLiteral("INSTR(:L%1, '_' || R.%2 || '_') <> 0").arg(random.bounded(3)).arg(random.bounded(2) ? 'C' : 'I');
        case 2: return QStringLiteral("(DATE(:D%1) IS NULL OR R.D >= DATE(:D%1))").arg(random.bounded(2));
        case 3: return QStringLiteral("R.N BETWEEN :F0 AND 4");
        case 4: return QStringLiteral("R.N > 2");
        case 5: return QStringLiteral("DATE(:D%1) IS NULL").arg(random.bounded(2));
        case 6: return QStringLiteral("(%1 OR %2)").arg(condition(depth + 1), condition(depth + 1));
        case 7: return QStringLiteral("(%1 AND %2 OR %3)").arg(condition(depth + 1), condition(depth + 1), condition(depth + 1));
        case 8: return QStringLiteral("NOT (%1 AND %2)").arg(condition(depth + 1), condition(depth + 1));
        default: return QStringLiteral("(CASE WHEN %1 THEN R.N > 3 ELSE %2 END)").arg(condition(depth + 1), condition(depth + 1));
        }
    };
    auto values = [&db](const QString &sql, const TParams &params) {
        QSqlQuery r = RunStatement(db.Database(), sql, params, QStringLiteral("fold"));
        QStringList out;
        while (r.next())
            out << r.value(0).toString() + QLatin1Char('=') + (r.value(1).isNull() ? QStringLiteral("null") : r.value(1).toString());
        return out;
    };
    int changed = 0;
    for (int round = 0; round < 400; ++round) {
        TParams params;
        for (int i = 0; i < 3; ++i) {
            const QString f = pick(flags), l = pick(lists);
            TParam &fp = params.CreateParam(TParamType::String, QStringLiteral("F%1").arg(i));
            if (!f.isNull())
                fp.SetAsString(f);
            TParam &lp = params.CreateParam(TParamType::String, QStringLiteral("L%1").arg(i));
            if (!l.isNull())
                lp.SetAsString(l);
        }
        for (int i = 0; i < 2; ++i) {
            // A date, none, or a blank or impossible text as the screen may bind it.
            const int how = static_cast<int>(random.bounded(4));
            TParam &d = params.CreateParam(how < 2 ? TParamType::Date : TParamType::String, QStringLiteral("D%1").arg(i));
            if (how == 0)
                d.SetAsDate(DateToDateTime(QDate(2026, 6, 1)));
            else if (how == 2)
                d.SetAsString(QStringLiteral(" "));
            else if (how == 3)
                d.SetAsString(QStringLiteral("2026-02-30"));
        }
        const QString c = QStringLiteral("(%1 AND %2)").arg(condition(0), condition(0));
        const QString sql = QStringLiteral("SELECT rowid, CASE WHEN %1 THEN 1 WHEN NOT %1 THEN 0 END FROM R ORDER BY rowid").arg(c);
        const TFoldedStatement folded = FoldDecidedConditions(sql, params, TDBKind::SQLite);
        changed += folded.Sql != sql;
        ASSERT_EQ(values(folded.Sql, folded.Params), values(sql, params)) << sql.toStdString() << "\nfolded:\n" << folded.Sql.toStdString();
    }
    EXPECT_GT(changed, 300) << "the conditions are folded in most rounds";
}

// A list of codes reaches each database whole: quotes, backslashes, commas, braces, spaces,
// the word NULL and the empty code select exactly their rows.
TEST(SqlFold, ListsOfCodesSelectExactlyTheirRowsOnEachDatabase)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("codes.db"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    std::vector<std::pair<TDBKind, QString>> targets{{TDBKind::SQLite, file}};
    if (PostgresAvailable())
        targets.emplace_back(TDBKind::PostgreSQL, qEnvironmentVariable("REC_TEST_PG_URL"));
    const QStringList stored{QStringLiteral("a\"b"), QStringLiteral("c\\d"), QStringLiteral("e,f"), QStringLiteral("{g}"), QStringLiteral(" h "),
                             QStringLiteral("NULL"), QString(QLatin1String("")), QStringLiteral("ção"), QStringLiteral("01"), QStringLiteral("1")};
    // The one character codes cannot hold is refused, not split.
    TSqlBuilder refused(TDBKind::PostgreSQL);
    EXPECT_THROW(refused.AndIn("C", "P", {QStringLiteral("a"), QStringLiteral("b") + kCodesSeparator + QStringLiteral("c")}), EHostError);
    for (const auto &[kind, target] : targets) {
        TdtmDBGeral db;
        db.Open(target);
        QSqlQuery q(db.Database());
        // A temporary table: the connection's own, gone when it closes.
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TEMPORARY TABLE CODIGOS (C VARCHAR(10))"))) << q.lastError().text().toStdString();
        for (const QString &code : stored) {
            TParams p;
            p.CreateParam(TParamType::String, QStringLiteral("C")).SetAsString(code);
            RunStatement(db.Database(), QStringLiteral("INSERT INTO CODIGOS (C) VALUES (:C)"), p, QStringLiteral("codes"));
        }
        for (const QStringList &wanted : {stored, QStringList{QStringLiteral("a\"b"), QStringLiteral("NULL")}, QStringList{QStringLiteral("c\\d")},
                                          QStringList{QString(QLatin1String("")), QStringLiteral("1")}}) {
            TParams p;
            p.CreateParam(TParamType::String, QStringLiteral("P")).SetAsString(CodesValue(kind, wanted));
            QSqlQuery r = RunStatement(db.Database(), QStringLiteral("SELECT C FROM CODIGOS WHERE ") + CodesCondition(kind, QStringLiteral("C"), QStringLiteral("P"), wanted.size()),
                                       p, QStringLiteral("codes"));
            QStringList got;
            while (r.next())
                got << r.value(0).toString();
            got.sort();
            QStringList expected = wanted;
            expected.sort();
            EXPECT_EQ(got, expected) << (kind == TDBKind::PostgreSQL ? "PostgreSQL: " : "SQLite: ") << CodesValue(kind, wanted).toStdString();
        }
    }
}
