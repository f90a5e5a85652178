#include "forms/ReportBaseForm.h"
#include "services/Session.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "report/LayoutEditor.h"
#include "report/PageSetupDialog.h"
#include "services/Consiste.h"
#include "services/HostContext.h"
#include "services/InstallPaths.h"
#include "ui/Events.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QShortcut>
#include <QScopeGuard>
#include <QSettings>
#include <QSqlQuery>

namespace {
QString &reportDirSetting() { return SessionState().ReportDir; }
const QString kLastFolder = QStringLiteral("ultimaPasta");
} // namespace

QString TitleSlug(const QString &title, QChar separator)
{
    QString plain;
    for (const QChar c : title.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            plain += c;
    QString slug = plain.toLower().replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QString(separator));
    while (slug.startsWith(separator))
        slug.remove(0, 1);
    slug = slug.left(60);
    while (slug.endsWith(separator))
        slug.chop(1);
    return slug.isEmpty() ? QStringLiteral("layout") : slug;
}

bool TSaveDialog::Execute(QWidget *parent)
{
    if (!FileName.isEmpty())
        return true;
    if (!TReportDesignerDialog::Interactive())
        return false;
    QString chosen;
    const QString offered = Folder.isEmpty() ? Suggested : QDir(Folder).filePath(Suggested);
    FileName = QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar relatório"), offered, Filter, &chosen);
    // A name typed without extension takes the one of the chosen type.
    if (!FileName.isEmpty() && QFileInfo(FileName).suffix().isEmpty()) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\*(\\.[a-z]+)")).match(chosen);
        if (m.hasMatch())
            FileName += m.captured(1);
    }
    return !FileName.isEmpty();
}

QString TSaveDialog::Take()
{
    QString name = FileName;
    FileName.clear();
    return name;
}

