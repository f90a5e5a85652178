#pragma once
#include "data/Exceptions.h"
#include "report/ReportDialog.h"
#include "report/ReportLayout.h"
#include "report/ReportSource.h"
#include "services/Messages.h"
#include "ui/Controls.h"
#include <QJsonObject>
#include <QMenu>
#include <QWidget>
#include <functional>

class QCloseEvent;
class TReportLayoutEditor;
class TNetConnection;
class TMailScheduleDialog;

// A title as a part of a file name: lower case, no accents, other characters as the separator.
QString TitleSlug(const QString &title, QChar separator = QLatin1Char('_'));

// The answer to one saved-criteria prompt: the name to save or load (empty: the user
// cancelled) and, when saving, whether the dates are pinned and the set becomes the default.
struct TCriteriaAnswer {
    QString Name;
    bool PinDates = false;
    bool MakeDefault = false;
};

// One saved criteria set of the operator on a screen, as the server lists it.
struct TSavedCriteria {
    QString Name;
    bool Default = false;
    QString SavedAt; // yyyy-MM-ddTHH:mm:ss
};

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TFormStyle { fsNormal, fsMDIChild };

// Save dialog of the report base form; a batch run or a test sets the answer.
class TSaveDialog : public QObject {
    Q_OBJECT
public:
    TSaveDialog(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }
    QString FileName;
    QString Filter = QStringLiteral("PDF (*.pdf)");
    // Where the dialog opens and the name it offers.
    QString Folder, Suggested;
    // Asks for a file name; false when the user gives none.
    bool Execute(QWidget *parent);
    // The chosen name, leaving the dialog to ask again next time.
    QString Take();
};

// The host's report base form: report toolbar, the layout list of the
// screen's report code, the message tables and the report engine's dialog.
class TfrmDadosGerRel : public QWidget, public TReportSource {
    Q_OBJECT
public:
    TfrmDadosGerRel(const QString &name, const QString &screenCode, const QString &reportCode, QWidget *parent = nullptr);
    ~TfrmDadosGerRel() override;

    // A control or component of the screen by its object name, as batch runs and tests reach
    // them; EHostError when the screen has none of that name and type.
    template <class T> T *Control(const QString &name) const
    {
        if (T *found = findChild<T *>(name))
            return found;
        throw EHostError(QStringLiteral("A tela %1 não tem o controle %2.").arg(objectName(), name));
    }
    template <class T> T *Control(const char *name) const { return Control<T>(QString::fromLatin1(name)); }

    TFormStyle FormStyle = TFormStyle::fsMDIChild;
    bool DesignVisible = true;
    QString HelpFile;
    // Where the form's window first appears inside the main window.
    QPoint DesignPosition;
    int HelpContext = 0;

    // Inherited components.
    TLabel *lblCodTela;
    TGroupBox *grbDadosRel;
    TPanel *panRelat;
    TComboBox *cbbReportNames;
    TPanel *panMenu;
    TLabel *lblCodRel;
    TButtonFlat *sbtPrint;
    TButtonFlat *sbtPreview;
    TButtonFlat *sbtSalvarComo;
    TButtonFlat *sbtReportEdit;
    TMessages *msgPadrao;
    TMessages *msgMensagens;
    TReportDesignerDialog *rpddPadrao;
    TSaveDialog *svdSaveReport;
    QMenu *ppmEditReport;
    QMenu *ppmSalvarRelatorio;
    // "Editar layout..." of ppmEditReport and "Salvar como novo layout..." of
    // ppmSalvarRelatorio; the second works while the layout editor is open.
    QAction *actEditarLayout;
    QAction *actSalvarNovoLayout;
    // "Configurar página..." of ppmEditReport: the paper, orientation and margins of the chosen
    // layout, kept for the operator (the preview's "Configurar página" does the same).
    QAction *actConfigurarPagina;
    void ConfigurarPaginaClick();

    const QString &ScreenCode() const { return m_screenCode; }
    const QString &ReportCode() const { return m_reportCode; }
    const QVector<TReportLayout> &Layouts() const { return m_layouts; }
    // The criteria code lists of a derived screen by name, for logs of what the screen did.
    virtual QList<std::pair<QString, QString>> CodeListValues() { return {}; }
    // The criteria of a derived screen as one JSON value, for the same logs and saved criteria.
    virtual QJsonObject CriteriaJson() { return {}; }
    // Applies criteria given as CriteriaJson gives them through the controls' handlers, as a
    // user's clicks do; what no longer fits the screen is left as it is and named in the result.
    // Raises EHostError when the screen keeps no criteria or the value is not one of its criteria.
    virtual QStringList ApplyCriteriaJson(const QJsonObject &json);
    // The criteria in words, as the "Opções de Emissão" block prints them; here, what the last run printed.
    virtual QStringList EmissionOptionLines() { return rpddPadrao->Header.CriteriaLines; }
    // The connection that stores the screen's saved criteria; none: the screen offers no saved criteria.
    virtual TNetConnection *CriteriaServer() { return nullptr; }

