// The parameters a layout asks the person for: relative dates, checks and binding.
#include "data/DateTime.h"
#include "data/Exceptions.h"
#include "report/LayoutAsk.h"
#include "report/ReportBands.h"
#include "report/ReportLayout.h"
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {
TLayoutAsk bands()
{
    TLayoutAsk a;
    a.Name = QStringLiteral("P_FAIXAS");
    a.Caption = QStringLiteral("Faixas de atraso");
    a.Type = TLayoutAsk::TType::IntegerList;
    a.Default = QStringLiteral("30,60,90");
    a.Min = 1;
    a.MaxItems = 6;
    a.Increasing = true;
    return a;
}
TLayoutAsk baseDate()
{
    TLayoutAsk a;
    a.Name = QStringLiteral("P_DTBASE");
    a.Caption = QStringLiteral("Data-base");
    a.Type = TLayoutAsk::TType::Date;
    a.Default = QStringLiteral("endOfPreviousMonth");
    return a;
}
} // namespace

TEST(LayoutAsk, RelativeDatesFollowTheCalendarAcrossMonthsYearsAndLeapDays)
{
    const QDate march1(2024, 3, 1), jan15(2027, 1, 15);
    EXPECT_EQ(ResolveDate(QStringLiteral("endOfPreviousMonth"), march1), QDate(2024, 2, 29));
    EXPECT_EQ(ResolveDate(QStringLiteral("endOfPreviousMonth"), jan15), QDate(2026, 12, 31));
    EXPECT_EQ(ResolveDate(QStringLiteral("startOfPreviousMonth"), jan15), QDate(2026, 12, 1));
    EXPECT_EQ(ResolveDate(QStringLiteral("yesterday"), march1), QDate(2024, 2, 29));
    EXPECT_EQ(ResolveDate(QStringLiteral("startOfMonth"), jan15), QDate(2027, 1, 1));
    EXPECT_EQ(ResolveDate(QStringLiteral("endOfPreviousYear"), march1), QDate(2023, 12, 31));
    EXPECT_EQ(ResolveDate(QStringLiteral("2026-10-31"), jan15), QDate(2026, 10, 31));
    for (const char *bad : {"2026-02-30", "31/10/2026", "amanhã", "", "2026-1-5"})
        EXPECT_TRUE(ResolveDate(QLatin1String(bad), jan15).isNull()) << bad;
}

TEST(LayoutAsk, BadAnswersNameTheFieldAndBindNothing)
{
    const QDate today(2026, 12, 9);
    const TLayoutAsk b = bands(), d = baseDate();
    EXPECT_EQ(CheckAnswer(b, QStringLiteral("30,60,90"), today), QString());
    EXPECT_EQ(CheckAnswer(b, QStringLiteral(" 15, 45 "), today), QString());
    EXPECT_EQ(CheckAnswer(b, QStringLiteral("30,30,90"), today), QStringLiteral("Faixas de atraso: os valores devem ser crescentes (30 não é maior que 30)."));
    EXPECT_EQ(CheckAnswer(b, QStringLiteral("10,20,30,40,50,60,70"), today), QStringLiteral("Faixas de atraso: no máximo 6 valores."));
    EXPECT_EQ(CheckAnswer(b, QStringLiteral("0,30"), today), QStringLiteral("Faixas de atraso: 0 é menor que 1."));
    EXPECT_EQ(CheckAnswer(b, QStringLiteral("30;60"), today),
              QStringLiteral("Faixas de atraso: '30;60' não é uma lista de números inteiros separados por vírgula."));
    EXPECT_EQ(CheckAnswer(b, QString(), today), QStringLiteral("Faixas de atraso: informe ao menos um número."));
    EXPECT_EQ(CheckAnswer(d, QStringLiteral("2026-13-01"), today), QStringLiteral("Data-base: '2026-13-01' não é uma data."));

    TParams params;
    params.CreateParam(TParamType::Date, QStringLiteral("P_DTBASE"));
    try {
        BindAnswers({d, b}, {{QStringLiteral("P_FAIXAS"), QStringLiteral("90,60")}}, today, params);
        ADD_FAILURE() << "bad bands were bound";
    } catch (const EHostError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Faixas de atraso: os valores devem ser crescentes (60 não é maior que 90)."));
    }
    EXPECT_TRUE(params.ParamByName(QStringLiteral("P_DTBASE")).IsNull());
    EXPECT_EQ(params.Count(), 1);

    // Defaults stand for what is not answered; the list reaches the statement without spaces.
    BindAnswers({d, b}, {{QStringLiteral("P_FAIXAS"), QStringLiteral(" 15 , 45")}}, today, params);
    EXPECT_EQ(DateTimeToDate(params.ParamByName(QStringLiteral("P_DTBASE")).AsDateTime()), QDate(2026, 11, 30));
    EXPECT_EQ(params.ParamByName(QStringLiteral("P_FAIXAS")).AsString(), QStringLiteral("15,45"));
}

