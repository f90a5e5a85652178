#include "host/Batch.h"
#include "data/Exceptions.h"
#include "host/HostWindow.h"
#include "host/LoginDialog.h"
#include "net/NetConnection.h"
#include "report/ReportSearch.h"
#include "services/MessagePresenter.h"
#include "services/Modules.h"
#include "ui/Events.h"
#include "ui/SearchList.h"
#include <QApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMdiSubWindow>
#include <QSaveFile>
#include <QTabBar>
#include <QSet>
#include <algorithm>
#include <map>
#include <memory>
#include <cmath>
#include <limits>

// The screen's controls by name and kind, read from the module's form as designed (built, not created).
struct ControlIndex {
    QSet<QString> clickable, editable, pages, radioGroups, all;
    explicit ControlIndex(const QMetaObject &formClass)
    {
        std::unique_ptr<QObject> form(formClass.newInstance(Q_ARG(QWidget *, nullptr)));
        if (!form)
            throw EHostError(QStringLiteral("O módulo não permite ler o desenho da tela."));
        for (QWidget *w : form->findChildren<QWidget *>()) {
            const QString n = w->objectName();
            if (n.isEmpty())
                continue;
            all << n;
            if (qobject_cast<QAbstractButton *>(w) && !n.contains(QLatin1Char('_')))
                clickable << n;
            if (qobject_cast<QLineEdit *>(w))
                editable << n;
            if (dynamic_cast<TTabSheet *>(w))
                pages << n;
            if (dynamic_cast<TRadioGroup *>(w))
                radioGroups << n;
        }
    }
};


namespace {

const QStringList kActions = {QStringLiteral("print"), QStringLiteral("preview"), QStringLiteral("save"), QStringLiteral("edit")};

// A script is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxScriptBytes = 16 * 1024 * 1024;

// A list position given in a script: a whole number from 0 to the largest int.
bool wholeIndex(const QJsonValue &v, int &out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!(d >= 0 && d <= std::numeric_limits<int>::max()) || d != std::floor(d))
        return false;
    out = static_cast<int>(d);
    return true;
}


Qt::Key qtKeyOf(int vk)
{
    if (vk >= 112 && vk <= 135)
        return static_cast<Qt::Key>(Qt::Key_F1 + (vk - 112));
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<Qt::Key>(vk);
    switch (vk) {
    case 8: return Qt::Key_Backspace;
    case 9: return Qt::Key_Tab;
    case 13: return Qt::Key_Return;
    case 27: return Qt::Key_Escape;
    case 32: return Qt::Key_Space;
    case 37: return Qt::Key_Left;
    case 38: return Qt::Key_Up;
    case 39: return Qt::Key_Right;
    case 40: return Qt::Key_Down;
    case 46: return Qt::Key_Delete;
    default: return Qt::Key_unknown;
    }
}

QJsonObject controlState(QWidget *w)
{
    QJsonObject o;
    o[QStringLiteral("enabled")] = w->isEnabled();
    o[QStringLiteral("visible")] = !w->isHidden();
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        o[QStringLiteral("checked")] = b->isChecked();
        o[QStringLiteral("text")] = b->text();
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        o[QStringLiteral("checked")] = false;
        auto *d = dynamic_cast<TDateEditPlus *>(w);
        o[QStringLiteral("text")] = d ? d->Text() : e->text();
    } else if (auto *rg = dynamic_cast<TRadioGroup *>(w)) {
        o[QStringLiteral("checked")] = false;
        o[QStringLiteral("text")] = rg->title();
        o[QStringLiteral("itemIndex")] = rg->ItemIndex();
    } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
        o[QStringLiteral("checked")] = g->isChecked();
        o[QStringLiteral("text")] = g->title();
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        o[QStringLiteral("checked")] = false;
        o[QStringLiteral("text")] = c->currentText();
        o[QStringLiteral("itemIndex")] = c->currentIndex();
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        o[QStringLiteral("checked")] = false;
        o[QStringLiteral("text")] = l->text();
    } else if (auto *t = dynamic_cast<TTabSheet *>(w)) {
        o[QStringLiteral("checked")] = false;
        o[QStringLiteral("text")] = t->Caption;
    } else {
        return {};
    }
    return o;
}

