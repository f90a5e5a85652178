// The checks that run before every report action.
#include "data/Exceptions.h"
#include "module/Cli_rec11001.h"
#include "services/Consiste.h"

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

void TfrmRelLancContReceber::ValidaListas(TTabSheet *page)
{
    for (const TCriteriaGroup &g : m_groups)
        if (g.Page == page && g.List->Checked() && EmptyString(*g.Codes))
            FalhaCampo(page, g.List, g.MissingKey);
}

// One side given needs the other; the end may not come before the start (two blanks pass).
void TfrmRelLancContReceber::ValidaPeriodo(TTabSheet *page, TDateEditPlus *de, TDateEditPlus *ate, const char *deKey, const char *ateKey,
                                           const char *orderKey)
{
    if (de->IsBlank() && !ate->IsBlank())
        FalhaCampo(page, de, deKey);
    if (ate->IsBlank() && !de->IsBlank())
        FalhaCampo(page, ate, ateKey);
    if (ate->GetDate() < de->GetDate())
        FalhaCampo(page, de, orderKey);
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
    ValidaPeriodo(page, depVenIni, depVenFin, "DtVencIni_inf", "DtVencFin_inf", "DTVENC_INV");
    if (EmptyString(nedValor1->Text()))
        nedValor1->SetText(QStringLiteral("0"));
    if (EmptyString(nedValor2->Text()))
        nedValor2->SetText(QStringLiteral("0"));
    if (nedValor2->GetNumber() < nedValor1->GetNumber())
        FalhaCampo(page, nedValor1, "VRLIQUIDO_INV");
    ValidaListas(page);

    // 3. List criteria, issue dates and exit dates of the document page.
    page = tshDadosDocu;
    ValidaListas(page);
    ValidaPeriodo(page, depEmissaoDE, depEmissaoATE, "DtEmissIni_inf", "DtEmissFin_inf", "DTEMIS_INV");
    ValidaPeriodo(page, depSaidaDe, depSaidaAte, "DtSaidIni_inf", "DtSaidFin_inf", "DtSAID_INV");

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
    ValidaPeriodo(page, depBaixaEntr, depBaixaSaid, "DtBaixIni_inf", "DtBaixFin_inf", "DTBAIXA_INV");
    ValidaListas(page);

    // 6. Billing reference dates, back on the document page.
    page = tshDadosDocu;
    ValidaPeriodo(page, depDtIniRefeFat, depDtFinRefeFat, "DtRefeFatIni_inf", "DtRefeFatFin_inf", "DTREFEFAT_INV");
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