QString TfrmDadosGerRel::ReportDir()
{
    if (!reportDirSetting().isEmpty())
        return reportDirSetting();
    const QByteArray env = qgetenv("REC_REPORT_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return ProgramPath(QStringLiteral("../share/rec11001/reports"), QStringLiteral("../reports"));
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
    rpddPadrao->Source = this;
    svdSaveReport = new TSaveDialog(QStringLiteral("svdSaveReport"), this);
    ppmEditReport = new QMenu(this);
    ppmEditReport->setObjectName(QStringLiteral("ppmEditReport"));
    svdSaveReport->Filter = QStringLiteral("PDF (*.pdf);;CSV (*.csv);;HTML (*.html);;Excel (*.xlsx)");
    rpddPadrao->AskPdfFile = [this] {
        svdSaveReport->Filter = QStringLiteral("PDF (*.pdf)");
        const QString file = AskReportFile();
        svdSaveReport->Filter = QStringLiteral("PDF (*.pdf);;CSV (*.csv);;HTML (*.html);;Excel (*.xlsx)");
        return file;
    };
    ppmSalvarRelatorio = new QMenu(this);
    ppmSalvarRelatorio->setObjectName(QStringLiteral("ppmSalvarRelatorio"));
    actEditarLayout = ppmEditReport->addAction(QStringLiteral("Editar layout..."));
    actEditarLayout->setObjectName(QStringLiteral("actEditarLayout"));
    connect(actEditarLayout, &QAction::triggered, this, [this] { FireEvent([this] { sbtReportEditClick(sbtReportEdit); }); });
    actSalvarNovoLayout = ppmSalvarRelatorio->addAction(QStringLiteral("Salvar como novo layout..."));
    actSalvarNovoLayout->setObjectName(QStringLiteral("actSalvarNovoLayout"));
    actSalvarNovoLayout->setEnabled(false);
    rpddPadrao->EditLayout = [this](const TReportLayout &layout, const TParams &params) { EditLayout(layout, params); };
    // The page each operator chose for a layout, kept with their other habits.
    rpddPadrao->PageChoice = [this](const TReportLayout &layout) { return PageLayoutFromText(Preference(PageKey(layout))); };
    rpddPadrao->KeepPageChoice = [this](const TReportLayout &layout, const QPageLayout &page) { SetPreference(PageKey(layout), PageLayoutText(page)); };
    actConfigurarPagina = ppmEditReport->addAction(QStringLiteral("Configurar página..."));
    actConfigurarPagina->setObjectName(QStringLiteral("actConfigurarPagina"));
    connect(actConfigurarPagina, &QAction::triggered, this, [this] { FireEvent([this] { ConfigurarPaginaClick(); }); });

    sbtCriterios = new TButtonFlat(QStringLiteral("sbtCriterios"), panMenu, QStringLiteral("Critérios salvos"), QStringLiteral("Critérios"));
    ppmCriterios = new QMenu(this);
    ppmCriterios->setObjectName(QStringLiteral("ppmCriterios"));
    actSalvarCriterios = ppmCriterios->addAction(QStringLiteral("Salvar critérios..."));
    actSalvarCriterios->setObjectName(QStringLiteral("actSalvarCriterios"));
    actCarregarCriterios = ppmCriterios->addAction(QStringLiteral("Carregar critérios"));
    actCarregarCriterios->setObjectName(QStringLiteral("actCarregarCriterios"));
    ppmCriterios->addSeparator();
    actExcluirCriterios = ppmCriterios->addAction(QStringLiteral("Excluir critérios..."));
    actExcluirCriterios->setObjectName(QStringLiteral("actExcluirCriterios"));
    actSemPadrao = ppmCriterios->addAction(QStringLiteral("Não aplicar critérios ao abrir a tela"));
    actSemPadrao->setObjectName(QStringLiteral("actSemPadrao"));
    connect(actSalvarCriterios, &QAction::triggered, this, [this] { FireEvent([this] { SalvarCriteriosClick(); }); });
    connect(actCarregarCriterios, &QAction::triggered, this, [this] { FireEvent([this] { CarregarCriteriosClick(); }); });
    connect(actExcluirCriterios, &QAction::triggered, this, [this] { FireEvent([this] { ExcluirCriteriosClick(); }); });
    connect(actSemPadrao, &QAction::triggered, this, [this] { FireEvent([this] { SetDefaultCriteria(QString()); }); });
    ppmCriterios->addSeparator();
    actAgendarEnvio = ppmCriterios->addAction(QStringLiteral("Agendar envio..."));
    actAgendarEnvio->setObjectName(QStringLiteral("actAgendarEnvio"));
    connect(actAgendarEnvio, &QAction::triggered, this, [this] { FireEvent([this] { AgendarEnvioClick(); }); });
    sbtCriterios->setMenu(ppmCriterios);
    sbtCriterios->setPopupMode(QToolButton::InstantPopup);

    Place(panMenu, 0, 0, 676, 29);
    int x = 4;
    for (TButtonFlat *b : {sbtPrint, sbtPreview, sbtSalvarComo, sbtReportEdit, sbtCriterios}) {
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
    // The report actions from the keyboard, anywhere in the screen, as a click on their buttons.
    const struct {
        TButtonFlat *Button;
        QList<QKeySequence> Keys;
    } shortcuts[] = {{sbtPrint, {QKeySequence(Qt::CTRL | Qt::Key_P)}},
                     {sbtPreview, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), QKeySequence(Qt::Key_F5)}},
                     {sbtSalvarComo, {QKeySequence(Qt::CTRL | Qt::Key_S)}}};
    for (const auto &s : shortcuts) {
        QStringList shown;
        for (const QKeySequence &k : s.Keys) {
            auto *shortcut = new QShortcut(k, this, [button = s.Button] { button->Click(); });
            shortcut->setContext(Qt::WidgetWithChildrenShortcut);
            shown << k.toString(QKeySequence::NativeText);
        }
        s.Button->setToolTip(QStringLiteral("%1 (%2)").arg(s.Button->toolTip(), shown.join(QStringLiteral(" ou "))));
    }
    connect(cbbReportNames, &QComboBox::activated, this,
            [this] { SetPreference(m_screenCode + QStringLiteral("/ultimoRelatorio"), cbbReportNames->currentText()); });
    sbtReportEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sbtReportEdit, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { ppmEditReport->popup(sbtReportEdit->mapToGlobal(at)); });
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

void TfrmDadosGerRel::DoCreate()
{
    sbtCriterios->setVisible(CriteriaServer() != nullptr);
    FormCreate(this);
}
void TfrmDadosGerRel::DoShow() { FormShow(this); }
void TfrmDadosGerRel::DoActivate()
{
    FormActivate(this);
    if (!m_activated) {
        m_activated = true;
        ApplyDefaultCriteria();
    }
}

bool TfrmDadosGerRel::DoClose()
{
    close();
    return m_closing;
}

void TfrmDadosGerRel::ListLayouts()
{
    m_layouts = LoadReportLayouts(ReportDir(), m_reportCode);
    cbbReportNames->clear();
    for (const TReportLayout &l : m_layouts)
        cbbReportNames->addItem(l.Title);
}