QJsonObject formState(TfrmDadosGerRel &form)
{
    QJsonObject state;
    for (QWidget *w : form.findChildren<QWidget *>()) {
        const QString n = w->objectName();
        if (n.isEmpty() || n.contains(QLatin1Char('_')) || state.contains(n))
            continue;
        const QJsonObject o = controlState(w);
        if (!o.isEmpty())
            state[n] = o;
    }
    for (const auto &[name, list] : form.CodeListValues())
        state[name] = list;
    return state;
}

QJsonArray paramsLog(const TParams &params)
{
    QJsonArray out;
    for (int i = 0; i < params.Count(); ++i) {
        const TParam &p = params[i];
        out.append(QJsonObject{{QStringLiteral("name"), p.Name},
                               {QStringLiteral("type"), ParamTypeName(p.DataType)},
                               {QStringLiteral("null"), p.IsNull()},
                               {QStringLiteral("value"), p.AsString()}});
    }
    return out;
}

QStringList splitCodes(const QString &codes)
{
    QStringList out;
    for (const QString &c : codes.split(QLatin1Char('_'), Qt::SkipEmptyParts))
        out << c;
    return out;
}


// One step's check: the step, its verb's value, whether a screen is open by then and,
// when known, the screen's controls.
struct TStepCheck {
    const QJsonObject &Step;
    QString Verb;
    QJsonValue Value;
    bool &Open;
    const ControlIndex *Controls;
    QString &Error;
    QString Where;

    bool Fail(const QString &problem)
    {
        Error = QStringLiteral("%1: %2").arg(Where, problem);
        return false;
    }
    bool NeedOpen() { return Open ? true : Fail(QStringLiteral("\"%1\" antes de abrir uma tela com {\"open\": CÓDIGO}").arg(Verb)); }
    // The value names a control of the kind; the names are checked once the screen is known.
    bool NeedName(QSet<QString> ControlIndex::*kinds, const QString &kind)
    {
        if (!Value.isString() || Value.toString().isEmpty())
            return Fail(QStringLiteral("\"%1\" deve trazer o nome de um controle").arg(Verb));
        if (Controls && !(Controls->*kinds).contains(Value.toString()))
            return Fail(QStringLiteral("\"%1\" não é %2 da tela").arg(Value.toString(), kind));
        return NeedOpen();
    }
};

// One step's run: the screen open (none before "open"), its messages, and what the step leaves for the log.
struct TStepRun {
    const QJsonObject &Step;
    QJsonValue Value;
    TfrmDadosGerRel *Form;
    TRecordingPresenter &Messages;
    const QString &ScriptDir;
    // The form class of the screen the script opened.
    const QMetaObject *&ScreenClass;
    bool ParamsFromThisStep = false;
    // What the step found, logged under its verb; empty: nothing.
    QJsonObject Result = {};

    QWidget *Control(const QString &name) const { return Form ? Form->findChild<QWidget *>(name) : nullptr; }
    TPageControl *Pages() const { return Form->findChild<TPageControl *>(QStringLiteral("pgcRelatorio")); }
};

// A verb of the scripts: its check before anything runs, and its run.
struct TVerb {
    const char *Name;
    bool NeedsScreen; // refused at run time while no screen is open
    bool (*Check)(TStepCheck &);
    void (*Run)(TStepRun &);
};

bool checkClick(TStepCheck &c)
{
    if (!c.Step.contains(QStringLiteral("item")))
        return c.NeedName(&ControlIndex::clickable, QStringLiteral("um botão, caixa de marcação ou opção"));
    if (!c.NeedName(&ControlIndex::radioGroups, QStringLiteral("um grupo de opções")))
        return false;
    int item = 0;
    if (!wholeIndex(c.Step.value(QStringLiteral("item")), item))
        return c.Fail(QStringLiteral("\"item\" deve ser um número inteiro de 0 a %1").arg(std::numeric_limits<int>::max()));
    return true;
}

