#include "report/ReportLayout.h"
#include "data/Exceptions.h"
#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
const QStringList kParamTypes = {QStringLiteral("string"), QStringLiteral("date"), QStringLiteral("datetime"),
                                 QStringLiteral("float"), QStringLiteral("integer"), QStringLiteral("boolean")};
const TParamType kParamTypeValues[] = {TParamType::String, TParamType::Date, TParamType::DateTime,
                                       TParamType::Float, TParamType::Integer, TParamType::Boolean};

struct FormatName {
    const char *Text;
    TColumnFormat Format;
};
const FormatName kFormats[] = {{"", TColumnFormat::Text}, {"dd/MM/yyyy", TColumnFormat::Date}, {"#,##0.00", TColumnFormat::Amount},
                               {"0", TColumnFormat::Integer}, {"0.00%", TColumnFormat::Percent}};

[[noreturn]] void fault(const QString &where, const QString &what)
{
    throw EHostError(QStringLiteral("O layout '%1' está com defeito: %2").arg(where, what));
}

QString text(const QJsonObject &o, const char *key, const QString &where, bool required)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) {
        if (required)
            fault(where, QStringLiteral("falta \"%1\".").arg(QLatin1String(key)));
        return {};
    }
    if (!v.isString())
        fault(where, QStringLiteral("\"%1\" deve ser um texto.").arg(QLatin1String(key)));
    return v.toString();
}

// A statement may be one text or a list of lines.
QString statement(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        return v.toString();
    if (v.isUndefined() || v.isNull())
        return {};
    if (!v.isArray())
        fault(where, QStringLiteral("\"%1\" deve ser um texto ou uma lista de linhas.").arg(QLatin1String(key)));
    QStringList lines;
    for (const QJsonValue &l : v.toArray()) {
        if (!l.isString())
            fault(where, QStringLiteral("cada linha de \"%1\" deve ser um texto.").arg(QLatin1String(key)));
        lines << l.toString();
    }
    return lines.join(QLatin1Char('\n'));
}

QJsonArray objects(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return {};
    if (!v.isArray())
        fault(where, QStringLiteral("\"%1\" deve ser uma lista.").arg(QLatin1String(key)));
    for (const QJsonValue &e : v.toArray())
        if (!e.isObject())
            fault(where, QStringLiteral("cada item de \"%1\" deve ser um objeto.").arg(QLatin1String(key)));
    return v.toArray();
}

QString alignName(Qt::Alignment a)
{
    return a == Qt::AlignRight ? QStringLiteral("right") : a == Qt::AlignHCenter ? QStringLiteral("center") : QStringLiteral("left");
}

QString formatName(TColumnFormat f)
{
    for (const FormatName &n : kFormats)
        if (n.Format == f)
            return QLatin1String(n.Text);
    return {};
}
} // namespace