void TfrmDadosGerRel::FormCreate(QObject *)
{
    const QString dir = ReportDir();
    ListLayouts();
    if (m_layouts.isEmpty()) {
        MensErro(FormatMsg(msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")), {m_reportCode, ReportCodeDir(dir, m_reportCode)}), false);
        return;
    }
    cbbReportNames->SetItemIndex(0);
    const qsizetype last = cbbReportNames->findText(Preference(m_screenCode + QStringLiteral("/ultimoRelatorio")));
    if (last > 0)
        cbbReportNames->SetItemIndex(static_cast<int>(last));
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

TReportLayout TfrmDadosGerRel::CurrentLayout()
{
    const int index = cbbReportNames->ItemIndex();
    const QString folder = ReportCodeDir(ReportDir(), m_reportCode);
    // The file is read again, so a layout changed or removed since the list was made shows as it is now.
    if (index < 0 || index >= m_layouts.size() || !QFileInfo::exists(m_layouts[index].File))
        MensErro(FormatMsg(msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")), {m_reportCode, folder}), true);
    if (!m_layouts[index].LoadError.isEmpty())
        MensErro(m_layouts[index].LoadError, true);
    return TReportLayout::Load(m_layouts[index].File);
}

QString TfrmDadosGerRel::CompanyOfBranch()
{
    if (!m_company.isEmpty())
        return m_company;
    TdtmDBGeral *db = TdtmDBGeral::Current();
    if (!db || !db->Connected())
        return {};
    TParams params;
    params.CreateParam(TParamType::String, QStringLiteral("CDFILIAL")).SetAsString(FiliProc());
    QSqlQuery q = RunStatement(db->Database(),
                               QStringLiteral("SELECT E.CDEMPRESA, E.NMEMPRESA FROM FILIAL F JOIN EMPRESA E ON E.CDEMPRESA = F.CDEMPRESA "
                                              "WHERE F.CDFILIAL = :CDFILIAL"),
                               params, QStringLiteral("Empresa da filial"));
    if (q.next())
        m_company = q.value(0).toString() + QStringLiteral(" - ") + q.value(1).toString();
    return m_company;
}

void TfrmDadosGerRel::RunReport(TReportAction action)
{
    const TReportLayout layout = CurrentLayout();
    QString output = ReportOutput;
    if (action == TReportAction::SaveAs && output.isEmpty()) {
        output = AskReportFile();
        if (output.isEmpty())
            return;
    }
    rpddPadrao->Header.Company = CompanyOfBranch();
    rpddPadrao->Header.Emission = DateTimeToQDateTime(Now());
    rpddPadrao->Execute(layout, action, output);
}

QString TfrmDadosGerRel::SuggestedFileName() const
{
    const int index = cbbReportNames->ItemIndex();
    const QString title = index >= 0 && index < m_layouts.size() ? m_layouts[index].Title : QString();
    return QStringLiteral("%1-%2.pdf").arg(TitleSlug(title, QLatin1Char('-')), DateTimeToDate(Date()).toString(Qt::ISODate));
}

QString TfrmDadosGerRel::AskReportFile()
{
    svdSaveReport->Folder = Preference(kLastFolder);
    svdSaveReport->Suggested = SuggestedFileName();
    if (!svdSaveReport->Execute(this))
        return {};
    const QString file = svdSaveReport->Take();
    SetPreference(kLastFolder, QFileInfo(file).absolutePath());
    return file;
}

QString TfrmDadosGerRel::Preference(const QString &key) const
{
    const QString file = SessionState().PreferencesFile;
    return file.isEmpty() ? QString() : QSettings(file, QSettings::IniFormat).value(Operador() + QLatin1Char('/') + key).toString();
}

void TfrmDadosGerRel::SetPreference(const QString &key, const QString &value) const
{
    const QString file = SessionState().PreferencesFile;
    if (file.isEmpty())
        return;
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(Operador() + QLatin1Char('/') + key, value);
}

QString TfrmDadosGerRel::PageKey(const TReportLayout &layout) const { return m_screenCode + QStringLiteral("/pagina/") + TitleSlug(layout.Title); }

void TfrmDadosGerRel::ConfigurarPaginaClick()
{
    TReportLayout layout = CurrentLayout();
    const QPageLayout own = ReportPageLayout(layout);
    layout.Page = rpddPadrao->PageChoice(layout);
    const QPageLayout inForce = ReportPageLayout(layout);
    // Nobody to ask in a batch or scheduled run; they keep no habits either.
    if (!TReportDesignerDialog::Interactive())
        return;
    if (const std::optional<QPageLayout> chosen = TReportDesignerDialog::AskPage(inForce, own, this))
        rpddPadrao->KeepPageChoice(layout, *chosen);
}

void TfrmDadosGerRel::sbtPrintClick(QObject *) { RunReport(TReportAction::Print); }
void TfrmDadosGerRel::sbtPreviewClick(QObject *) { RunReport(TReportAction::Preview); }
void TfrmDadosGerRel::sbtSalvarComoClick(QObject *) { RunReport(TReportAction::SaveAs); }
void TfrmDadosGerRel::sbtReportEditClick(QObject *) { RunReport(TReportAction::Edit); }

void TfrmDadosGerRel::EditLayout(const TReportLayout &layout, const TParams &params)
{
    if (!LayoutEditorScript && !TReportDesignerDialog::Interactive()) {
        // Nobody to edit it: the layout is checked as it is, and copied when a new title was given.
        TReportLayoutEditor::CheckLayout(layout, params, *this);
        if (!NewLayoutTitle.isEmpty())
            SaveLayoutAsNew(layout);
        return;
    }
    TReportLayoutEditor editor(layout, params, *this, this);
    editor.SaveNew = [this](const TReportLayout &edited) { return SaveLayoutAsNew(edited); };
    editor.btnSalvar->setText(QStringLiteral("Salvar"));
    editor.btnSalvar->setMenu(ppmSalvarRelatorio);
    connect(actSalvarNovoLayout, &QAction::triggered, &editor, [&editor] { editor.SaveAsNew(); });
    actSalvarNovoLayout->setEnabled(true);
    const auto done = qScopeGuard([this] { actSalvarNovoLayout->setEnabled(false); });
    if (LayoutEditorScript)
        LayoutEditorScript(editor);
    else
        editor.exec();
}

QString TfrmDadosGerRel::AskNewLayoutTitle(const QString &current)
{
    if (!NewLayoutTitle.isEmpty()) {
        const QString title = NewLayoutTitle.trimmed();
        NewLayoutTitle.clear();
        return title;
    }
    if (!TReportDesignerDialog::Interactive())
        return {};
    bool ok = false;
    const QString title = QInputDialog::getText(this, msgPadrao->Msg(QStringLiteral("NovoCaption")), msgPadrao->Msg(QStringLiteral("NovoPrompt")),
                                                QLineEdit::Normal, current, &ok)
                              .trimmed();
    if (ok && title.isEmpty())
        throw EHostError(QStringLiteral("Informe o título do novo relatório; o layout não foi salvo."));
    return ok ? title : QString();
}

bool TfrmDadosGerRel::SaveLayoutAsNew(const TReportLayout &layout)
{
    const QString title = AskNewLayoutTitle(layout.Title);
    if (title.isEmpty())
        return false;
    // The folder as it is now, not as it was listed.
    for (const TReportLayout &l : LoadReportLayouts(ReportDir(), m_reportCode))
        if (l.Title.trimmed().compare(title, Qt::CaseInsensitive) == 0)
            throw EHostError(QStringLiteral("Já existe um relatório com o título '%1'; o layout não foi salvo. Informe outro título.").arg(title));

    const QDir dir(ReportCodeDir(ReportDir(), m_reportCode));
    if (!dir.exists())
        throw EHostError(FormatMsg(msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")), {m_reportCode, dir.path()}));
    // The next number after the highest one in the folder, so the new layout is listed last.
    int next = 0;
    for (const QString &f : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        bool numbered = false;
        const int n = f.section(QLatin1Char('_'), 0, 0).toInt(&numbered);
        if (numbered)
            next = std::max(next, n + 1);
    }
    // Two digits keep the file-name order the list's order.
    if (next > 99)
        throw EHostError(QStringLiteral("A pasta '%1' já tem um layout de número 99; o layout não foi salvo.").arg(dir.path()));
    const QString file = dir.filePath(QStringLiteral("%1_%2.json").arg(next, 2, 10, QLatin1Char('0')).arg(TitleSlug(title)));
    if (QFileInfo::exists(file))
        throw EHostError(QStringLiteral("O arquivo '%1' já existe; o layout não foi salvo.").arg(file));

    QJsonObject json = layout.Definition.isEmpty() ? layout.ToJson() : layout.Definition;
    json[QStringLiteral("title")] = title;
    TReportLayout::FromJson(json, file);  // what is written must read back
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        throw EHostError(QStringLiteral("Não foi possível gravar o layout '%1': %2").arg(file, out.errorString()));
    out.write(QJsonDocument(json).toJson(QJsonDocument::Indented));
    if (!out.commit())
        throw EHostError(QStringLiteral("Não foi possível gravar o layout '%1': %2").arg(file, out.errorString()));

    ListLayouts();
    for (int i = 0; i < m_layouts.size(); ++i)
        if (QFileInfo(m_layouts[i].File) == QFileInfo(file))
            cbbReportNames->SetItemIndex(i);
    // The screen follows the new choice as it does a user's.
    if (cbbReportNames->OnChange)
        CallEvent([this] { cbbReportNames->OnChange(cbbReportNames); });
    return true;
}