TEST(LayoutAsk, ALayoutFileDeclaresItsQuestionsAndKeepsThemWhenSaved)
{
    const auto layout = [](const char *ask) {
        return QJsonDocument::fromJson(QByteArray(R"({"title": "T", "statement": "SELECT 1 AS X", "columns": [{"field": "X"}],
            "params": [{"name": "P_DTBASE", "type": "date"}], "ask": )") + ask + "}").object();
    };
    const TReportLayout l = TReportLayout::FromJson(layout(R"([{"name": "P_DTBASE", "caption": "Data-base", "type": "date", "default": "endOfPreviousMonth"},
        {"name": "P_FAIXAS", "caption": "Faixas", "type": "integerList", "default": "30,60,90", "min": 1, "maxItems": 6, "increasing": true}])"),
                                                    QStringLiteral("t.json"));
    ASSERT_EQ(l.Asks.size(), 2);
    EXPECT_TRUE(l.IsAsked(QStringLiteral("p_faixas")));
    EXPECT_TRUE(l.DeclaresParam(QStringLiteral("P_FAIXAS"))); // declared by its question
    const TReportLayout again = TReportLayout::FromJson(l.ToJson(), QStringLiteral("t.json"));
    ASSERT_EQ(again.Asks.size(), 2);
    EXPECT_EQ(again.Asks[1].MaxItems, 6);
    EXPECT_TRUE(again.Asks[1].Increasing);
    EXPECT_EQ(again.Asks[0].Default, QStringLiteral("endOfPreviousMonth"));

    const struct {
        const char *Ask, *Fault;
    } faults[] = {{R"([{"name": "P_DTBASE", "type": "date", "default": "amanhã"}])", "o valor padrão do parâmetro 'P_DTBASE' não serve"},
                  {R"([{"name": "P_DTBASE", "type": "integer", "default": "3"}])", "perguntado como integer, mas declarado do tipo 'date'"},
                  {R"([{"name": "P_X", "type": "hora", "default": "1"}])", "tipo desconhecido 'hora'"},
                  {R"({"name": "P_X"})", "\"ask\" deve ser uma lista"}};
    for (const auto &f : faults) {
        try {
            TReportLayout::FromJson(layout(f.Ask), QStringLiteral("t.json"));
            ADD_FAILURE() << "accepted " << f.Ask;
        } catch (const EHostError &e) {
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(f.Fault))) << e.Message().toStdString();
        }
    }
}

TEST(LayoutAsk, BandsAreIncreasingDayCountsWhateverTheLayoutChecks)
{
    const TReportLayout l = TReportLayout::FromJson(QJsonDocument::fromJson(R"({"title": "Faixas", "params": [],
        "ask": [{"name": "P_FAIXAS", "type": "integerList", "default": "30"}],
        "statement": "SELECT X.D AS D, X.V AS V, {BANDS} FROM (SELECT 1 AS D, 2 AS V) X",
        "columns": [{"field": "D"}, {"field": "V", "format": "#,##0.00", "total": true}],
        "bands": {"param": "P_FAIXAS", "days": "X.D", "value": "X.V", "field": "F", "after": "D"}})").object(),
                                                    QStringLiteral("t.json"));
    TParams params;
    TReportLayout run = LayoutAsRun(l, {{QStringLiteral("P_FAIXAS"), QStringLiteral("10,20")}}, QDate(2026, 12, 9), params);
    QStringList columns;
    for (const TReportLayout::Column &c : run.Columns)
        columns << c.Field + QLatin1Char(':') + c.Caption;
    EXPECT_EQ(columns, (QStringList{QStringLiteral("D:"), QStringLiteral("F1:1 a 10"), QStringLiteral("F2:11 a 20"), QStringLiteral("F3:Acima de 20"), QStringLiteral("V:")}));
    EXPECT_FALSE(run.Statement.contains(QStringLiteral("{BANDS}")));
    EXPECT_TRUE(run.Statement.contains(QStringLiteral("CASE WHEN X.D BETWEEN :P_FAIXA2_DE AND :P_FAIXA2_ATE THEN X.V ELSE 0 END AS F2")));
    EXPECT_EQ(params.ParamByName(QStringLiteral("P_FAIXA3_DE")).Value().toInt(), 21);
    for (const char *bad : {"20,10", "0,10", "2147483647"}) {
        TParams none;
        EXPECT_THROW(LayoutAsRun(l, {{QStringLiteral("P_FAIXAS"), QLatin1String(bad)}}, QDate(2026, 12, 9), none), EHostError) << bad;
    }
}
