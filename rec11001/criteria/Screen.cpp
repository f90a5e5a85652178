#include "criteria/Screen.h"
#include <QHBoxLayout>

namespace {

// The panel, scroll box and captionless group box that hold a page's groups.
QWidget *pageArea(TTabSheet *page, const QString &suffix)
{
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *panel = new TPanel(QStringLiteral("pan") + suffix, page, true);
    layout->addWidget(panel);
    auto *panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    auto *scroll = new QScrollArea(panel);
    scroll->setObjectName(QStringLiteral("scb") + suffix);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    panelLayout->addWidget(scroll);
    auto *inner = new TGroupBox(QStringLiteral("grb") + suffix, QString(), nullptr, false);
    inner->setMinimumSize(652, 226);
    scroll->setWidget(inner);
    scroll->setWidgetResizable(true);
    return inner;
}

TGroupBox *group(QWidget *parent, const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *g = new TGroupBox(QString::fromLatin1(name), caption, parent);
    Place(g, left, top, width, height);
    return g;
}

// Two options one above the other, both checked as designed or only the first.
template <class Option> void twoOptions(TGroupBox *g, Option *&first, const char *firstName, const QString &firstCaption, Option *&second,
                                        const char *secondName, const QString &secondCaption, bool bothChecked)
{
    first = new Option(QString::fromLatin1(firstName), firstCaption, g);
    second = new Option(QString::fromLatin1(secondName), secondCaption, g);
    Place(first, 10, 18, g->width() - 14, 20);
    Place(second, 10, 42, g->width() - 14, 20);
    first->setChecked(true);
    if (bothChecked)
        second->setChecked(true);
}

// An all-or-list group: all radio (checked) and "Lista" radio, and a disabled search button.
TGroupBox *allOrList(QWidget *page, const char *name, const QString &caption, QRect at, const char *all, const QString &allCaption,
                     TRadioButton *&allOut, const char *list, TRadioButton *&listOut, const char *search, TButtonFlat *&searchOut)
{
    TGroupBox *g = group(page, name, caption, at.x(), at.y(), at.width(), at.height());
    allOut = new TRadioButton(QString::fromLatin1(all), allCaption, g);
    listOut = new TRadioButton(QString::fromLatin1(list), QStringLiteral("Lista"), g);
    searchOut = new TButtonFlat(QString::fromLatin1(search), g, QStringLiteral("Pesquisar"), QStringLiteral("magnifier"));
    Place(allOut, 10, 18, 70, 20);
    Place(listOut, 10, 42, 55, 20);
    Place(searchOut, 64, 40, 23, 23);
    allOut->setChecked(true);
    searchOut->setEnabled(false);
    return g;
}

// "de" above "até", each edit labelled on its left; the edits are made in tab order.
template <class Edit, class... Extra> std::pair<Edit *, Edit *> range(TGroupBox *g, const char *first, const char *second, int editWidth, Extra... extra)
{
    auto *a = new Edit(QString::fromLatin1(first), g, extra...);
    auto *b = new Edit(QString::fromLatin1(second), g, extra...);
    auto *de = new TLabel(g->objectName() + QStringLiteral("_lblDe"), QStringLiteral("de"), g);
    auto *ate = new TLabel(g->objectName() + QStringLiteral("_lblAte"), QStringLiteral("até"), g);
    Place(de, 8, 21, 22, 17);
    Place(ate, 8, 45, 22, 17);
    Place(a, 32, 18, editWidth, 21);
    Place(b, 32, 42, editWidth, 21);
    return {a, b};
}
} // namespace

