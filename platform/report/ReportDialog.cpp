#include "report/ReportDialog.h"
#include "data/Database.h"
#include "data/DataSet.h"
#include "data/Exceptions.h"
#include "report/LayoutAskDialog.h"
#include "report/PageSetupDialog.h"
#include "report/ReportBands.h"
#include "report/ReportPreview.h"
#include "services/HostContext.h"
#include "services/Session.h"
#include <QCoreApplication>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QWidget>

namespace {
bool &interactiveSetting() { return SessionState().PersonAtDialogs; }

} // namespace

bool TReportDesignerDialog::Interactive() { return interactiveSetting(); }
void TReportDesignerDialog::SetInteractive(bool interactive) { interactiveSetting() = interactive; }

TReportDesignerDialog::TReportDesignerDialog(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }

TParams TReportDesignerDialog::BuildParams(const TReportLayout &layout)
{
    TParams params;
    for (const auto &p : layout.Params)
        params.CreateParam(p.Type, p.Name);
    return params;
}

void TReportDesignerDialog::PrepareChart(const TReportLayout &layout)
{
    Header.GroupTotals.clear();
    std::fill(std::begin(Header.Limits), std::end(Header.Limits), 0.0);
    if (layout.Chart.Class.isEmpty())
        return;
    if (TDataSet *totals = FindDataSet(layout.Chart.Totals)) {
        const TField *key = totals->FindField(layout.Chart.TotalsKey), *value = totals->FindField(layout.Chart.TotalsField);
        if (key && value)
            for (int r = 0; r < totals->RecordCount(); ++r)
                totals->WithRecord(r, [&] { Header.GroupTotals.insert(key->AsString(), value->AsFloat()); });
    }
    if (TDataSet *limits = FindDataSet(layout.Chart.Limits); limits && limits->RecordCount() > 0)
        limits->WithRecord(0, [&] {
            for (int i = 0; i < 3; ++i)
                if (const TField *f = limits->FindField(layout.Chart.LimitFields[i]))
                    Header.Limits[i] = f->AsFloat();
        });
}

TRowsFactory TReportDesignerDialog::RowsOf(const TReportLayout &layout, const TParams &params) const
{
    if (!layout.DataSet.isEmpty()) {
        TDataSet *data = FindDataSet(layout.DataSet);
        if (!data)
            throw EHostError(QStringLiteral("O relatório '%1' lê o conjunto de dados '%2', que a tela não tem.").arg(layout.Title, layout.DataSet));
        return [this, data, &layout] { return OpenDataSetRows(*data, layout, [this](const QString &n) { return FindDataSet(n); }); };
    }
    TdtmDBGeral *module = TdtmDBGeral::Current();
    if (!module || !module->Connected())
        throw EHostError(QStringLiteral("O relatório '%1' não pôde ser gerado: nenhum banco de dados conectado.").arg(layout.Title));
    const QSqlDatabase db = module->Database();
    return [db, &layout, &params] { return OpenStatementRows(db, layout, params); };
}

struct TReportDesignerDialog::TRun {
    TReportLayout Designed;
    TReportLayout Layout;
    TParams Params;
    TReportHeader Header;
    std::unique_ptr<TReportPaginator> Pages;
    bool Done = false;
};

TReportDesignerDialog::~TReportDesignerDialog() = default;

TReportPaginator *TReportDesignerDialog::LastPages() const { return m_run && m_run->Done ? m_run->Pages.get() : nullptr; }

QJsonObject TReportDesignerDialog::OpenSpot(const TReportSpot &spot, QWidget *over)
{
    TReportPaginator *pages = LastPages();
    if (!pages)
        throw EHostError(QStringLiteral("Nenhum relatório visualizado para abrir uma linha."));
    TReportDrill drill;
    drill.Kind = spot.Kind == TReportSpot::Row ? TReportDrill::Row : spot.Kind == TReportSpot::Total ? TReportDrill::Total : TReportDrill::Group;
    drill.Caption = spot.Text;
    drill.KeyFields = pages->Layout().KeyFields;
    for (qint64 row = spot.First; row <= spot.Last; ++row)
        if (QVariantList key = pages->RowKey(row); !key.isEmpty())
            drill.Keys << std::move(key);
    if (drill.Keys.isEmpty() || !Source)
        throw EHostError(QStringLiteral("A linha escolhida do relatório '%1' não corresponde a registros que se possam abrir.").arg(pages->Layout().Title));
    pages->CloseRows();
    return Source->OpenRows(drill, over);
}