bool checkKey(TStepCheck &c)
{
    if (!c.Step.value(QStringLiteral("code")).isDouble() || qtKeyOf(c.Step.value(QStringLiteral("code")).toInt()) == Qt::Key_unknown)
        return c.Fail(QStringLiteral("\"code\" deve ser um código de tecla conhecido"));
    if (c.Step.contains(QStringLiteral("shift")) && !c.Step.value(QStringLiteral("shift")).isArray())
        return c.Fail(QStringLiteral("\"shift\" deve ser uma lista, por exemplo [\"ctrl\"]"));
    for (const QJsonValue &m : c.Step.value(QStringLiteral("shift")).toArray())
        if (!QStringList{QStringLiteral("ctrl"), QStringLiteral("shift"), QStringLiteral("alt")}.contains(m.toString()))
            return c.Fail(QStringLiteral("modificador \"%1\" desconhecido (ctrl, shift, alt)").arg(m.toString()));
    return c.NeedName(&ControlIndex::all, QStringLiteral("um controle"));
}

bool checkPick(TStepCheck &c)
{
    if (c.Value.isString() && c.Value.toString() == QStringLiteral("cancel"))
        return true;
    if (!c.Value.isArray())
        return c.Fail(QStringLiteral("\"pick\" deve ser uma lista de códigos ou \"cancel\""));
    for (const QJsonValue &code : c.Value.toArray())
        if (!code.isString())
            return c.Fail(QStringLiteral("os códigos de \"pick\" devem ser textos"));
    return true;
}

bool checkAction(TStepCheck &c)
{
    if (!kActions.contains(c.Value.toString()))
        return c.Fail(QStringLiteral("ação \"%1\" desconhecida (%2)").arg(c.Value.toString(), kActions.join(QStringLiteral(", "))));
    if (c.Step.contains(QStringLiteral("output")) && !c.Step.value(QStringLiteral("output")).isString())
        return c.Fail(QStringLiteral("\"output\" deve ser um caminho"));
    return c.NeedOpen();
}

void runClick(TStepRun &r)
{
    QWidget *w = r.Control(r.Value.toString());
    if (auto *rg = dynamic_cast<TRadioGroup *>(w)) {
        const int item = r.Step.value(QStringLiteral("item")).toInt();
        if (item >= 0 && item < rg->Count())
            SendClick(rg->Button(item), rg->Button(item)->rect().center());
    } else if (w) {
        SendClick(w, w->rect().center());
    }
}

void runType(TStepRun &r)
{
    auto *edit = qobject_cast<QLineEdit *>(r.Control(r.Value.toString()));
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    SendKey(edit, Qt::Key_Delete);
    edit->home(false);
    SendText(edit, r.Step.value(QStringLiteral("text")).toString());
}

void runKey(TStepRun &r)
{
    Qt::KeyboardModifiers mods;
    for (const QJsonValue &m : r.Step.value(QStringLiteral("shift")).toArray())
        mods |= m.toString() == QStringLiteral("ctrl") ? Qt::ControlModifier : m.toString() == QStringLiteral("alt") ? Qt::AltModifier : Qt::ShiftModifier;
    SendKey(r.Control(r.Value.toString()), qtKeyOf(r.Step.value(QStringLiteral("code")).toInt()), mods);
}

void runPick(TStepRun &r)
{
    if (r.Value.isString()) {
        TSearchListScript::PushCancel();
        return;
    }
    QStringList codes;
    for (const QJsonValue &c : r.Value.toArray())
        codes << c.toString();
    TSearchListScript::PushCodes(codes);
}