// Controls are made in their tab order, which the focus chain follows.
void TCriteriaControls::CreateCriteriaScreen(QWidget *frame)
{
    pgcRelatorio = new TPageControl(QStringLiteral("pgcRelatorio"), frame);
    Place(pgcRelatorio, 2, 44, 672, 280);
    tshDadosCntReceb = new TTabSheet(QStringLiteral("tshDadosCntReceb"), QStringLiteral("Dados da Conta a Receber"));
    tshDadosDocu = new TTabSheet(QStringLiteral("tshDadosDocu"), QStringLiteral("Dados do Documento"));
    tshDadosBaixa = new TTabSheet(QStringLiteral("tshDadosBaixa"), QStringLiteral("Dados da Baixa"));
    pgcRelatorio->AddPage(tshDadosCntReceb);
    pgcRelatorio->AddPage(tshDadosDocu);
    pgcRelatorio->AddPage(tshDadosBaixa);
    pgcRelatorio->SetActivePage(tshDadosCntReceb);

    // ---- Dados da Conta a Receber
    QWidget *p1 = pageArea(tshDadosCntReceb, QStringLiteral("DadosCntReceb"));
    grbVencimento = group(p1, "grbVencimento", QStringLiteral("Vencimento"), 5, 15, 139, 70);
    std::tie(depVenIni, depVenFin) = range<TDateEditPlus>(grbVencimento, "depVenIni", "depVenFin", 100);
    for (TDateEditPlus *d : {depVenIni, depVenFin}) {
        QPalette pal = d->palette();
        pal.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xE1)); // the info-tip background
        d->setPalette(pal);
    }
    grbValorLiquido = group(p1, "grbValorLiquido", QStringLiteral("Valor Líquido"), 145, 15, 136, 70);
    std::tie(nedValor1, nedValor2) = range<TNumberEdit>(grbValorLiquido, "nedValor1", "nedValor2", 96);
    grbStatus = group(p1, "grbStatus", QStringLiteral("Status"), 525, 15, 121, 139);
    chkTodos = new TCheckBox(QStringLiteral("chkTodos"), QStringLiteral("Todos"), grbStatus);
    chkBaixada = new TCheckBox(QStringLiteral("chkBaixada"), QStringLiteral("Baixada"), grbStatus);
    chkDescontada = new TCheckBox(QStringLiteral("chkDescontada"), QStringLiteral("Descontada"), grbStatus);
    chkAberto = new TCheckBox(QStringLiteral("chkAberto"), QStringLiteral("Em Aberto"), grbStatus);
    chkPlanejada = new TCheckBox(QStringLiteral("chkPlanejada"), QStringLiteral("Planejada"), grbStatus);
    Place(chkTodos, 8, 18, 100, 20);
    int y = 42;
    for (TCheckBox *c : {chkBaixada, chkDescontada, chkAberto, chkPlanejada}) {
        Place(c, 22, y, 94, 20);
        y += 23;
    }
    for (TCheckBox *c : {chkTodos, chkBaixada, chkDescontada, chkAberto, chkPlanejada})
        c->setChecked(true);

    grbAtivClie = allOrList(p1, "grbAtivClie", QStringLiteral("Ramo de Atividade"), {6, 86, 139, 69}, "rdbTodosAtivClie", QStringLiteral("Todos"), rdbTodosAtivClie, "rdbListaAtivClie", rdbListaAtivClie, "sbtAtivClie", sbtAtivClie);
    grbTipoConta = allOrList(p1, "grbTipoConta", QStringLiteral("Tipo de Conta"), {279, 86, 245, 92}, "rbtTodosTipo", QStringLiteral("Todos"), rbtTodosTipo, "rbtListaTipo", rbtListaTipo, "sbtTipoConta", sbtTipoConta);
    chbConAdian = new TCheckBox(QStringLiteral("chbConAdian"), QStringLiteral("Considera Adiantamento"), grbTipoConta);
    Place(chbConAdian, 10, 66, 190, 20); // a row of its own: the caption needs the width
    grbSegMerc = allOrList(p1, "grbSegMerc", QStringLiteral("Seg. de Mercado"), {146, 86, 132, 69}, "rdbTodosSegMerc", QStringLiteral("Todos"), rdbTodosSegMerc, "rdbListaSegMerc", rdbListaSegMerc, "sbtSegMerc", sbtSegMerc);
    grbOpEm = group(p1, "grbOpEm", QStringLiteral("Opções de Emissão"), 282, 15, 128, 69);
    twoOptions(grbOpEm, rdbUtiliza, "rdbUtiliza", QStringLiteral("Utiliza"), rdbNaoUtiliza, "rdbNaoUtiliza", QStringLiteral("Não Utiliza"), false);
    grbClassFinanc = allOrList(p1, "grbClassFinanc", QStringLiteral("Class. Financeira"), {411, 15, 112, 69}, "rdgTClassFinanc", QStringLiteral("Todas"), rdgTClassFinanc, "rdgLClassFinanc", rdgLClassFinanc, "sbtListaClass", sbtListaClass);
    // As designed: neither radio checked and the search button enabled.
    rdgTClassFinanc->SetChecked(false);
    sbtListaClass->setEnabled(true);

    // ---- Dados do Documento
    QWidget *p2 = pageArea(tshDadosDocu, QStringLiteral("DadosDocu"));
    grbRegiao = allOrList(p2, "grbRegiao", QStringLiteral("Região"), {4, 15, 101, 70}, "rbtTodasReg", QStringLiteral("Todas"), rbtTodasReg, "rbtListaReg", rbtListaReg, "sbtRegiao", sbtRegiao);
    grbCliente = allOrList(p2, "grbCliente", QStringLiteral("Cliente"), {108, 15, 101, 70}, "rbtTodosClie", QStringLiteral("Todos"), rbtTodosClie, "rbtListaClie", rbtListaClie, "sbtCliente", sbtCliente);
    grbTipoCliente = group(p2, "grbTipoCliente", QStringLiteral("Tipo de Cliente"), 212, 15, 109, 70);
    twoOptions(grbTipoCliente, chkPrivado, "chkPrivado", QStringLiteral("Privado"), chkPublico, "chkPublico", QStringLiteral("Público"), true);
    grbGrupClie = allOrList(p2, "grbGrupClie", QStringLiteral("Grupo de Cliente"), {324, 15, 113, 70}, "rbtTodosGrupC", QStringLiteral("Todos"), rbtTodosGrupC, "rbtListaGrupC", rbtListaGrupC, "sbtGrupClie", sbtGrupClie);
    grbEmpresa = allOrList(p2, "grbEmpresa", QStringLiteral("Empresa"), {440, 15, 98, 70}, "rbtTodosEmpr", QStringLiteral("Todas"), rbtTodosEmpr, "rbtListaEmp", rbtListaEmp, "sbtEmpresa", sbtEmpresa);
    rdgTipo = new TRadioGroup(QStringLiteral("rdgTipo"), QStringLiteral("Tipo"),
                              {QStringLiteral("Todas"), QStringLiteral("Reais"), QStringLiteral("Previstas")}, p2);
    Place(rdgTipo, 540, 15, 92, 70);
    rdgTipo->SetItemIndex(0);
    grbFilial = allOrList(p2, "grbFilial", QStringLiteral("Filial Origem"), {4, 85, 101, 70}, "rbtTodosFilial", QStringLiteral("Todas"), rbtTodosFilial, "rbtListaFilial", rbtListaFilial, "sbtFilial", sbtFilial);
    grbLanca = allOrList(p2, "grbLanca", QStringLiteral("Filial Lançamento"), {108, 85, 131, 70}, "rbtTodosLanca", QStringLiteral("Todas"), rbtTodosLanca, "rbtListaLanca", rbtListaLanca, "sbtLancamento", sbtLancamento);
    grbVendedor = allOrList(p2, "grbVendedor", QStringLiteral("Vendedor"), {242, 85, 104, 70}, "rbtTodosVend", QStringLiteral("Todas"), rbtTodosVend, "rbtListaVend", rbtListaVend, "sbtVendedor", sbtVendedor);
    grbEmissao = group(p2, "grbEmissao", QStringLiteral("Emissão"), 349, 85, 140, 70);
    std::tie(depEmissaoDE, depEmissaoATE) = range<TDateEditPlus>(grbEmissao, "depEmissaoDE", "depEmissaoATE", 100);
    grbEntrada = group(p2, "grbEntrada", QStringLiteral("Saída"), 492, 85, 140, 70);
    std::tie(depSaidaDe, depSaidaAte) = range<TDateEditPlus>(grbEntrada, "depSaidaDe", "depSaidaAte", 100);
    grbRefeFat = group(p2, "grbRefeFat", QStringLiteral("Referência de Faturamento"), 5, 155, 200, 67);
    std::tie(depDtIniRefeFat, depDtFinRefeFat) = range<TDateEditPlus>(grbRefeFat, "depDtIniRefeFat", "depDtFinRefeFat", 100);
    grbOrca = group(p2, "grbOrca", QStringLiteral("Orçamento"), 208, 155, 138, 67);
    std::tie(medNrOrcaIni, medNrOrcaFin) = range<TMaskEdit>(grbOrca, "medNrOrcaIni", "medNrOrcaFin", 96, 10);

    // ---- Dados da Baixa
    QWidget *p3 = pageArea(tshDadosBaixa, QStringLiteral("DadosBaixa"));
    grbBaixa = group(p3, "grbBaixa", QStringLiteral("Baixa"), 4, 15, 142, 70);
    std::tie(depBaixaEntr, depBaixaSaid) = range<TDateEditPlus>(grbBaixa, "depBaixaEntr", "depBaixaSaid", 100);
    grbFormaRecebida = allOrList(p3, "grbFormaRecebida", QStringLiteral("Tipo de Baixa"), {151, 15, 125, 70}, "rbtFormaTodos", QStringLiteral("Todas"), rbtFormaTodos, "rbtFormaLista", rbtFormaLista, "sbtFormaPaga", sbtFormaPaga);
    grbCCorr = allOrList(p3, "grbCCorr", QStringLiteral("Conta Corrente"), {281, 15, 125, 70}, "rbtCCorrTodas", QStringLiteral("Todas"), rbtCCorrTodas, "rbtCCorrLista", rbtCCorrLista, "sbtCCorr", sbtCCorr);
}

QVector<TDateEditPlus *> TCriteriaControls::DateEdits() const
{
    return {depBaixaEntr, depBaixaSaid, depVenIni, depVenFin, depEmissaoDE, depEmissaoATE, depSaidaDe, depSaidaAte, depDtIniRefeFat, depDtFinRefeFat};
}