std::optional<QPageLayout> TReportDesignerDialog::AskPage(const QPageLayout &inForce, const QPageLayout &layoutDefault, QWidget *over)
{
    TPageSetupDialog dialog(inForce, layoutDefault, over);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.PageLayout();
}

bool TReportDesignerDialog::ChangePage(QWidget *over, const TReportProgress &progress)
{
    TRun &run = *m_run;
    TReportLayout designed = run.Designed;
    designed.Page.reset();
    const std::optional<QPageLayout> chosen = AskPage(run.Pages->PageLayout(), ReportPageLayout(designed), over);
    if (!chosen)
        return false;
    run.Layout.Page = *chosen;
    if (KeepPageChoice)
        KeepPageChoice(run.Designed, *chosen);
    run.Pages->SetPageLayout(*chosen);
    const TPagesResult counted = run.Pages->Count(progress);
    m_last = {counted.Rows, counted.Pages, {}};
    return true;
}

void TReportDesignerDialog::Execute(const TReportLayout &asDesigned, TReportAction action, const QString &output)
{
    m_hasLast = false;
    m_last = {};
    m_run.reset();
    Header.CriteriaLines.clear();
    // The layout's questions first: a cancel or a bad answer runs nothing.
    const QDate today = DateTimeToDate(Date());
    if (!asDesigned.Asks.isEmpty() && action != TReportAction::Edit)
        Answers = AskLayoutParams(asDesigned, Answers, today, qobject_cast<QWidget *>(parent()));
    TParams params = BuildParams(asDesigned);
    bool flag = false;
    if (Source)
        Source->GetQueryParams(params, flag);
    // What the run reads lives as long as its pages are kept.
    m_run = std::make_unique<TRun>();
    TRun &run = *m_run;
    run.Designed = asDesigned;
    run.Layout = LayoutAsRun(asDesigned, Answers, today, params);
    TReportLayout &layout = run.Layout;
    // The emission date is the engine's own value, for layouts that age amounts.
    if ((layout.Statement + layout.StatementPostgreSQL).contains(QStringLiteral(":REL_DTEMISSAO"), Qt::CaseInsensitive)
        && !params.FindParam(QStringLiteral("REL_DTEMISSAO")))
        params.CreateParam(TParamType::Date, QStringLiteral("REL_DTEMISSAO")).SetAsDate(DateToDateTime(Header.Emission.date()));
    m_lastParams = params;
    m_hasLast = true;
    run.Params = params;
    Header.Subtitle = ExpandSubtitle(layout.Subtitle, params);

    if (action == TReportAction::Edit) {
        if (EditLayout)
            EditLayout(asDesigned, params);
        return;
    }
    if (PageChoice)
        layout.Page = PageChoice(asDesigned);
    const bool previewing = action == TReportAction::Preview;
    if (previewing && Source)
        layout.KeyFields = Source->RowKeyFields(layout);
    const TRowsFactory rows = RowsOf(layout, run.Params);
    PrepareChart(layout);
    run.Header = Header;
    std::unique_ptr<TReadSnapshot> snapshot;
    if (layout.DataSet.isEmpty())
        snapshot = std::make_unique<TReadSnapshot>(TdtmDBGeral::Current()->Database());
    // The kept pages read no more inside the snapshot once the run ends.
    const auto closeRows = qScopeGuard([&run] {
        if (run.Pages)
            run.Pages->CloseRows();
    });
    // Progress: the caller's hook first; a dialog with "Cancelar" once the run takes more than a moment.
    std::unique_ptr<QProgressDialog> waiting;
    const TReportProgress progress = [&](qint64 read, int pages) {
        if (Progress && !Progress(read, pages))
            return false;
        if (!Interactive())
            return true;
        if (!waiting) {
            waiting = std::make_unique<QProgressDialog>(qobject_cast<QWidget *>(parent()));
            waiting->setWindowTitle(layout.Title);
            waiting->setCancelButtonText(QStringLiteral("Cancelar"));
            waiting->setRange(0, 0);
            waiting->setMinimumDuration(700);
            waiting->setWindowModality(Qt::WindowModal);
            waiting->setValue(0);
        }
        waiting->setLabelText(QStringLiteral("%1 registros lidos, %2 páginas montadas.").arg(read).arg(pages));
        QCoreApplication::processEvents();
        return !waiting->wasCanceled();
    };
    auto writeFile = [&](const QString &path, TReportFileType type) {
        const TPagesResult r = WriteReportFile(layout, run.Header, rows, path, type, progress);
        m_last = {r.Rows, r.Pages, path};
    };

    // A preview without a person (a batch step) lays its pages out as the PDF has them and keeps
    // them, so later steps can open its rows and search its text.
    if (previewing && (!output.isEmpty() || !Interactive())) {
        run.Pages = std::make_unique<TReportPaginator>(layout, run.Header, rows, ReportPageLayout(layout), kReportResolution);
        run.Pages->NoteSpots(true);
        const TPagesResult r = output.isEmpty() ? run.Pages->Count(progress) : WritePdfFile(*run.Pages, output, progress);
        m_last = {r.Rows, r.Pages, output};
        run.Done = true;
        return;
    }
    if (!output.isEmpty()) {
        writeFile(output, action == TReportAction::SaveAs ? ReportFileType(output) : TReportFileType::Pdf);
        return;
    }
    if (action == TReportAction::SaveAs)
        throw EHostError(QStringLiteral("Informe o arquivo em que o relatório '%1' será salvo.").arg(layout.Title));
    if (!Interactive()) {
        const TPagesResult r = PaintReport(layout, run.Header, rows, nullptr, progress);
        m_last = {r.Rows, r.Pages, {}};
        return;
    }
    QWidget *window = qobject_cast<QWidget *>(parent());
    // Every page to the printer the person chooses, or to a PDF file when no printer is installed.
    auto printAll = [&](QWidget *over) {
        if (QPrinterInfo::availablePrinterNames().isEmpty()) {
            const QString file = AskPdfFile ? AskPdfFile() : QString();
            if (!file.isEmpty())
                writeFile(file, TReportFileType::Pdf);
            return;
        }
        QPrinter printer;
        printer.setResolution(kReportResolution);
        SetupPage(layout, printer);
        printer.setDocName(layout.Title);
        QPrintDialog dialog(&printer, over);
        dialog.setWindowTitle(QStringLiteral("Imprimir: ") + layout.Title);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const TPagesResult r = PaintReport(layout, run.Header, rows, &printer, progress);
        m_last = {r.Rows, r.Pages, {}};
    };
    if (action == TReportAction::Print) {
        printAll(window);
        return;
    }
    // The preview counts the pages, then paints each page as it is shown, laid out as the PDF and the printer lay it out.
    run.Pages = std::make_unique<TReportPaginator>(layout, run.Header, rows, ReportPageLayout(layout), kReportResolution);
    TReportPaginator &pages = *run.Pages;
    pages.NoteSpots(true);
    const TPagesResult counted = pages.Count(progress);
    m_last = {counted.Rows, counted.Pages, {}};
    run.Done = true;
    waiting.reset();
    TReportPreviewDialog preview(pages, window);
    preview.setWindowTitle(QStringLiteral("Visualizar: ") + layout.Title);
    // The progress of a print or save from the preview closes with it.
    preview.Print = [&] {
        const auto done = qScopeGuard([&] { waiting.reset(); });
        printAll(&preview);
    };
    if (AskPdfFile)
        preview.SavePdf = [&] {
            const auto done = qScopeGuard([&] { waiting.reset(); });
            const QString file = AskPdfFile();
            if (!file.isEmpty())
                writeFile(file, TReportFileType::Pdf);
        };
    preview.OpenSpot = [&](const TReportSpot &spot) { OpenSpot(spot, &preview); };
    preview.PageSetup = [&] {
        const auto done = qScopeGuard([&] { waiting.reset(); });
        return ChangePage(&preview, progress);
    };
    preview.resize(1000, 760);
    preview.exec();
    if (!preview.Failure().isEmpty())
        throw EHostError(preview.Failure());
}
