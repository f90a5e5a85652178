// The multi-selection pickers of the all-or-list criteria.
#include "module/Cli_rec11001.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/Picture.h"
#include "ui/SearchList.h"

using F = TfrmRelLancContReceber;

namespace {
// The search button's tooltip names the first codes of a list; the names of at most
// a few hundred codes per group are kept for it.
constexpr qsizetype kNamesShown = 2, kNameChars = 30, kNameCacheSize = 500;
} // namespace

void F::OpenLookup(const TCriteriaGroup &g)
{
    g.Lookup->Close();
    for (const TLookupParam &p : g.LookupParams) {
        TParam &param = g.Lookup->ParamByName(QLatin1String(p.Name));
        p.Text ? param.SetAsString(*p.Text) : param.Clear();
    }
    g.Lookup->Open();
    if (g.EmptyKey && g.Lookup->IsEmpty())
        MensErro(msgPadrao->Msg(QLatin1String(g.EmptyKey)), true);
}

void F::ListaPicker(TGroupId id)
{
    const TCriteriaGroup &g = m_groups[id];
    TSearchListPick pick;
    pick.NameField = QLatin1String(g.NameField);
    if (PesquisaLista(g.Source, QLatin1String(g.KeyField), msgPadrao->Msg(QLatin1String(g.TitleKey)), false, *g.Codes, &pick)) {
        QHash<QString, QString> &names = m_chosenNames[id];
        if (names.size() + pick.Names.size() > kNameCacheSize)
            names.clear();
        if (pick.Names.size() <= kNameCacheSize)
            names.insert(pick.Names);
        else
            for (const QString &key : CodeListKeys(*g.Codes).first(kNamesShown))
                names.insert(key, pick.Names.value(key));
    }
    ShowChosen(id);
}

void F::ShowChosen(int index)
{
    const TCriteriaGroup &g = m_groups[index];
    QString text;
    if (!g.List->Checked()) {
        text = g.All->text().remove(QLatin1Char('&'));
    } else if (const QStringList keys = CodeListKeys(*g.Codes); keys.isEmpty()) {
        text = QString::fromUtf8(g.Chosen.None);
    } else {
        QStringList shown;
        for (const QString &key : keys.first(std::min(kNamesShown, keys.size()))) {
            QString name = m_chosenNames[index].value(key);
            if (name.size() > kNameChars)
                name = name.left(kNameChars - 3).trimmed() + QStringLiteral("...");
            shown << (name.isEmpty() ? key : key + QLatin1Char(' ') + name);
        }
        if (keys.size() > kNamesShown)
            shown << QStringLiteral("e mais %1").arg(keys.size() - kNamesShown);
        text = QStringLiteral("%1 %2: %3").arg(keys.size()).arg(QString::fromUtf8(keys.size() == 1 ? g.Chosen.One : g.Chosen.Many), shown.join(QStringLiteral(", ")));
    }
    g.Search->setToolTip(g.Search->toolTip().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + text);
}

void F::ShowAllChosen()
{
    for (int i = 0; i < m_groups.size(); ++i)
        ShowChosen(i);
}

void F::QueryPicker(TGroupId id)
{
    OpenLookup(m_groups[id]);
    ListaPicker(id);
}

void F::F9Picker(int key, TGroupId id, QObject *sender)
{
    if (key == 120)
        (this->*m_groups[id].SearchClick)(sender);
}

void F::CopyClientStatement(TADOIBQuery &from)
{
    qryCliente1->Close();
    for (int i = 0; i < 4; ++i)
        qryCliente1->SetSQL(i, from.GetSQL(i));
    qryCliente1->SetIBParams(from.GetIBParams());
}

// The client list follows the region criterion: all clients, or the clients of the chosen regions.
void F::sbtClienteClick(QObject *)
{
    if (rbtTodasReg->Checked()) {
        if (qryCliente1->SQL != qryClienteAux->SQL)
            CopyClientStatement(*qryClienteAux);
        QueryPicker(gCliente);
        return;
    }
    CopyClientStatement(*qryClienteRegiao);
    TCriteriaGroup regional = m_groups[gCliente];
    regional.LookupParams = {{"CLIENTE", nullptr}, {"TCLIENTE", &kAllFlag}, {"P_CDREGIAOPED", &lstRegiao}, {"TREGIAO", nullptr}};
    OpenLookup(regional);
    ListaPicker(gCliente);
}
void F::rbtListaClieKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gCliente, s); }

// The posting branches come from the server.
void F::sbtLancamentoClick(QObject *)
{
    QString all;
    ServerCalls::GetFiliLanca(*netRelLancContReceber, all, kAllFlag, *cdsFiliLanca);
    if (cdsFiliLanca->IsEmpty())
        MensErro(msgPadrao->Msg(QLatin1String(m_groups[gLanca].EmptyKey)), true);
    ListaPicker(gLanca);
}

// The query goes to the search list closed, which opens it; no empty-list test.
void F::sbtFormaPagaClick(QObject *)
{
    qryFormaRec->Close();
    for (const TLookupParam &p : m_groups[gForma].LookupParams)
        qryFormaRec->ParamByName(QLatin1String(p.Name)).SetValue(QVariant(p.Text->isNull() ? QString(QLatin1String("")) : *p.Text));
    ListaPicker(gForma);
}

// The activity tree comes from the server; it shows CDARVATIVCLI in its picture while the list collects CDATIVCLI.
void F::sbtAtivClieClick(QObject *)
{
    ServerCalls::GetAtivClie(*netRelLancContReceber, DBPictObj(16).GetTtNiveis(), *qryAtivClie);
    ListaPicker(gAtivClie);
}

// A failing classification picker leaves the focus on its "Lista" radio.
void F::sbtListaClassClick(QObject *)
{
    try {
        QueryPicker(gClass);
    } catch (...) {
        rdgLClassFinanc->setFocus(Qt::OtherFocusReason);
        throw;
    }
}
void F::rdgLClassFinancKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gClass, s); }

// After the regions are chosen the clients go back to all.
void F::sbtRegiaoClick(QObject *)
{
    QueryPicker(gRegiao);
    rbtTodosClie->SetChecked(true);
}

// The segment query goes to the search list in whatever state it is in.
void F::sbtSegMercClick(QObject *) { ListaPicker(gSegMerc); }
void F::sbtFilialClick(QObject *) { QueryPicker(gFilial); }
void F::sbtEmpresaClick(QObject *) { QueryPicker(gEmpresa); } // the lookup offers the operator's companies only
void F::sbtPesqListaClick(QObject *) { QueryPicker(gTipoConta); }
void F::sbtCCorrClick(QObject *) { QueryPicker(gCCorr); }
void F::sbtGrupClieClick(QObject *) { QueryPicker(gGrupClie); }
void F::sbtVendedorClick(QObject *) { QueryPicker(gVendedor); }

void F::rbtListaFilialKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gFilial, s); }
void F::rbtListaLancaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gLanca, s); }
void F::rbtListaEmpKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gEmpresa, s); }
void F::rbtListaTipoKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gTipoConta, s); }
void F::rbtFormaListaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gForma, s); }
void F::rbtCCorrListaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gCCorr, s); }
void F::rdbListaAtivClieKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gAtivClie, s); }
void F::rdbListaSegMercKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gSegMerc, s); }
void F::rbtListaGrupCKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gGrupClie, s); }
void F::rbtListaRegKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gRegiao, s); }
void F::rbtListaVendKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, gVendedor, s); }