TReportLayout TReportLayout::FromJson(const QJsonObject &d, const QString &where)
{
    TReportLayout l;
    l.Definition = d;
    l.Code = text(d, "code", where, false);
    l.Title = text(d, "title", where, true);
    if (l.Title.trimmed().isEmpty())
        fault(where, QStringLiteral("o título está vazio."));
    l.Subtitle = text(d, "subtitle", where, false);
    const QString orientation = text(d, "orientation", where, false);
    if (!orientation.isEmpty() && orientation != QStringLiteral("portrait") && orientation != QStringLiteral("landscape"))
        fault(where, QStringLiteral("\"orientation\" deve ser \"portrait\" ou \"landscape\"."));
    l.Landscape = orientation == QStringLiteral("landscape");

    for (const QJsonValue &v : objects(d, "params", where)) {
        const QJsonObject o = v.toObject();
        const QString name = text(o, "name", where, true);
        if (name.isEmpty())
            fault(where, QStringLiteral("um parâmetro não tem nome."));
        if (l.DeclaresParam(name))
            fault(where, QStringLiteral("o parâmetro '%1' foi declarado duas vezes.").arg(name));
        const QString type = text(o, "type", where, false).toLower();
        const qsizetype t = kParamTypes.indexOf(type.isEmpty() ? QStringLiteral("string") : type);
        if (t < 0)
            fault(where, QStringLiteral("o parâmetro '%1' tem o tipo desconhecido '%2'.").arg(name, type));
        const QJsonValue dateText = o.value(QStringLiteral("dateText"));
        if (!dateText.isUndefined() && !dateText.isBool())
            fault(where, QStringLiteral("\"dateText\" do parâmetro '%1' deve ser true ou false.").arg(name));
        if (dateText.toBool() && kParamTypeValues[t] != TParamType::String)
            fault(where, QStringLiteral("o parâmetro '%1' com \"dateText\" deve ser do tipo \"string\".").arg(name));
        l.Params.push_back({name, kParamTypeValues[t], dateText.toBool()});
    }
    const QJsonValue ask = d.value(QStringLiteral("ask"));
    if (!ask.isUndefined() && !ask.isArray())
        fault(where, QStringLiteral("\"ask\" deve ser uma lista."));
    l.Asks = AsksFromJson(ask.toArray(), where);
    for (const TLayoutAsk &a : l.Asks) {
        const auto declared = std::find_if(l.Params.cbegin(), l.Params.cend(), [&a](const Param &p) { return p.Name.compare(a.Name, Qt::CaseInsensitive) == 0; });
        if (declared == l.Params.cend())
            l.Params.push_back({a.Name, a.ParamType(), false});
        else if (declared->Type != a.ParamType())
            fault(where, QStringLiteral("o parâmetro '%1' é perguntado como %2, mas declarado do tipo '%3'.").arg(a.Name, ParamTypeName(a.ParamType()), ParamTypeName(declared->Type)));
    }

    l.Statement = statement(d, "statement", where);
    l.StatementPostgreSQL = statement(d, "statementPostgreSQL", where);
    l.DataSet = text(d, "dataSet", where, false);
    if (l.Statement.trimmed().isEmpty() == l.DataSet.isEmpty())
        fault(where, QStringLiteral("informe \"statement\" ou \"dataSet\", um dos dois."));
    const QJsonValue order = d.value(QStringLiteral("orderBy"));
    if (!order.isUndefined() && !order.isArray())
        fault(where, QStringLiteral("\"orderBy\" deve ser uma lista de campos."));
    for (const QJsonValue &f : order.toArray()) {
        if (!f.isString() || f.toString().trimmed().isEmpty())
            fault(where, QStringLiteral("cada campo de \"orderBy\" deve ser um nome."));
        l.OrderBy << f.toString();
    }

    for (const QJsonValue &v : objects(d, "columns", where)) {
        const QJsonObject o = v.toObject();
        Column c;
        c.Field = text(o, "field", where, true);
        c.Caption = text(o, "caption", where, false);
        c.Width = o.value(QStringLiteral("width")).toDouble(10);
        if (!(c.Width > 0) || c.Width > 1000)
            fault(where, QStringLiteral("a coluna '%1' tem largura inválida.").arg(c.Field));
        const QString align = text(o, "align", where, false);
        if (align == QStringLiteral("right"))
            c.Align = Qt::AlignRight;
        else if (align == QStringLiteral("center"))
            c.Align = Qt::AlignHCenter;
        else if (!align.isEmpty() && align != QStringLiteral("left"))
            fault(where, QStringLiteral("a coluna '%1' tem o alinhamento desconhecido '%2'.").arg(c.Field, align));
        const QString format = text(o, "format", where, false);
        bool known = false;
        for (const FormatName &n : kFormats)
            if (format == QLatin1String(n.Text)) {
                c.Format = n.Format;
                known = true;
            }
        if (!known)
            fault(where, QStringLiteral("a coluna '%1' tem o formato desconhecido '%2'.").arg(c.Field, format));
        c.Total = o.value(QStringLiteral("total")).toBool();
        const QJsonObject share = o.value(QStringLiteral("shareOf")).toObject();
        if (!share.isEmpty()) {
            c.ShareOf.DataSet = text(share, "dataSet", where, true);
            c.ShareOf.Key = text(share, "key", where, true);
            c.ShareOf.Field = text(share, "field", where, true);
        }
        if (c.Total && c.Format != TColumnFormat::Amount && c.Format != TColumnFormat::Integer)
            fault(where, QStringLiteral("a coluna '%1' só pode ser somada com formato numérico.").arg(c.Field));
        l.Columns.push_back(c);
    }
    if (l.Columns.isEmpty())
        fault(where, QStringLiteral("não há colunas."));
    if (const QJsonValue b = d.value(QStringLiteral("bands")); !b.isUndefined()) {
        const QJsonObject o = b.toObject();
        Bands bands{text(o, "param", where, true), text(o, "days", where, true), text(o, "value", where, true),
                    text(o, "field", where, true),  text(o, "after", where, true), o.value(QStringLiteral("sum")).toBool(),
                    o.value(QStringLiteral("width")).toDouble(20)};
        static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)?$"));
        for (const QString &n : {bands.Days, bands.Value, bands.Field})
            if (!name.match(n).hasMatch())
                fault(where, QStringLiteral("as faixas só aceitam nomes de coluna em \"days\", \"value\" e \"field\", não '%1'.").arg(n));
        const auto asked = std::find_if(l.Asks.cbegin(), l.Asks.cend(), [&bands](const TLayoutAsk &a) { return a.Name.compare(bands.Param, Qt::CaseInsensitive) == 0; });
        if (asked == l.Asks.cend() || asked->Type != TLayoutAsk::TType::IntegerList)
            fault(where, QStringLiteral("as faixas vêm de '%1', que deve ser uma lista de números perguntada (\"ask\").").arg(bands.Param));
        if (l.ColumnIndex(bands.After) < 0)
            fault(where, QStringLiteral("as faixas seguem a coluna '%1', que o layout não tem.").arg(bands.After));
        if (!(l.Statement + l.StatementPostgreSQL).contains(QStringLiteral("{BANDS}")))
            fault(where, QStringLiteral("a instrução deve trazer {BANDS} onde entram os valores das faixas."));
        l.AgingBands = bands;
    }
    for (const Column &c : l.Columns)
        if (!c.ShareOf.DataSet.isEmpty() && l.DataSet.isEmpty())
            fault(where, QStringLiteral("a coluna '%1' é uma participação, que só se calcula sobre um conjunto de dados.").arg(c.Field));
    for (const QJsonValue &v : objects(d, "groups", where)) {
        const QJsonObject o = v.toObject();
        Group g;
        g.Field = text(o, "field", where, true);
        g.Caption = text(o, "caption", where, false);
        g.Header = text(o, "header", where, false);
        g.Footer = text(o, "footer", where, false);
        g.Blank = text(o, "blank", where, false);
        if (g.Header.isEmpty())
            g.Header = QStringLiteral("{%1}").arg(g.Field);
        l.Groups.push_back(g);
    }
    // A data set comes in its own order; a statement's rows must come in group order.
    for (int i = 0; l.DataSet.isEmpty() && i < l.Groups.size(); ++i)
        if (i >= l.OrderBy.size() || l.OrderBy[i].section(QLatin1Char(' '), 0, 0).compare(l.Groups[i].Field, Qt::CaseInsensitive) != 0)
            fault(where, QStringLiteral("a ordem (\"orderBy\") deve começar pelos campos dos grupos, na mesma ordem."));

    const QJsonObject pareto = d.value(QStringLiteral("pareto")).toObject();
    if (!pareto.isEmpty()) {
        l.Chart.Class = text(pareto, "class", where, true);
        l.Chart.Value = text(pareto, "value", where, true);
        l.Chart.Cumulative = text(pareto, "cumulative", where, true);
        const QJsonObject totals = pareto.value(QStringLiteral("totals")).toObject();
        l.Chart.Totals = text(totals, "dataSet", where, true);
        l.Chart.TotalsKey = text(totals, "key", where, true);
        l.Chart.TotalsField = text(totals, "field", where, true);
        const QJsonObject limits = pareto.value(QStringLiteral("limits")).toObject();
        l.Chart.Limits = text(limits, "dataSet", where, true);
        for (const QJsonValue &f : limits.value(QStringLiteral("fields")).toArray())
            l.Chart.LimitFields << f.toString();
        if (l.DataSet.isEmpty() || l.Groups.isEmpty() || l.Chart.LimitFields.size() != 3)
            fault(where, QStringLiteral("o gráfico de Pareto precisa de um conjunto de dados, de um grupo e de três percentuais."));
        for (const QString &f : {l.Chart.Class, l.Chart.Value, l.Chart.Cumulative})
            if (l.ColumnIndex(f) < 0)
                fault(where, QStringLiteral("o campo '%1' do gráfico de Pareto deve ser uma coluna.").arg(f));
    }

    const QJsonObject totals = d.value(QStringLiteral("totals")).toObject();
    l.TotalCaption = text(totals, "caption", where, false);
    const QJsonObject share = totals.value(QStringLiteral("share")).toObject();
    l.ShareCaption = text(share, "caption", where, false);
    l.ShareOf = text(share, "of", where, false);
    if (!l.ShareOf.isEmpty() && (l.ColumnIndex(l.ShareOf) < 0 || !l.Columns[l.ColumnIndex(l.ShareOf)].Total))
        fault(where, QStringLiteral("a participação deve ser calculada sobre uma coluna somada."));
    return l;
}

