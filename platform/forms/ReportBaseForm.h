#pragma once
#include "Controls.h"
#include "Messages.h"
#include "ReportDialog.h"
#include "ReportLayout.h"
#include <QJsonObject>
#include <QMenu>
#include <QWidget>

class QCloseEvent;

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

    const QString &ScreenCode() const { return m_screenCode; }
    const QString &ReportCode() const { return m_reportCode; }
    const QVector<TReportLayout> &Layouts() const { return m_layouts; }
    // The criteria code lists of a derived screen by name, for logs of what the screen did.
    virtual QList<std::pair<QString, QString>> CodeListValues() { return {}; }
    // The criteria of a derived screen as one JSON value, for the same logs.
    virtual QJsonObject CriteriaJson() { return {}; }
    // Where the report actions write (print to file, save as); set by a batch run.
    QString ReportOutput;

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
    QString m_company;
    QString m_screenCode;
    QString m_reportCode;
    QVector<TReportLayout> m_layouts;
    bool m_closing = false;
};