void runAction(TStepRun &r)
{
    TfrmDadosGerRel *form = r.Form;
    const QString action = r.Value.toString();
    // A relative output is the script's, wherever the host runs.
    QString output = r.Step.value(QStringLiteral("output")).toString();
    if (!output.isEmpty() && QDir::isRelativePath(output))
        output = QDir(r.ScriptDir).filePath(output);
    form->ReportOutput = output;
    form->svdSaveReport->FileName = form->ReportOutput;
    form->NewLayoutTitle = r.Step.value(QStringLiteral("title")).toString();
    form->rpddPadrao->ClearLastParams();
    TButtonFlat *button = action == QStringLiteral("print")     ? form->sbtPrint
                          : action == QStringLiteral("preview") ? form->sbtPreview
                          : action == QStringLiteral("save")    ? form->sbtSalvarComo
                                                                : form->sbtReportEdit;
    button->Click();
    r.ParamsFromThisStep = form->rpddPadrao->HasLastParams();
}

bool checkDrill(TStepCheck &c)
{
    const QJsonObject at = c.Value.toObject();
    int page = 0, row = 0;
    if (!c.Value.isObject() || !wholeIndex(at.value(QStringLiteral("page")), page) || !wholeIndex(at.value(QStringLiteral("row")), row) || page < 1
        || row < 1)
        return c.Fail(QStringLiteral("\"drill\" deve trazer {\"page\": P, \"row\": R}, a página e a linha contadas de 1"));
    return c.NeedOpen();
}

bool checkFind(TStepCheck &c)
{
    if (!c.Value.isString() || c.Value.toString().isEmpty())
        return c.Fail(QStringLiteral("\"find\" deve trazer o texto a localizar"));
    return c.NeedOpen();
}

// The pages of the last preview, or a message saying a preview must come first.
TReportPaginator *previewedPages(TStepRun &r)
{
    TReportPaginator *pages = r.Form->rpddPadrao->LastPages();
    if (!pages)
        r.Messages.ShowError(QStringLiteral("\"%1\" precisa de um passo {\"action\": \"preview\"} antes; nenhum relatório está visualizado.")
                                 .arg(r.Step.contains(QStringLiteral("drill")) ? QStringLiteral("drill") : QStringLiteral("find")));
    return pages;
}

// Opens the R-th row printed on page P (headers, footers and totals are not rows), as a double click there does.
void runDrill(TStepRun &r)
{
    TReportPaginator *pages = previewedPages(r);
    if (!pages)
        return;
    const int page = r.Value[QStringLiteral("page")].toInt(), row = r.Value[QStringLiteral("row")].toInt();
    if (page > pages->PageCount()) {
        const QString has = pages->PageCount() == 1 ? QStringLiteral("uma página") : QStringLiteral("%1 páginas").arg(pages->PageCount());
        r.Messages.ShowError(QStringLiteral("O relatório visualizado tem %1; não há a página %2.").arg(has).arg(page));
        return;
    }
    QVector<const TReportSpot *> rows;
    for (const TReportSpot &spot : pages->Spots(page))
        if (spot.Kind == TReportSpot::Row)
            rows << &spot;
    if (row > rows.size()) {
        const QString has = rows.size() == 1 ? QStringLiteral("uma linha") : QStringLiteral("%1 linhas").arg(rows.size());
        r.Messages.ShowError(QStringLiteral("A página %1 tem %2; não há a linha %3.").arg(page).arg(has).arg(row));
        return;
    }
    const TReportSpot spot = *rows[row - 1];
    FireEvent([&] {
        r.Result = r.Form->rpddPadrao->OpenSpot(spot, r.Form);
        r.Result[QStringLiteral("page")] = page;
        r.Result[QStringLiteral("row")] = row;
    });
}

// Finds a text on every page of the last preview, as the preview's search does.
void runFind(TStepRun &r)
{
    TReportPaginator *pages = previewedPages(r);
    if (!pages)
        return;
    FireEvent([&] {
        const QVector<TTextMatch> matches = TReportFinder(*pages).Find(r.Value.toString());
        QJsonArray perPage;
        for (const auto &[page, count] : TReportFinder::PerPage(matches))
            perPage.append(QJsonObject{{QStringLiteral("page"), page}, {QStringLiteral("count"), count}});
        r.Result = {{QStringLiteral("text"), r.Value.toString()}, {QStringLiteral("count"), static_cast<int>(matches.size())}, {QStringLiteral("pages"), perPage}};
    });
}

