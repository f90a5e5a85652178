#include "ReportTestSupport.h"
#include "data/Database.h"
#include "report/ReportPreview.h"
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>

QString amount(double v) { return QString::number(v, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(',')); }

QStringList CsvLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void ReportScreenTest::AllDueDates()
{
    Form()->Control<TDateEditPlus>("depVenIni")->SetDate(DateToDateTime(QDate(2000, 1, 1)));
    Form()->Control<TDateEditPlus>("depVenFin")->SetDate(DateToDateTime(QDate(2099, 12, 31)));
}

void ReportScreenTest::Preview(const std::function<void(TReportPreviewDialog &)> &step)
{
    bool shown = false;
    {
        const TReportDesignerDialog::TInteractiveScope person(true);
        const TDialogWait wait = WhenShown<TReportPreviewDialog>(
            [step](TReportPreviewDialog &preview) {
                step(preview);
                preview.reject();
            },
            shown);
        Click("sbtPreview");
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(TakeMessages(), QStringList());
}

void ReportScreenTest::RunTo(int layout, const char *button, const QString &path)
{
    Form()->cbbReportNames->UserSelect(layout);
    Form()->ReportOutput = path;
    Action(button);
    Form()->ReportOutput.clear();
}

std::vector<TCriteria> VariedCriteria(const TCriteria &defaults, int layout)
{
    const auto list = [](TCriteria &c, const char *group, const char *codes) { c.Groups[QLatin1String(group)] = {true, QLatin1String(codes)}; };
    TCriteria base = defaults;
    base.Layout = layout;

    TCriteria lists = base;
    for (const auto &[group, codes] : {std::pair{"Cliente", "_000001__000002_"}, {"Empresa", "_03_"}, {"Lancamento", "_0101_"}, {"Vendedor", "_V01_"},
                                       {"AtivClie", "_1_"}, {"SegMerc", "_2_"}, {"Class", "_101_"}, {"TipoConta", "_000001_"}, {"FormaPaga", "_01_"},
                                       {"CCorr", "_001_"}, {"GrupClie", "_GRP001_"}, {"Filial", "_0101_"}})
        list(lists, group, codes);
    lists.StatusTodos = false;
    lists.Descontada = lists.Planejada = false;
    lists.Tipo = 0;
    lists.ConAdian = true;
    lists.Publico = false;
    lists.Emissao = {QDate(2026, 10, 1), QDate(2026, 11, 30)};
    lists.Saida = {QDate(2026, 10, 2), QDate(2026, 11, 29)};
    lists.Baixa = {QDate(2026, 11, 2), QDate(2026, 11, 3)};
    lists.ValorIni = 100.5;
    lists.ValorFin = 2500.75;
    lists.OrcaIni = QStringLiteral("0000000123");
    lists.OrcaFin = QStringLiteral("0000000456");
    lists.UtilizaOpEmissao = false;

    TCriteria region = base;
    list(region, "Regiao", "_009__010_");
    region.StatusTodos = region.Baixada = region.Aberto = region.Descontada = false;
    region.Tipo = 2;
    region.Privado = false;
    region.ValorFin = 900;
    region.RefeFat = {QDate(2026, 1, 1), QDate(2026, 12, 31)};
    region.Vencimento = {QDate(2025, 1, 1), QDate(2027, 6, 30)};

    TCriteria oneClient = base;
    list(oneClient, "Cliente", "_000003_");
    list(oneClient, "Regiao", "_009_");
    oneClient.Baixada = false;
    oneClient.StatusTodos = false;
    oneClient.ValorIni = 50;
    oneClient.ValorFin = 5000;
    return {base, lists, region, oneClient};
}
