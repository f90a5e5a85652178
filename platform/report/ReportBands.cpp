#include "report/ReportBands.h"
#include "data/Exceptions.h"

namespace {
constexpr int kMaxBandDays = 99999;
}

QStringList BandCaptions(const QVector<int> &limits)
{
    QStringList captions;
    for (qsizetype i = 0; i < limits.size(); ++i)
        captions << QStringLiteral("%1 a %2").arg(i == 0 ? 1 : limits[i - 1] + 1).arg(limits[i]);
    if (!limits.isEmpty())
        captions << QStringLiteral("Acima de %1").arg(limits.last());
    return captions;
}

TReportLayout WithBands(const TReportLayout &layout, TParams &params, QStringList *limitNames)
{
    if (!layout.AgingBands)
        return layout;
    const TReportLayout::Bands &b = *layout.AgingBands;
    const TParam *limitsParam = params.FindParam(b.Param);
    const std::optional<QVector<int>> limits = limitsParam ? IntegerItems(limitsParam->AsString()) : std::nullopt;
    if (!limits || limits->isEmpty())
        throw EHostError(QStringLiteral("O relatório '%1' não recebeu as faixas de atraso (%2).").arg(layout.Title, b.Param));
    // Whatever the layout's own checks, bands are increasing day counts.
    for (qsizetype i = 0; i < limits->size(); ++i)
        if ((*limits)[i] < 1 || (*limits)[i] > kMaxBandDays || (i > 0 && (*limits)[i] <= (*limits)[i - 1]))
            throw EHostError(QStringLiteral("O relatório '%1': as faixas de atraso (%2) devem ser dias crescentes de 1 a %3.").arg(layout.Title, b.Param).arg(kMaxBandDays));

    // Fixed fragments; only the limits vary, and they are bound.
    const QString value = b.Sum ? QStringLiteral("SUM(CASE WHEN %1 %2 THEN %3 ELSE 0 END) AS %4") : QStringLiteral("CASE WHEN %1 %2 THEN %3 ELSE 0 END AS %4");
    QStringList items;
    const QStringList captions = BandCaptions(*limits);
    TReportLayout run = layout;
    qsizetype at = layout.ColumnIndex(b.After) + 1;
    for (qsizetype i = 0; i < captions.size(); ++i) {
        const QString from = QStringLiteral("P_FAIXA%1_DE").arg(i + 1), to = QStringLiteral("P_FAIXA%1_ATE").arg(i + 1);
        const QString field = b.Field + QString::number(i + 1);
        const bool last = i == limits->size();
        const auto bind = [&params, limitNames](const QString &name, int value) {
            TParam *p = params.FindParam(name);
            (p ? *p : params.CreateParam(TParamType::Integer, name)).SetValue(value);
            if (limitNames)
                *limitNames << name;
        };
        bind(from, i == 0 ? 1 : (*limits)[i - 1] + 1);
        QString test = QStringLiteral(">= :%1").arg(from);
        if (!last) {
            bind(to, (*limits)[i]);
            test = QStringLiteral("BETWEEN :%1 AND :%2").arg(from, to);
        }
        items << value.arg(b.Days, test, b.Value, field);
        TReportLayout::Column c;
        c.Field = field;
        c.Caption = captions[i];
        c.Width = b.Width;
        c.Align = Qt::AlignRight;
        c.Format = TColumnFormat::Amount;
        c.Total = true;
        run.Columns.insert(at++, c);
    }
    const QString amounts = items.join(QStringLiteral(",\n       "));
    for (QString *statement : {&run.Statement, &run.StatementPostgreSQL})
        statement->replace(QStringLiteral("{BANDS}"), amounts);
    run.AgingBands.reset();
    return run;
}

TReportLayout LayoutAsRun(const TReportLayout &layout, const TLayoutAnswers &answers, const QDate &today, TParams &params)
{
    BindAnswers(layout.Asks, answers, today, params);
    return WithBands(layout, params);
}