const TVerb kVerbTable[] = {
    {"open", false,
     [](TStepCheck &c) {
         if (!c.Value.isString() || c.Value.toString().isEmpty())
             return c.Fail(QStringLiteral("\"open\" deve trazer o código de uma tela"));
         c.Open = true;
         return true;
     },
     [](TStepRun &r) {
         const TModuleRecord module = FindScreen(r.Value.toString());
         r.ScreenClass = module.FormClass;
         FireEvent([&module] { module.OpenScreen(); });
     }},
    {"close", true,
     [](TStepCheck &c) {
         if (!c.NeedOpen())
             return false;
         c.Open = false;
         return true;
     },
     [](TStepRun &r) { r.Form->DoClose(); }},
    {"activate", true, [](TStepCheck &c) { return c.NeedOpen(); }, [](TStepRun &r) { FireEvent([form = r.Form] { form->DoActivate(); }); }},
    {"click", true, &checkClick, &runClick},
    {"page", true, [](TStepCheck &c) { return c.NeedName(&ControlIndex::pages, QStringLiteral("uma página")); },
     [](TStepRun &r) {
         const int index = r.Pages()->indexOf(r.Control(r.Value.toString()));
         QTabBar *bar = r.Pages()->tabBar();
         SendClick(bar, bar->tabRect(index).center());
     }},
    {"type", true,
     [](TStepCheck &c) {
         if (!c.Step.value(QStringLiteral("text")).isString())
             return c.Fail(QStringLiteral("\"type\" precisa de \"text\""));
         return c.NeedName(&ControlIndex::editable, QStringLiteral("um campo de edição"));
     },
     &runType},
    {"exit", true, [](TStepCheck &c) { return c.NeedName(&ControlIndex::all, QStringLiteral("um controle")); },
     [](TStepRun &r) {
         QWidget *w = r.Control(r.Value.toString());
         if (w && w->hasFocus())
             r.Form->cbbReportNames->setFocus(Qt::TabFocusReason);
     }},
    {"key", true, &checkKey, &runKey},
    {"pick", false, &checkPick, &runPick},
    {"layout", true,
     [](TStepCheck &c) {
         int layout = 0;
         if (!wholeIndex(c.Value, layout))
             return c.Fail(QStringLiteral("\"layout\" deve ser o número inteiro de um relatório da lista"));
         return c.NeedOpen();
     },
     [](TStepRun &r) {
         TfrmDadosGerRel *form = r.Form;
         if (r.Value.toInt() < form->cbbReportNames->count())
             form->cbbReportNames->UserSelect(r.Value.toInt());
         else
             r.Messages.ShowError(QStringLiteral("O relatório %1 não existe; a lista tem %2.").arg(r.Value.toInt()).arg(form->cbbReportNames->count()));
     }},
    // Answers to the parameters layouts ask for (dates as AAAA-MM-DD or a relative word), checked when a layout runs.
    {"layoutParams", true,
     [](TStepCheck &c) {
         const QJsonObject answers = c.Value.toObject();
         if (!c.Value.isObject() || answers.isEmpty())
             return c.Fail(QStringLiteral("\"layoutParams\" deve ser um objeto com os valores por nome de parâmetro"));
         for (auto a = answers.constBegin(); a != answers.constEnd(); ++a)
             if (!a.value().isString())
                 return c.Fail(QStringLiteral("o valor de \"%1\" em \"layoutParams\" deve ser um texto").arg(a.key()));
         return c.NeedOpen();
     },
     [](TStepRun &r) {
         const QJsonObject answers = r.Value.toObject();
         for (auto a = answers.constBegin(); a != answers.constEnd(); ++a)
             r.Form->rpddPadrao->Answers.insert(a.key(), a.value().toString());
     }},
    {"action", true, &checkAction, &runAction},
    {"drill", true, &checkDrill, &runDrill},
    {"find", true, &checkFind, &runFind},
};