    // Saved criteria: "Salvar critérios..." and "Carregar critérios" of ppmCriterios.
    TButtonFlat *sbtCriterios;
    QMenu *ppmCriterios;
    QAction *actSalvarCriterios;
    QAction *actCarregarCriterios;
    QAction *actExcluirCriterios;
    QAction *actSemPadrao;
    // "Agendar envio...": a saved set's report by e-mail on a schedule (systemd user timers).
    QAction *actAgendarEnvio;
    // Works the schedule dialog in place of a person (a test sets it); the dialog then does not wait for one.
    std::function<void(TMailScheduleDialog &dialog)> MailScheduleScript;
    void AgendarEnvioClick();
    // Answers to the next saved-criteria prompts, used in order; a test or a run without a person sets them.
    // Without a person and without an answer, a prompt is cancelled.
    QList<TCriteriaAnswer> CriteriaAnswers;
    // The operator's sets on this screen, by name.
    QList<TSavedCriteria> SavedCriteria();
    // Stores the screen's criteria under the name (a name in use is replaced). Unpinned dates are
    // kept as days from today, so they move with the clock; pinned ones as they are.
    void SaveCriteria(const QString &name, bool pinDates, bool makeDefault);
    // Applies the named set; what it could not restore is shown in one message and returned.
    QStringList LoadCriteria(const QString &name);
    void DeleteCriteria(const QString &name);
    // Marks the named set as the one applied when the screen opens; a blank name: none.
    void SetDefaultCriteria(const QString &name);
    // The menu's actions, with their prompts.
    void SalvarCriteriosClick();
    void CarregarCriteriosClick();
    void ExcluirCriteriosClick();
    // The stored form of criteria: dates as days from today unless pinned, and back.
    static QJsonObject StoredCriteria(const QJsonObject &criteria, bool pinDates, const QDate &today);
    static QJsonObject CriteriaOfStored(const QJsonObject &stored, const QDate &today);
    // Where the report actions write (print to file, save as); set by a batch run.
    QString ReportOutput;
    // What the engine asks of the screen; a screen without criteria gives nothing.
    void GetQueryParams(TParams &, bool &) override {}
    QStringList QueryParamNames() const override { return {}; }
    TDataSet *DataSetNamed(const QString &) const override { return nullptr; }
    // The answer to the next new-title prompt, used once; set by a batch run or a test.
    QString NewLayoutTitle;
    // Works the layout editor in place of a person (a test sets it); the editor then does not wait for one.
    std::function<void(TReportLayoutEditor &editor)> LayoutEditorScript;
    // Writes a checked layout as the next numbered file of the report folder under a
    // new title asked with NovoCaption/NovoPrompt, then lists and selects it. False when
    // no title was given; raises EHostError for a title in use or a failed write.
    bool SaveLayoutAsNew(const TReportLayout &layout);

    // Lifecycle, run by the host in this order: create, show, activate; close on closing.
    void DoCreate();
    void DoShow();
    // Activates the form; the first time, after FormActivate, the operator's default saved criteria are applied.
    void DoActivate();
    // Closes the form as the user does; returns false when the form refused.
    bool DoClose();

    virtual void FormCreate(QObject *sender);
    virtual void FormShow(QObject *sender);
    virtual void FormActivate(QObject *sender);
    virtual void FormClose(QObject *sender, TCloseAction &action);
    virtual void sbtPrintClick(QObject *sender);
    virtual void sbtPreviewClick(QObject *sender);
    virtual void sbtSalvarComoClick(QObject *sender);
    virtual void sbtReportEditClick(QObject *sender);

    // Folder of the report layouts: the host's report directory.
    static QString ReportDir();
    static void SetReportDir(const QString &dir);
    // Another report folder for the scope's lifetime; the previous one comes back after it.
    class TReportDirScope {
    public:
        explicit TReportDirScope(const QString &dir) : m_previous(ReportDir()) { SetReportDir(dir); }
        ~TReportDirScope() { SetReportDir(m_previous); }
        TReportDirScope(const TReportDirScope &) = delete;
        TReportDirScope &operator=(const TReportDirScope &) = delete;

    private:
        QString m_previous;
    };

protected:
    void closeEvent(QCloseEvent *e) override;
    // Replaces each "%s" of a message-table text by the next argument.
    static QString FormatMsg(QString text, const QStringList &args);

private:
    // The chosen layout as its file holds it now; ends the action when it is missing or broken.
    TReportLayout CurrentLayout();
    // The file a person chooses to save the report to, offered in the last folder used under the
    // layout's title and today's date; empty when cancelled.
    QString AskReportFile();
    QString SuggestedFileName() const;
    // The operator's habits in the session's preferences file; nothing without one.
    QString Preference(const QString &key) const;
    void SetPreference(const QString &key, const QString &value) const;
    // Where the page chosen for a layout is kept among the operator's habits.
    QString PageKey(const TReportLayout &layout) const;
    // "CC - Name" of the company of the branch in process, for page headers.
    QString CompanyOfBranch();
    void RunReport(TReportAction action);
    // The hook of rpddPadrao's layout-edit action: the editor with a person, the check without one.
    void EditLayout(const TReportLayout &layout, const TParams &params);
    QString AskNewLayoutTitle(const QString &current);
    // The next scripted answer, or the person's; cancelled without either.
    TCriteriaAnswer AskCriteria(bool saving, const QList<TSavedCriteria> &sets);
    QVariant CallCriteria(const QString &method, const QVariantList &args);
    void ApplyDefaultCriteria();
    bool m_activated = false;
    // Reads the layouts again and fills cbbReportNames.
    void ListLayouts();
    QString m_company;
    QString m_screenCode;
    QString m_reportCode;
    QVector<TReportLayout> m_layouts;
    bool m_closing = false;
};
