// Printed rows of the preview opened as the receivables they stand for.
#include "data/Exceptions.h"
#include "module/Cli_rec11001.h"
#include "module/ReceivableWindow.h"
#include "report/ReportDialog.h"
#include "report/ReportRows.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"

namespace {
const QStringList kNumberKey = {QStringLiteral("NRLANCTOREC")};
const QStringList kDocumentKey = {QStringLiteral("CDEMPRESA"), QStringLiteral("CDCLIENTE"), QStringLiteral("NRLANBOLREC"), QStringLiteral("DTATUAVENREC")};
} // namespace

QStringList TfrmRelLancContReceber::RowKeyFields(const TReportLayout &layout) const
{
    return layout.DataSet.compare(qryCurvaABC->objectName(), Qt::CaseInsensitive) == 0 ? kDocumentKey : kNumberKey;
}

QVector<qint64> TfrmRelLancContReceber::ReceivableNumbers(const TReportDrill &drill)
{
    QVector<qint64> numbers;
    if (drill.KeyFields == kNumberKey) {
        for (const QVariantList &key : drill.Keys)
            numbers << key.value(0).toLongLong();
        return numbers;
    }
    if (drill.KeyFields != kDocumentKey)
        throw EHostError(QStringLiteral("As linhas deste relatório não dizem a que contas a receber correspondem (%1).").arg(drill.KeyFields.join(QStringLiteral(", "))));
    for (const QVariantList &key : drill.Keys)
        numbers << m_receivables->NumbersOfDocument(key.value(0).toString(), key.value(1).toString(), key.value(2).toString(), ReportDate(key.value(3)));
    return numbers;
}

QJsonObject TfrmRelLancContReceber::OpenRows(const TReportDrill &drill, QWidget *over)
{
    const QVector<qint64> numbers = ReceivableNumbers(drill);
    if (drill.Kind == TReportDrill::Row && numbers.size() == 1)
        return OpenReceivable(numbers.first(), over);
    if (drill.Kind == TReportDrill::Row && numbers.isEmpty())
        throw EHostError(QStringLiteral("A conta a receber desta linha não está entre as contas das empresas do operador %1.").arg(Operador()));
    // A group, the total, or a curve row whose document names more than one receivable.
    const QString caption = drill.Kind == TReportDrill::Row ? QStringLiteral("documento %1 do cliente %2").arg(drill.Keys.first().value(2).toString(),
                                                                                                              drill.Keys.first().value(1).toString())
                                                            : drill.Caption;
    return OpenReceivableList(caption, numbers, over);
}

QJsonObject TfrmRelLancContReceber::OpenReceivable(qint64 number, QWidget *over)
{
    const std::optional<TReceivable> receivable = m_receivables->Read(number);
    if (!receivable)
        throw EHostError(QStringLiteral("A conta a receber %1 não está entre as contas das empresas do operador %2.").arg(number).arg(Operador()));
    TReceivableWindow window(*receivable, m_receivables->OpenOfClient(receivable->Line.Client, number), over);
    window.OpenReceivable = [this, &window](qint64 other) { RunAction([&] { OpenReceivable(other, &window); }); };
    if (TReportDesignerDialog::Interactive())
        window.exec();
    return window.Summary();
}

QJsonObject TfrmRelLancContReceber::OpenReceivableList(const QString &caption, const QVector<qint64> &numbers, QWidget *over)
{
    TReceivableListWindow window(caption, m_receivables->Lines(numbers), over);
    window.OpenReceivable = [this, &window](qint64 number) { RunAction([&] { OpenReceivable(number, &window); }); };
    if (TReportDesignerDialog::Interactive())
        window.exec();
    return window.Summary();
}