TReportLayout TReportLayout::Load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EHostError(QStringLiteral("Não foi possível ler o layout '%1': %2").arg(path, f.errorString()));
    // A layout is a few kilobytes; anything far larger is not one.
    if (f.size() > 4 * 1024 * 1024)
        throw EHostError(QStringLiteral("O layout '%1' está com defeito: o arquivo é grande demais.").arg(path));
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError)
        throw EHostError(QStringLiteral("O layout '%1' não é um JSON válido: %2 (posição %3).").arg(path, err.errorString()).arg(err.offset));
    if (!doc.isObject())
        throw EHostError(QStringLiteral("O layout '%1' está com defeito: o conteúdo deve ser um objeto JSON.").arg(path));
    TReportLayout l = FromJson(doc.object(), path);
    l.File = path;
    return l;
}

QJsonObject TReportLayout::ToJson() const
{
    QJsonObject d;
    d[QStringLiteral("code")] = Code;
    d[QStringLiteral("title")] = Title;
    if (!Subtitle.isEmpty())
        d[QStringLiteral("subtitle")] = Subtitle;
    d[QStringLiteral("orientation")] = Landscape ? QStringLiteral("landscape") : QStringLiteral("portrait");
    QJsonArray params;
    for (const Param &p : Params)
    {
        QJsonObject o{{QStringLiteral("name"), p.Name}, {QStringLiteral("type"), ParamTypeName(p.Type)}};
        if (p.DateText)
            o[QStringLiteral("dateText")] = true;
        params.append(o);
    }
    d[QStringLiteral("params")] = params;
    if (!Asks.isEmpty())
        d[QStringLiteral("ask")] = AsksToJson(Asks);
    if (!DataSet.isEmpty())
        d[QStringLiteral("dataSet")] = DataSet;
    if (!Statement.isEmpty())
        d[QStringLiteral("statement")] = QJsonArray::fromStringList(Statement.split(QLatin1Char('\n')));
    if (!StatementPostgreSQL.isEmpty())
        d[QStringLiteral("statementPostgreSQL")] = QJsonArray::fromStringList(StatementPostgreSQL.split(QLatin1Char('\n')));
    if (!OrderBy.isEmpty())
        d[QStringLiteral("orderBy")] = QJsonArray::fromStringList(OrderBy);
    QJsonArray columns;
    for (const Column &c : Columns) {
        QJsonObject o{{QStringLiteral("field"), c.Field}, {QStringLiteral("caption"), c.Caption}, {QStringLiteral("width"), c.Width}};
        if (c.Align != Qt::AlignLeft)
            o[QStringLiteral("align")] = alignName(c.Align);
        if (c.Format != TColumnFormat::Text)
            o[QStringLiteral("format")] = formatName(c.Format);
        if (c.Total)
            o[QStringLiteral("total")] = true;
        if (!c.ShareOf.DataSet.isEmpty())
            o[QStringLiteral("shareOf")] = QJsonObject{{QStringLiteral("dataSet"), c.ShareOf.DataSet}, {QStringLiteral("key"), c.ShareOf.Key},
                                                       {QStringLiteral("field"), c.ShareOf.Field}};
        columns.append(o);
    }
    d[QStringLiteral("columns")] = columns;
    QJsonArray groups;
    for (const Group &g : Groups) {
        QJsonObject o{{QStringLiteral("field"), g.Field}, {QStringLiteral("caption"), g.Caption}, {QStringLiteral("header"), g.Header},
                      {QStringLiteral("footer"), g.Footer}};
        if (!g.Blank.isEmpty())
            o[QStringLiteral("blank")] = g.Blank;
        groups.append(o);
    }
    if (!groups.isEmpty())
        d[QStringLiteral("groups")] = groups;
    if (AgingBands)
        d[QStringLiteral("bands")] = QJsonObject{{QStringLiteral("param"), AgingBands->Param}, {QStringLiteral("days"), AgingBands->Days},
                                                 {QStringLiteral("value"), AgingBands->Value}, {QStringLiteral("field"), AgingBands->Field},
                                                 {QStringLiteral("after"), AgingBands->After}, {QStringLiteral("sum"), AgingBands->Sum},
                                                 {QStringLiteral("width"), AgingBands->Width}};
    QJsonObject totals;
    if (!TotalCaption.isEmpty())
        totals[QStringLiteral("caption")] = TotalCaption;
    if (!ShareOf.isEmpty())
        totals[QStringLiteral("share")] = QJsonObject{{QStringLiteral("caption"), ShareCaption}, {QStringLiteral("of"), ShareOf}};
    if (!totals.isEmpty())
        d[QStringLiteral("totals")] = totals;
    if (!Chart.Class.isEmpty())
        d[QStringLiteral("pareto")] = Definition.value(QStringLiteral("pareto"));
    return d;
}

