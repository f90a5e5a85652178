#include "ReportLayout.h"
#include "Exceptions.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
TParamType paramType(const QString &name, const QString &file)
{
    const QString t = name.toLower();
    if (t == QStringLiteral("string"))
        return TParamType::String;
    if (t == QStringLiteral("date"))
        return TParamType::Date;
    if (t == QStringLiteral("datetime"))
        return TParamType::DateTime;
    if (t == QStringLiteral("float"))
        return TParamType::Float;
    if (t == QStringLiteral("integer"))
        return TParamType::Integer;
    if (t == QStringLiteral("boolean"))
        return TParamType::Boolean;
    throw EHostError(QStringLiteral("O layout '%1' declara um parâmetro do tipo desconhecido '%2'.").arg(file, name));
}
} // namespace

TReportLayout TReportLayout::Load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EHostError(QStringLiteral("Não foi possível ler o layout '%1': %2").arg(path, f.errorString()));
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        throw EHostError(QStringLiteral("O layout '%1' não é um JSON válido: %2").arg(path, err.errorString()));
    TReportLayout l;
    l.File = path;
    l.Definition = doc.object();
    l.Code = l.Definition.value(QStringLiteral("code")).toString();
    l.Title = l.Definition.value(QStringLiteral("title")).toString();
    if (l.Title.isEmpty())
        throw EHostError(QStringLiteral("O layout '%1' não tem título.").arg(path));
    for (const QJsonValue &v : l.Definition.value(QStringLiteral("params")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString name = o.value(QStringLiteral("name")).toString();
        if (name.isEmpty())
            throw EHostError(QStringLiteral("O layout '%1' declara um parâmetro sem nome.").arg(path));
        l.Params.push_back({name, paramType(o.value(QStringLiteral("type")).toString(QStringLiteral("string")), path)});
    }
    return l;
}

QString ReportCodeDir(const QString &reportDir, const QString &code) { return QDir(reportDir).filePath(code); }

QVector<TReportLayout> LoadReportLayouts(const QString &reportDir, const QString &code)
{
    QDir dir(ReportCodeDir(reportDir, code));
    QVector<TReportLayout> out;
    if (!dir.exists())
        return out;
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &f : files)
        out.push_back(TReportLayout::Load(dir.filePath(f)));
    return out;
}
