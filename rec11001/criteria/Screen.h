#pragma once
#include "criteria/CriteriaGroup.h"
#include "ui/Controls.h"
#include <QScrollArea>
#include <QVector>

// Every control of the criteria screen, by name.
struct TCriteriaControls {
    TPageControl *pgcRelatorio = nullptr; TTabSheet *tshDadosCntReceb = nullptr, *tshDadosDocu = nullptr, *tshDadosBaixa = nullptr;

    // "Dados da Conta a Receber"
    TGroupBox *grbVencimento = nullptr; TDateEditPlus *depVenIni = nullptr, *depVenFin = nullptr;
    TGroupBox *grbValorLiquido = nullptr; TNumberEdit *nedValor1 = nullptr, *nedValor2 = nullptr;
    TGroupBox *grbStatus = nullptr; TCheckBox *chkTodos = nullptr, *chkBaixada = nullptr, *chkDescontada = nullptr, *chkAberto = nullptr, *chkPlanejada = nullptr;
    TGroupBox *grbAtivClie = nullptr; TRadioButton *rdbTodosAtivClie = nullptr, *rdbListaAtivClie = nullptr; TButtonFlat *sbtAtivClie = nullptr;
    TGroupBox *grbTipoConta = nullptr; TRadioButton *rbtTodosTipo = nullptr, *rbtListaTipo = nullptr; TButtonFlat *sbtTipoConta = nullptr; TCheckBox *chbConAdian = nullptr;
    TGroupBox *grbSegMerc = nullptr; TRadioButton *rdbTodosSegMerc = nullptr, *rdbListaSegMerc = nullptr; TButtonFlat *sbtSegMerc = nullptr;
    TGroupBox *grbOpEm = nullptr; TRadioButton *rdbUtiliza = nullptr, *rdbNaoUtiliza = nullptr;
    TGroupBox *grbClassFinanc = nullptr; TRadioButton *rdgTClassFinanc = nullptr, *rdgLClassFinanc = nullptr; TButtonFlat *sbtListaClass = nullptr;

    // "Dados do Documento"
    TGroupBox *grbRegiao = nullptr; TRadioButton *rbtTodasReg = nullptr, *rbtListaReg = nullptr; TButtonFlat *sbtRegiao = nullptr;
    TGroupBox *grbCliente = nullptr; TRadioButton *rbtTodosClie = nullptr, *rbtListaClie = nullptr; TButtonFlat *sbtCliente = nullptr;
    TGroupBox *grbTipoCliente = nullptr; TCheckBox *chkPrivado = nullptr, *chkPublico = nullptr;
    TGroupBox *grbGrupClie = nullptr; TRadioButton *rbtTodosGrupC = nullptr, *rbtListaGrupC = nullptr; TButtonFlat *sbtGrupClie = nullptr;
    TGroupBox *grbEmpresa = nullptr; TRadioButton *rbtTodosEmpr = nullptr, *rbtListaEmp = nullptr; TButtonFlat *sbtEmpresa = nullptr;
    TRadioGroup *rdgTipo = nullptr;
    TGroupBox *grbFilial = nullptr; TRadioButton *rbtTodosFilial = nullptr, *rbtListaFilial = nullptr; TButtonFlat *sbtFilial = nullptr;
    TGroupBox *grbLanca = nullptr; TRadioButton *rbtTodosLanca = nullptr, *rbtListaLanca = nullptr; TButtonFlat *sbtLancamento = nullptr;
    TGroupBox *grbVendedor = nullptr; TRadioButton *rbtTodosVend = nullptr, *rbtListaVend = nullptr; TButtonFlat *sbtVendedor = nullptr;
    TGroupBox *grbEmissao = nullptr; TDateEditPlus *depEmissaoDE = nullptr, *depEmissaoATE = nullptr;
    TGroupBox *grbEntrada = nullptr; TDateEditPlus *depSaidaDe = nullptr, *depSaidaAte = nullptr;
    TGroupBox *grbRefeFat = nullptr; TDateEditPlus *depDtIniRefeFat = nullptr, *depDtFinRefeFat = nullptr;
    TGroupBox *grbOrca = nullptr; TMaskEdit *medNrOrcaIni = nullptr, *medNrOrcaFin = nullptr;

    // "Dados da Baixa"
    TGroupBox *grbBaixa = nullptr; TDateEditPlus *depBaixaEntr = nullptr, *depBaixaSaid = nullptr;
    TGroupBox *grbFormaRecebida = nullptr; TRadioButton *rbtFormaTodos = nullptr, *rbtFormaLista = nullptr; TButtonFlat *sbtFormaPaga = nullptr;
    TGroupBox *grbCCorr = nullptr; TRadioButton *rbtCCorrTodas = nullptr, *rbtCCorrLista = nullptr; TButtonFlat *sbtCCorr = nullptr;

    // Builds the pages inside the base form's frame, with their design defaults.
    void CreateCriteriaScreen(QWidget *frame);
    // The ten date edits, in the order the checks read them.
    QVector<TDateEditPlus *> DateEdits() const;
};