bool TReportLayout::IsAsked(const QString &name) const
{
    return std::any_of(Asks.cbegin(), Asks.cend(), [&name](const TLayoutAsk &a) { return a.Name.compare(name, Qt::CaseInsensitive) == 0; });
}

bool TReportLayout::DeclaresParam(const QString &name) const
{
    for (const Param &p : Params)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

TParams TReportLayout::StatementParams(const TParams &bound) const
{
    TParams out = bound;
    for (const Param &declared : Params) {
        if (!declared.DateText)
            continue;
        TParam *p = out.FindParam(declared.Name);
        if (!p)
            continue;
        const QString text = p->IsNull() ? QString() : p->AsString().trimmed();
        p->DataType = TParamType::Date;
        p->Clear();
        if (text.isEmpty())
            continue;
        TDateTime d = 0;
        if (!TryStrToDate(text, d))
            throw EHostError(QStringLiteral("O relatório '%1': o parâmetro %2 ('%3') não é uma data no formato %4.")
                                 .arg(Title, declared.Name, text, FormatSettings().ShortDateFormat));
        p->SetAsDate(d);
    }
    return out;
}

int TReportLayout::ColumnIndex(const QString &field) const
{
    for (int i = 0; i < Columns.size(); ++i)
        if (Columns[i].Field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TReportLayout::HasTotals() const
{
    for (const Column &c : Columns)
        if (c.Total)
            return true;
    return false;
}

QString TReportLayout::StatementFor(const QString &driver) const
{
    QString sql = driver == QStringLiteral("QPSQL") && !StatementPostgreSQL.trimmed().isEmpty() ? StatementPostgreSQL : Statement;
    // Rows without a value sort last on every database (SQLite puts them first, PostgreSQL last).
    if (!OrderBy.isEmpty()) {
        QStringList order;
        for (const QString &o : OrderBy)
            order << (o.contains(QLatin1String("NULLS"), Qt::CaseInsensitive) ? o : o + QStringLiteral(" NULLS LAST"));
        sql += QStringLiteral("\nORDER BY ") + order.join(QStringLiteral(", "));
    }
    return sql;
}

QString ReportCodeDir(const QString &reportDir, const QString &code) { return QDir(reportDir).filePath(code); }

QVector<TReportLayout> LoadReportLayouts(const QString &reportDir, const QString &code)
{
    QDir dir(ReportCodeDir(reportDir, code));
    QVector<TReportLayout> out;
    if (!dir.exists())
        return out;
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &f : files) {
        try {
            out.push_back(TReportLayout::Load(dir.filePath(f)));
        } catch (const EHostError &e) {
            TReportLayout broken;
            broken.File = dir.filePath(f);
            broken.Title = QFileInfo(f).completeBaseName();
            broken.LoadError = e.Message();
            out.push_back(broken);
        }
    }
    return out;
}
