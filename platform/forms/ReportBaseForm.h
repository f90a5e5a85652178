#pragma once
#include "Controls.h"
#include "Messages.h"
#include "ReportDialog.h"
#include "ReportLayout.h"
#include <QJsonObject>
#include <QMenu>
#include <QWidget>
#include <functional>

class QCloseEvent;
class TReportLayoutEditor;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TFormStyle { fsNormal, fsMDIChild };

// Save dialog of the report base form; a batch run or a test sets the answer.
class TSaveDialog : public QObject {
    Q_OBJECT
public:
    TSaveDialog(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }
    QString FileName;
    QString Filter = QStringLiteral("PDF (*.pdf)");
    // Asks for a file name; false when the user gives none.
    bool Execute(QWidget *parent);
    // The chosen name, leaving the dialog to ask again next time.
    QString Take();
};

// The host's report base form: report toolbar, the layout list of the
// screen's report code, the message tables and the report engine's dialog.
class TfrmDadosGerRel : public QWidget {
    Q_OBJECT
public:
    TfrmDadosGerRel(const QString &name, const QString &screenCode, const QString &reportCode, QWidget *parent = nullptr);
    ~TfrmDadosGerRel() override;

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

    const QString &ScreenCode() const { return m_screenCode; }
    const QString &ReportCode() const { return m_reportCode; }
    const QVector<TReportLayout> &Layouts() const { return m_layouts; }
    // The criteria code lists of a derived screen by name, for logs of what the screen did.
    virtual QList<std::pair<QString, QString>> CodeListValues() { return {}; }
    // The criteria of a derived screen as one JSON value, for the same logs.
    virtual QJsonObject CriteriaJson() { return {}; }
    // Where the report actions write (print to file, save as); set by a batch run.
    QString ReportOutput;
    // Every parameter name the screen's binding assigns; the layout editor refuses any other.
    virtual QStringList ReportParamNames() { return {}; }
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

protected:
    void closeEvent(QCloseEvent *e) override;
    // Replaces each "%s" of a message-table text by the next argument.
    static QString FormatMsg(QString text, const QStringList &args);

private:
    // The chosen layout as its file holds it now; ends the action when it is missing or broken.
    TReportLayout CurrentLayout();
    // "CC - Name" of the company of the branch in process, for page headers.
    QString CompanyOfBranch();
    void RunReport(TReportAction action);
    // The hook of rpddPadrao's layout-edit action: the editor with a person, the check without one.
    void EditLayout(const TReportLayout &layout, const TParams &params);
    QString AskNewLayoutTitle(const QString &current);
    // Reads the layouts again and fills cbbReportNames.
    void ListLayouts();
    QString m_company;
    QString m_screenCode;
    QString m_reportCode;
    QVector<TReportLayout> m_layouts;
    bool m_closing = false;
};