// The verbs a step carries, in the table's order.
QList<const TVerb *> verbsOf(const QJsonObject &step)
{
    QList<const TVerb *> out;
    for (const TVerb &v : kVerbTable)
        if (step.contains(QLatin1String(v.Name)))
            out << &v;
    return out;
}

QString verbOf(const QJsonObject &step)
{
    const QList<const TVerb *> verbs = verbsOf(step);
    return verbs.isEmpty() ? QString() : QLatin1String(verbs.first()->Name);
}
} // namespace

bool TBatchRun::CheckStep(int index, const QJsonObject &step, bool &open, const ControlIndex *controls, QString &error) const
{
    const QList<const TVerb *> verbs = verbsOf(step);
    TStepCheck check{step, verbs.isEmpty() ? QString() : QLatin1String(verbs.first()->Name), {}, open, controls, error,
                     QStringLiteral("passo %1").arg(index)};
    if (verbs.isEmpty()) {
        QStringList names;
        for (const TVerb &v : kVerbTable)
            names << QLatin1String(v.Name);
        return check.Fail(QStringLiteral("nenhuma ação conhecida (%1)").arg(names.join(QStringLiteral(", "))));
    }
    if (verbs.size() > 1) {
        QStringList names;
        for (const TVerb *v : verbs)
            names << QLatin1String(v->Name);
        return check.Fail(QStringLiteral("um passo faz uma só ação; este traz %1").arg(names.join(QStringLiteral(", "))));
    }
    check.Value = step.value(check.Verb);
    return verbs.first()->Check(check);
}

bool TBatchRun::Load(const QString &scriptFile, QString &error)
{
    m_scriptDir = QFileInfo(scriptFile).absolutePath();
    QFile f(scriptFile);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("não foi possível ler o roteiro '%1': %2").arg(scriptFile, f.errorString());
        return false;
    }
    // Read in pieces up to one byte past the limit, so a small script takes a small buffer.
    QByteArray text;
    while (text.size() <= kMaxScriptBytes) {
        const QByteArray piece = f.read(std::min<qint64>(64 * 1024, kMaxScriptBytes + 1 - text.size()));
        if (piece.isEmpty())
            break;
        text += piece;
    }
    if (text.size() > kMaxScriptBytes) {
        error = QStringLiteral("o roteiro '%1' passa de %2 MiB; não é um roteiro de passos").arg(scriptFile).arg(kMaxScriptBytes / (1024 * 1024));
        return false;
    }
    QJsonParseError perr{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &perr);
    if (perr.error != QJsonParseError::NoError) {
        error = QStringLiteral("o roteiro '%1' não é um JSON válido: %2 (posição %3)").arg(scriptFile, perr.errorString()).arg(perr.offset);
        return false;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("o roteiro '%1' deve ser um objeto JSON com \"context\" e \"steps\"").arg(scriptFile);
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonObject ctx = root.value(QStringLiteral("context")).toObject();
    m_context = THostContext{};
    m_context.Operator = ctx.value(QStringLiteral("operator")).toString();
    m_context.Password = ctx.value(QStringLiteral("password")).toString();
    m_context.Branch = ctx.value(QStringLiteral("branch")).toString();
    m_context.PerBranch = ctx.value(QStringLiteral("perBranch")).toBool();
    const QString server = ctx.value(QStringLiteral("server")).toString();
    m_context.ServerHost = server.section(QLatin1Char(':'), 0, -2);
    bool portOk = false;
    m_context.ServerPort = server.section(QLatin1Char(':'), -1).toInt(&portOk);
    m_context.Database = ctx.value(QStringLiteral("database")).toString();
    m_context.DateFormat = ctx.value(QStringLiteral("dateFormat")).toString(QStringLiteral("dd/MM/yyyy"));
    if (m_context.Operator.isEmpty() || m_context.Database.isEmpty() || !portOk || m_context.ServerHost.isEmpty()) {
        error = QStringLiteral("contexto: informe \"operator\", \"database\" e \"server\" (HOST:PORTA)");
        return false;
    }
    if (m_context.Password.isEmpty()) {
        error = QStringLiteral("contexto: informe a senha do operador em \"password\"; sem ela o servidor de aplicação não atende");
        return false;
    }
    if (m_context.ServerPort < 1 || m_context.ServerPort > 65535) {
        error = QStringLiteral("contexto: a porta de \"server\" deve ir de 1 a 65535");
        return false;
    }
    if (ctx.contains(QStringLiteral("dateFormat")) && !IsShortDatePattern(ctx.value(QStringLiteral("dateFormat")).toString())) {
        error = QStringLiteral("contexto: \"dateFormat\" deve ser um formato de data curta como \"dd/MM/yyyy\" (dia, mês e ano uma vez cada, "
                               "separados por / . - ou espaço)");
        return false;
    }
    if (ctx.contains(QStringLiteral("today"))) {
        const QDate today = QDate::fromString(ctx.value(QStringLiteral("today")).toString(), Qt::ISODate);
        if (!today.isValid()) {
            error = QStringLiteral("contexto: \"today\" deve ser uma data AAAA-MM-DD");
            return false;
        }
        m_context.FixedToday = today;
    }
    if (!root.value(QStringLiteral("steps")).isArray()) {
        error = QStringLiteral("o roteiro não tem a lista \"steps\"");
        return false;
    }
    m_steps = root.value(QStringLiteral("steps")).toArray();
    bool open = false;
    for (qsizetype i = 0; i < m_steps.size(); ++i) {
        if (!m_steps[i].isObject()) {
            error = QStringLiteral("passo %1: cada passo deve ser um objeto").arg(i);
            return false;
        }
        if (!CheckStep(static_cast<int>(i), m_steps[i].toObject(), open, nullptr, error))
            return false;
    }
    return true;
}

