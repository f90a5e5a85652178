#include "ReportBaseForm.h"
#include "Consiste.h"
#include "Exceptions.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

namespace {
QString &reportDirSetting()
{
    static QString dir;
    return dir;
}
} // namespace

bool TSaveDialog::Execute(QWidget *parent)
{
    if (!FileName.isEmpty())
        return true;
    FileName = QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar relatório"), QString(), Filter);
    return !FileName.isEmpty();
}

QString TfrmDadosGerRel::ReportDir()
{
    if (!reportDirSetting().isEmpty())
        return reportDirSetting();
    const QByteArray env = qgetenv("REC_REPORT_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../reports"));
}

void TfrmDadosGerRel::SetReportDir(const QString &dir) { reportDirSetting() = dir; }

TfrmDadosGerRel::TfrmDadosGerRel(const QString &name, const QString &screenCode, const QString &reportCode, QWidget *parent)
    : QWidget(parent), m_screenCode(screenCode), m_reportCode(reportCode)
{
    setObjectName(name);
    panMenu = new TPanel(QStringLiteral("panMenu"), this);
    sbtPrint = new TButtonFlat(QStringLiteral("sbtPrint"), panMenu, QStringLiteral("Imprimir"), QStringLiteral("Imprimir"));
    sbtPreview = new TButtonFlat(QStringLiteral("sbtPreview"), panMenu, QStringLiteral("Visualizar"), QStringLiteral("Visualizar"));
    sbtSalvarComo = new TButtonFlat(QStringLiteral("sbtSalvarComo"), panMenu, QStringLiteral("Salvar como"), QStringLiteral("Salvar como"));
    sbtReportEdit = new TButtonFlat(QStringLiteral("sbtReportEdit"), panMenu, QStringLiteral("Editar layout"), QStringLiteral("Editar layout"));
    lblCodRel = new TLabel(QStringLiteral("lblCodRel"), reportCode, panMenu);
    lblCodTela = new TLabel(QStringLiteral("lblCodTela"), screenCode, panMenu);
    grbDadosRel = new TGroupBox(QStringLiteral("grbDadosRel"), QString(), this, false);
    panRelat = new TPanel(QStringLiteral("panRelat"), grbDadosRel);
    auto *lblRelatorio = new TLabel(QStringLiteral("lblRelatorio"), QStringLiteral("Relatório:"), panRelat);
    cbbReportNames = new TComboBox(QStringLiteral("cbbReportNames"), panRelat);
    msgPadrao = new TMessages(QStringLiteral("msgPadrao"), this);
    msgMensagens = new TMessages(QStringLiteral("msgMensagens"), this);
    msgMensagens->Messages = {QStringLiteral("Sem_Layout|Nenhum layout de relatório foi selecionado.")};
    rpddPadrao = new TReportDesignerDialog(QStringLiteral("rpddPadrao"), this);
    svdSaveReport = new TSaveDialog(QStringLiteral("svdSaveReport"), this);
    ppmEditReport = new QMenu(this);
    ppmEditReport->setObjectName(QStringLiteral("ppmEditReport"));
    ppmSalvarRelatorio = new QMenu(this);
    ppmSalvarRelatorio->setObjectName(QStringLiteral("ppmSalvarRelatorio"));

    Place(panMenu, 0, 0, 676, 29);
    int x = 4;
    for (TButtonFlat *b : {sbtPrint, sbtPreview, sbtSalvarComo, sbtReportEdit}) {
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        Place(b, x, 2, 92, 25);
        x += 94;
    }
    Place(lblCodRel, 520, 6, 60, 17);
    Place(lblCodTela, 600, 6, 72, 17);
    Place(grbDadosRel, 0, 29, 676, 324);
    Place(panRelat, 2, 8, 672, 34);
    Place(lblRelatorio, 8, 9, 60, 17);
    Place(cbbReportNames, 70, 6, 488, 22);

    sbtPrint->OnClick = [this](QObject *s) { sbtPrintClick(s); };
    sbtPreview->OnClick = [this](QObject *s) { sbtPreviewClick(s); };
    sbtSalvarComo->OnClick = [this](QObject *s) { sbtSalvarComoClick(s); };
    sbtReportEdit->OnClick = [this](QObject *s) { sbtReportEditClick(s); };
}

TfrmDadosGerRel::~TfrmDadosGerRel() = default;

QString TfrmDadosGerRel::FormatMsg(QString text, const QStringList &args)
{
    for (const QString &a : args) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, a);
    }
    return text;
}

void TfrmDadosGerRel::DoCreate() { FormCreate(this); }
void TfrmDadosGerRel::DoShow() { FormShow(this); }
void TfrmDadosGerRel::DoActivate() { FormActivate(this); }

bool TfrmDadosGerRel::DoClose()
{
    close();
    return m_closing;
}

void TfrmDadosGerRel::FormCreate(QObject *)
{
    const QString dir = ReportDir();
    m_layouts = LoadReportLayouts(dir, m_reportCode);
    cbbReportNames->clear();
    for (const TReportLayout &l : m_layouts)
        cbbReportNames->addItem(l.Title);
    if (m_layouts.isEmpty()) {
        MensErro(FormatMsg(msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")), {m_reportCode, ReportCodeDir(dir, m_reportCode)}), false);
        return;
    }
    cbbReportNames->SetItemIndex(0);
}

void TfrmDadosGerRel::FormShow(QObject *) {}

void TfrmDadosGerRel::FormActivate(QObject *) {}

void TfrmDadosGerRel::FormClose(QObject *, TCloseAction &action) { action = TCloseAction::caFree; }

void TfrmDadosGerRel::closeEvent(QCloseEvent *e)
{
    TCloseAction action = TCloseAction::caHide;
    const bool done = FireEvent([&] { FormClose(this, action); });
    if (!done || action == TCloseAction::caNone) {
        e->ignore();
        return;
    }
    m_closing = true;
    e->accept();
    if (action == TCloseAction::caFree) {
        if (QWidget *frame = parentWidget(); frame && frame->inherits("QMdiSubWindow"))
            frame->deleteLater();
        else
            deleteLater();
    }
}

const TReportLayout &TfrmDadosGerRel::CurrentLayout()
{
    const int index = cbbReportNames->ItemIndex();
    if (index < 0 || index >= m_layouts.size())
        MensErro(FormatMsg(msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")), {m_reportCode, ReportCodeDir(ReportDir(), m_reportCode)}), true);
    return m_layouts[index];
}

void TfrmDadosGerRel::RunReport(TReportAction action) { rpddPadrao->Execute(CurrentLayout(), action, ReportOutput); }

void TfrmDadosGerRel::sbtPrintClick(QObject *) { RunReport(TReportAction::Print); }
void TfrmDadosGerRel::sbtPreviewClick(QObject *) { RunReport(TReportAction::Preview); }
void TfrmDadosGerRel::sbtSalvarComoClick(QObject *) { RunReport(TReportAction::SaveAs); }
void TfrmDadosGerRel::sbtReportEditClick(QObject *) { RunReport(TReportAction::Edit); }
