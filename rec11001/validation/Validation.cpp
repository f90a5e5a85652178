// The checks that run before every report action.
#include "Cli_rec11001.h"
#include "Consiste.h"
#include "Exceptions.h"

void TfrmRelLancContReceber::FalhaCampo(TTabSheet *page, QWidget *focus, const char *key)
{
    pgcRelatorio->SetActivePage(page);
    focus->setFocus(Qt::OtherFocusReason);
    Falha(key);
}

void TfrmRelLancContReceber::Falha(const char *key)
{
    MensErro(msgPadrao->Msg(QLatin1String(key)), true);
    throw EAbort(); // MensErro with its abort flag never returns
}

void TfrmRelLancContReceber::ValidaCampos()
{
    // 1. Every date edit holds a valid date or nothing.
    for (TDateEditPlus *d : DateEdits())
        d->CheckValidDate();

    // 2. Due dates, value range and the list criteria of the receivable page.
    TTabSheet *page = tshDadosCntReceb;
    if (depVenIni->IsBlank())
        FalhaCampo(page, depVenIni, "DtVencIni_inf");
    if (depVenFin->IsBlank() && !depVenIni->IsBlank())
        FalhaCampo(page, depVenFin, "DtVencFin_inf");
    if (depVenFin->GetDate() < depVenIni->GetDate())
        FalhaCampo(page, depVenIni, "DTVENC_INV");
    if (EmptyString(nedValor1->Text()))
        nedValor1->SetText(QStringLiteral("0"));
    if (EmptyString(nedValor2->Text()))
        nedValor2->SetText(QStringLiteral("0"));
    if (nedValor2->GetNumber() < nedValor1->GetNumber())
        FalhaCampo(page, nedValor1, "VRLIQUIDO_INV");
    if (rdgLClassFinanc->Checked() && EmptyString(lstClass))
        FalhaCampo(page, rdgLClassFinanc, "Class_ni");
    if (rdbListaAtivClie->Checked() && EmptyString(lstAtivClie))
        FalhaCampo(page, rdbListaAtivClie, "Ramo_ni");
    if (rdbListaSegMerc->Checked() && EmptyString(lstSegMerc))
        FalhaCampo(page, rdbListaSegMerc, "Seg_ni");
    if (rbtListaTipo->Checked() && EmptyString(lstTipoConta))
        FalhaCampo(page, rbtListaTipo, "Tipo_ni");

    // 3. List criteria, issue dates and exit dates of the document page.
    page = tshDadosDocu;
    if (rbtListaReg->Checked() && EmptyString(lstRegiao))
        FalhaCampo(page, rbtListaReg, "Regiao_ni");
    if (rbtListaClie->Checked() && EmptyString(lstCliente))
        FalhaCampo(page, rbtListaClie, "Cliente_ni");
    if (rbtListaGrupC->Checked() && EmptyString(lstGrupClie))
        FalhaCampo(page, rbtListaGrupC, "GrupoClie_ni");
    if (rbtListaEmp->Checked() && EmptyString(lstEmpresa))
        FalhaCampo(page, rbtListaEmp, "Empresa_ni");
    if (rbtListaFilial->Checked() && EmptyString(lstFilial))
        FalhaCampo(page, rbtListaFilial, "FilialOri_ni");
    if (rbtListaLanca->Checked() && EmptyString(lstLancamento))
        FalhaCampo(page, rbtListaLanca, "FiliLanca_ni");
    if (rbtListaVend->Checked() && EmptyString(lstVendedor))
        FalhaCampo(page, rbtListaVend, "Vendedor_ni");
    if (depEmissaoDE->IsBlank() && !depEmissaoATE->IsBlank())
        FalhaCampo(page, depEmissaoDE, "DtEmissIni_inf");
    if (depEmissaoATE->IsBlank() && !depEmissaoDE->IsBlank())
        FalhaCampo(page, depEmissaoATE, "DtEmissFin_inf");
    if (depEmissaoATE->GetDate() < depEmissaoDE->GetDate())
        FalhaCampo(page, depEmissaoDE, "DTEMIS_INV");
    if (depSaidaDe->IsBlank() && !depSaidaAte->IsBlank())
        FalhaCampo(page, depSaidaDe, "DtSaidIni_inf");
    if (depSaidaAte->IsBlank() && !depSaidaDe->IsBlank())
        FalhaCampo(page, depSaidaAte, "DtSaidFin_inf");
    if (depSaidaAte->GetDate() < depSaidaDe->GetDate())
        FalhaCampo(page, depSaidaDe, "DtSAID_INV");

    // 4. Budget numbers, compared as texts of the same width.
    medNrOrcaIni->SetText(Ajusta(medNrOrcaIni->Text(), medNrOrcaIni->MaxLength()));
    medNrOrcaFin->SetText(Ajusta(medNrOrcaFin->Text(), medNrOrcaFin->MaxLength()));
    const bool iniBlank = EmptyString(medNrOrcaIni->Text());
    const bool finBlank = EmptyString(medNrOrcaFin->Text());
    if (!iniBlank && !finBlank) {
        if (medNrOrcaIni->Text().toUtf8() > medNrOrcaFin->Text().toUtf8())
            FalhaCampo(page, medNrOrcaIni, "NrOrca_Inv");
    } else if (iniBlank && !finBlank) {
        FalhaCampo(page, medNrOrcaIni, "NrOrcaIni_ninf");
    } else if (!iniBlank && finBlank) {
        medNrOrcaFin->SetText(medNrOrcaIni->Text());
    }

    // 5. Settlement dates and settlement list criteria.
    page = tshDadosBaixa;
    if (depBaixaEntr->IsBlank() && !depBaixaSaid->IsBlank())
        FalhaCampo(page, depBaixaEntr, "DtBaixIni_inf");
    if (depBaixaSaid->IsBlank() && !depBaixaEntr->IsBlank())
        FalhaCampo(page, depBaixaSaid, "DtBaixFin_inf");
    if (depBaixaSaid->GetDate() < depBaixaEntr->GetDate())
        FalhaCampo(page, depBaixaEntr, "DTBAIXA_INV");
    if (rbtFormaLista->Checked() && EmptyString(lstFormaPaga))
        FalhaCampo(page, rbtFormaLista, "TBaixa_ni");
    if (rbtCCorrLista->Checked() && EmptyString(lstCCorr))
        FalhaCampo(page, rbtCCorrLista, "CCorr_ni");

    // 6. Billing reference dates, back on the document page.
    page = tshDadosDocu;
    if (depDtIniRefeFat->IsBlank() && !depDtFinRefeFat->IsBlank())
        FalhaCampo(page, depDtIniRefeFat, "DtRefeFatIni_inf");
    if (depDtFinRefeFat->IsBlank() && !depDtIniRefeFat->IsBlank())
        FalhaCampo(page, depDtFinRefeFat, "DtRefeFatFin_inf");
    if (depDtFinRefeFat->GetDate() < depDtIniRefeFat->GetDate())
        FalhaCampo(page, depDtIniRefeFat, "DTREFEFAT_INV");
}

void TfrmRelLancContReceber::TipoCliente()
{
    if (!chkPrivado->Checked() && !chkPublico->Checked())
        Falha("TPCLIE_DEVE");
}

void TfrmRelLancContReceber::ValidaStatus()
{
    if (!chkBaixada->Checked() && !chkDescontada->Checked() && !chkAberto->Checked() && !chkPlanejada->Checked())
        Falha("STATUS_DEVE");
}
