#pragma once
#include "Controls.h"
#include <QScrollArea>
#include <QVector>

// One all-or-list criterion: its group, the all radio, the "Lista" radio and the search button.
struct TAllOrList {
    TGroupBox *Group = nullptr;
    TRadioButton *All = nullptr;
    TRadioButton *List = nullptr;
    TButtonFlat *Search = nullptr;
};

// Every control of the criteria screen, by name.
struct TCriteriaControls {
    TPageControl *pgcRelatorio = nullptr;
    TTabSheet *tshDadosCntReceb = nullptr;
    TTabSheet *tshDadosDocu = nullptr;
    TTabSheet *tshDadosBaixa = nullptr;

    // "Dados da Conta a Receber"
    TGroupBox *grbVencimento = nullptr;
    TDateEditPlus *depVenIni = nullptr;
    TDateEditPlus *depVenFin = nullptr;
    TGroupBox *grbValorLiquido = nullptr;
    TNumberEdit *nedValor1 = nullptr;
    TNumberEdit *nedValor2 = nullptr;
    TGroupBox *grbStatus = nullptr;
    TCheckBox *chkTodos = nullptr;
    TCheckBox *chkBaixada = nullptr;
    TCheckBox *chkDescontada = nullptr;
    TCheckBox *chkAberto = nullptr;
    TCheckBox *chkPlanejada = nullptr;
    TGroupBox *grbAtivClie = nullptr;
    TRadioButton *rdbTodosAtivClie = nullptr;
    TRadioButton *rdbListaAtivClie = nullptr;
    TButtonFlat *sbtAtivClie = nullptr;
    TGroupBox *grbTipoConta = nullptr;
    TRadioButton *rbtTodosTipo = nullptr;
    TRadioButton *rbtListaTipo = nullptr;
    TButtonFlat *sbtTipoConta = nullptr;
    TCheckBox *chbConAdian = nullptr;
    TGroupBox *grbSegMerc = nullptr;
    TRadioButton *rdbTodosSegMerc = nullptr;
    TRadioButton *rdbListaSegMerc = nullptr;
    TButtonFlat *sbtSegMerc = nullptr;
    TGroupBox *grbOpEm = nullptr;
    TRadioButton *rdbUtiliza = nullptr;
    TRadioButton *rdbNaoUtiliza = nullptr;
    TGroupBox *grbClassFinanc = nullptr;
    TRadioButton *rdgTClassFinanc = nullptr;
    TRadioButton *rdgLClassFinanc = nullptr;
    TButtonFlat *sbtListaClass = nullptr;

    // "Dados do Documento"
    TGroupBox *grbRegiao = nullptr;
    TRadioButton *rbtTodasReg = nullptr;
    TRadioButton *rbtListaReg = nullptr;
    TButtonFlat *sbtRegiao = nullptr;
    TGroupBox *grbCliente = nullptr;
    TRadioButton *rbtTodosClie = nullptr;
    TRadioButton *rbtListaClie = nullptr;
    TButtonFlat *sbtCliente = nullptr;
    TGroupBox *grbTipoCliente = nullptr;
    TCheckBox *chkPrivado = nullptr;
    TCheckBox *chkPublico = nullptr;
    TGroupBox *grbGrupClie = nullptr;
    TRadioButton *rbtTodosGrupC = nullptr;
    TRadioButton *rbtListaGrupC = nullptr;
    TButtonFlat *sbtGrupClie = nullptr;
    TGroupBox *grbEmpresa = nullptr;
    TRadioButton *rbtTodosEmpr = nullptr;
    TRadioButton *rbtListaEmp = nullptr;
    TButtonFlat *sbtEmpresa = nullptr;
    TRadioGroup *rdgTipo = nullptr;
    TGroupBox *grbFilial = nullptr;
    TRadioButton *rbtTodosFilial = nullptr;
    TRadioButton *rbtListaFilial = nullptr;
    TButtonFlat *sbtFilial = nullptr;
    TGroupBox *grbLanca = nullptr;
    TRadioButton *rbtTodosLanca = nullptr;
    TRadioButton *rbtListaLanca = nullptr;
    TButtonFlat *sbtLancamento = nullptr;
    TGroupBox *grbVendedor = nullptr;
    TRadioButton *rbtTodosVend = nullptr;
    TRadioButton *rbtListaVend = nullptr;
    TButtonFlat *sbtVendedor = nullptr;
    TGroupBox *grbEmissao = nullptr;
    TDateEditPlus *depEmissaoDE = nullptr;
    TDateEditPlus *depEmissaoATE = nullptr;
    TGroupBox *grbEntrada = nullptr;
    TDateEditPlus *depSaidaDe = nullptr;
    TDateEditPlus *depSaidaAte = nullptr;
    TGroupBox *grbRefeFat = nullptr;
    TDateEditPlus *depDtIniRefeFat = nullptr;
    TDateEditPlus *depDtFinRefeFat = nullptr;
    TGroupBox *grbOrca = nullptr;
    TMaskEdit *medNrOrcaIni = nullptr;
    TMaskEdit *medNrOrcaFin = nullptr;

    // "Dados da Baixa"
    TGroupBox *grbBaixa = nullptr;
    TDateEditPlus *depBaixaEntr = nullptr;
    TDateEditPlus *depBaixaSaid = nullptr;
    TGroupBox *grbFormaRecebida = nullptr;
    TRadioButton *rbtFormaTodos = nullptr;
    TRadioButton *rbtFormaLista = nullptr;
    TButtonFlat *sbtFormaPaga = nullptr;
    TGroupBox *grbCCorr = nullptr;
    TRadioButton *rbtCCorrTodas = nullptr;
    TRadioButton *rbtCCorrLista = nullptr;
    TButtonFlat *sbtCCorr = nullptr;

    // Builds the pages inside the base form's frame, with their design defaults.
    void CreateCriteriaScreen(QWidget *frame);
    // The thirteen all-or-list criteria, in the order of the screen's table.
    QVector<TAllOrList> AllOrListGroups() const;
    // The ten date edits, in the order the checks read them.
    QVector<TDateEditPlus *> DateEdits() const;
};