int TBatchRun::Run(const QString &logFile, QString &error)
{
    TRecordingPresenter messages;
    TPresenterScope scope(messages);
    THostModules modules;
    std::unique_ptr<THostWindow> window;
    try {
        if (const QStringList failures = modules.Load(); !failures.isEmpty())
            throw EHostError(failures.join(QLatin1Char('\n')));
        m_context.ServerObject = modules.LoginServerObject();
        // Nobody at the dialogs or the search lists: a list without a scripted answer is cancelled.
        window = std::make_unique<THostWindow>(m_context, modules, THostSession::TOptions::Unattended());
    } catch (const EHostError &e) {
        error = e.Message();
        return HostFailed;
    }
    try {
        OpenHostSession(m_context);
        SetHostContext(m_context);
    } catch (const EHostError &e) {
        error = e.Message();
        return HostFailed;
    }
    // Every screen opened must be registered by a loaded module, and the control
    // names of every step must exist in the screen open at that step, before anything runs.
    try {
        std::map<QString, std::unique_ptr<ControlIndex>> indexes;
        const ControlIndex *current = nullptr;
        bool open = false;
        for (qsizetype i = 0; i < m_steps.size(); ++i) {
            const QJsonObject step = m_steps[i].toObject();
            if (verbOf(step) == QStringLiteral("open")) {
                const QString code = step.value(QStringLiteral("open")).toString();
                const TModuleRecord module = FindScreen(code);
                if (!module.FormClass || !module.OpenScreen) {
                    error = QStringLiteral("passo %1: nenhum módulo carregado registra a tela \"%2\" (registradas: %3)")
                                .arg(i)
                                .arg(code, RegisteredScreens().join(QStringLiteral(", ")));
                    return BadScript;
                }
                auto &index = indexes[module.ScreenCode];
                if (!index)
                    index = std::make_unique<ControlIndex>(*module.FormClass);
                current = index.get();
            }
            if (!CheckStep(static_cast<int>(i), step, open, current, error))
                return BadScript;
        }
    } catch (const EHostError &e) {
        error = e.Message();
        return HostFailed;
    }
    window->show();
    QApplication::setActiveWindow(window.get());
    const QMetaObject *screenClass = nullptr;
    auto screen = [&]() -> TfrmDadosGerRel * {
        if (!screenClass)
            return nullptr;
        for (QMdiSubWindow *w : window->Area()->subWindowList())
            if (auto *f = qobject_cast<TfrmDadosGerRel *>(w->widget()); f && f->metaObject() == screenClass)
                return f;
        return nullptr;
    };

    std::vector<TSearchListRun> runs;
    TSearchListScript::SetObserver([&](const TSearchListRun &r) { runs.push_back(r); });
    QJsonArray log;
    for (qsizetype i = 0; i < m_steps.size(); ++i) {
        const QJsonObject step = m_steps[i].toObject();
        const QString verb = verbOf(step);
        const QJsonValue v = step.value(verb);
        messages.Messages.clear();
        runs.clear();
        TfrmDadosGerRel *form = screen();
        auto net = [&]() -> TNetConnection * { return form ? form->CriteriaServer() : nullptr; };
        auto pages = [&] { return form->findChild<TPageControl *>(QStringLiteral("pgcRelatorio")); };
        const qsizetype callsBefore = net() ? net()->CallLog.size() : 0;
        const TVerb &verbEntry = *verbsOf(step).first();
        TStepRun run{step, v, form, messages, m_scriptDir, screenClass};
        if (verbEntry.NeedsScreen && !form)
            messages.ShowError(QStringLiteral("A tela não está aberta; o passo não foi executado."));
        else
            verbEntry.Run(run);
        const bool paramsFromThisStep = run.ParamsFromThisStep;
        const QJsonObject result = run.Result;
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        form = screen();

        QJsonObject entry{{QStringLiteral("step"), static_cast<int>(i)}};
        QJsonArray msgs;
        for (const QString &m : messages.Messages)
            msgs.append(QJsonObject{{QStringLiteral("text"), m}});
        entry[QStringLiteral("messages")] = msgs;
        QJsonArray lists;
        for (const TSearchListRun &r : runs)
            lists.append(QJsonObject{{QStringLiteral("title"), r.Title},
                                     {QStringLiteral("keyField"), r.KeyField},
                                     {QStringLiteral("rows"), r.Rows},
                                     {QStringLiteral("confirmed"), r.Confirmed},
                                     {QStringLiteral("codes"), QJsonArray::fromStringList(splitCodes(r.Codes))}});
        entry[QStringLiteral("searchLists")] = lists;
        if (!result.isEmpty())
            entry[verb] = result;
        if (form) {
            entry[QStringLiteral("page")] = pages()->ActivePage()->objectName();
            entry[QStringLiteral("focus")] = form->focusWidget() ? form->focusWidget()->objectName() : QString();
            const QStringList calls = net() ? net()->CallLog : QStringList();
            entry[QStringLiteral("serverCalls")] = QJsonArray::fromStringList(calls.mid(callsBefore < calls.size() ? callsBefore : calls.size()));
            if (paramsFromThisStep) {
                entry[QStringLiteral("params")] = paramsLog(form->rpddPadrao->LastParams());
                const TReportResult &report = form->rpddPadrao->LastResult();
                entry[QStringLiteral("rows")] = static_cast<double>(report.Rows);
                entry[QStringLiteral("output")] = report.Output;
            }
            entry[QStringLiteral("state")] = formState(*form);
            entry[QStringLiteral("criteria")] = form->CriteriaJson();
        } else {
            entry[QStringLiteral("serverCalls")] = QJsonArray();
        }
        log.append(entry);
    }
    TSearchListScript::SetObserver({});

    const QByteArray json = QJsonDocument(log).toJson(QJsonDocument::Indented);
    auto failed = [&](const QString &reason) {
        error = QStringLiteral("não foi possível gravar o registro '%1': %2").arg(logFile, reason);
        return HostFailed;
    };
    // A device or pipe is written in place; renaming a finished file over it would replace it.
    if (const QFileInfo target(logFile); target.exists() && !target.isFile()) {
        QFile out(logFile);
        if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size() || !out.flush())
            return failed(out.errorString());
        return Ok;
    }
    QSaveFile out(logFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size() || !out.commit())
        return failed(out.errorString());
    return Ok;
}
