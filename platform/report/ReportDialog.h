#pragma once
#include "data/Params.h"
#include "report/ReportExport.h"
#include "report/ReportLayout.h"
#include "report/ReportSource.h"
#include <QJsonObject>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class TDataSet;
class QWidget;

enum class TReportAction { Print, Preview, SaveAs, Edit };

// What the last run of the dialog produced.
struct TReportResult {
    qint64 Rows = 0;
    int Pages = 0;
    QString Output;  // the file written; empty when none
};

// The report engine's dialog: it builds the chosen layout's parameter
// collection, asks the form for the values, runs the layout and sends its
// pages to the printer, the preview or a file.
class TReportDesignerDialog : public QObject {
    Q_OBJECT
public:
    explicit TReportDesignerDialog(const QString &name, QObject *parent = nullptr);

    // The screen asked for the parameters before the layout's query is opened, and for
    // the data sets layouts name.
    TReportSource *Source = nullptr;
    // Page header facts; CriteriaLines is cleared before each run, so the
    // source may fill it while it gives the parameters.
    TReportHeader Header;
    // Asks a person for a file to print to when no printer is installed; empty: cancelled.
    std::function<QString()> AskPdfFile;
    // Checks a layout edited by a person and saves it; set by the form that lists the layouts.
    std::function<void(const TReportLayout &layout, const TParams &params)> EditLayout;

    // The answers to the parameters layouts ask for, part of the screen's criteria: asked
    // before a layout that has such parameters runs, and kept for the next run.
    TLayoutAnswers Answers;

    // Told of the rows read and pages laid out while a report runs; false cancels the run.
    TReportProgress Progress;

    // The page a person chose for a layout, read before each run (none: the layout's own), and
    // where "Configurar página" keeps a new choice; set by the form that lists the layouts.
    std::function<std::optional<QPageLayout>(const TReportLayout &layout)> PageChoice;
    std::function<void(const TReportLayout &layout, const QPageLayout &page)> KeepPageChoice;
    // "Configurar página" for a layout laid out on `inForce` now; none when the person cancelled.
    static std::optional<QPageLayout> AskPage(const QPageLayout &inForce, const QPageLayout &layoutDefault, QWidget *over);

    // The layout's declared parameters, each of its type and null.
    static TParams BuildParams(const TReportLayout &layout);
    // Runs an action over a layout. With an output path the action writes that
    // file (print and preview as PDF); without one, print and preview show the
    // system's dialogs when a person is there and only lay the pages out when not.
    void Execute(const TReportLayout &layout, TReportAction action, const QString &output = {});

    // The parameters as the last layout's query received them.
    const TParams &LastParams() const { return m_lastParams; }
    bool HasLastParams() const { return m_hasLast; }
    void ClearLastParams() { m_hasLast = false; m_lastParams.Clear(); }
    const TReportResult &LastResult() const { return m_last; }
    // The pages of the last preview, kept after it closed, with where each row stands; null
    // when the last run was no preview or did not finish.
    TReportPaginator *LastPages() const;
    // Opens what a spot of those pages stands for through the screen; returns what it opened.
    QJsonObject OpenSpot(const TReportSpot &spot, QWidget *over);

    // Whether a person is there to answer dialogs; batch runs and tests leave it off.
    static bool Interactive();
    static void SetInteractive(bool interactive);
    // A person at the dialogs, or none, for the scope's lifetime.
    class TInteractiveScope {
    public:
        explicit TInteractiveScope(bool interactive) : m_previous(Interactive()) { SetInteractive(interactive); }
        ~TInteractiveScope() { SetInteractive(m_previous); }
        TInteractiveScope(const TInteractiveScope &) = delete;
        TInteractiveScope &operator=(const TInteractiveScope &) = delete;

    private:
        bool m_previous;
    };

private:
    TRowsFactory RowsOf(const TReportLayout &layout, const TParams &params) const;
    TDataSet *FindDataSet(const QString &name) const { return Source ? Source->DataSetNamed(name) : nullptr; }
    // The group totals and class limits a Pareto section draws from.
    void PrepareChart(const TReportLayout &layout);
    // Runs "Configurar página" for the preview's pages; true when they were laid out again.
    bool ChangePage(QWidget *over, const TReportProgress &progress);
    TParams m_lastParams;
    bool m_hasLast = false;
    TReportResult m_last;
    // What a run lays out from, kept with its pages for as long as they are asked about.
    struct TRun;
    std::unique_ptr<TRun> m_run;

public:
    ~TReportDesignerDialog() override;
};
