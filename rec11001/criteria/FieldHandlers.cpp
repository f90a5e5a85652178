// Handlers that keep the criteria consistent while the user types and clicks,
// and the display texts of the lookup codes.
#include "module/Cli_rec11001.h"
#include "services/Consiste.h"
#include "services/Picture.h"

// ---- dates: each checks its own edit as the focus leaves it

void TfrmRelLancContReceber::depVenIniExit(QObject *) { depVenIni->CheckValidDate(); }
void TfrmRelLancContReceber::depVenFinExit(QObject *) { depVenFin->CheckValidDate(); }
void TfrmRelLancContReceber::depEmissaoDEExit(QObject *) { depEmissaoDE->CheckValidDate(); }
void TfrmRelLancContReceber::depEmissaoATEExit(QObject *) { depEmissaoATE->CheckValidDate(); }
void TfrmRelLancContReceber::depSaidaDeExit(QObject *) { depSaidaDe->CheckValidDate(); }
void TfrmRelLancContReceber::depSaidaAteExit(QObject *) { depSaidaAte->CheckValidDate(); }
void TfrmRelLancContReceber::depBaixaEntrExit(QObject *) { depBaixaEntr->CheckValidDate(); }
void TfrmRelLancContReceber::depBaixaSaidExit(QObject *) { depBaixaSaid->CheckValidDate(); }
void TfrmRelLancContReceber::depDtIniRefeFatExit(QObject *) { depDtIniRefeFat->CheckValidDate(); }
void TfrmRelLancContReceber::depDtFinRefeFatExit(QObject *) { depDtFinRefeFat->CheckValidDate(); }

// ---- net value: no sign, at most 10 integer digits and 2 decimals

namespace {
void noSign(QChar &key) { key = key == QLatin1Char('-') ? QChar(0) : key; }

void valueKeyFilter(TNumberEdit *edit, QChar &key)
{
    noSign(key);
    QString k(key);
    const int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    MaxNumber(edit->text(), 10, 2, k, selStart, static_cast<int>(edit->selectedText().size()));
    key = k.isEmpty() ? QChar(0) : k.at(0);
}
} // namespace

void TfrmRelLancContReceber::nedValor1KeyPress(QObject *, QChar &key) { valueKeyFilter(nedValor1, key); }
void TfrmRelLancContReceber::nedValor2KeyPress(QObject *, QChar &key) { valueKeyFilter(nedValor2, key); }

// ---- budget numbers

void TfrmRelLancContReceber::medNrOrcaIniKeyPress(QObject *, QChar &key) { noSign(key); }
void TfrmRelLancContReceber::medNrOrcaFinKeyPress(QObject *, QChar &key) { noSign(key); }

void TfrmRelLancContReceber::medNrOrcaIniExit(QObject *)
{
    medNrOrcaIni->SetText(Ajusta(medNrOrcaIni->Text(), medNrOrcaIni->MaxLength()));
    if (EmptyString(medNrOrcaFin->Text()))
        medNrOrcaFin->SetText(medNrOrcaIni->Text());
}

void TfrmRelLancContReceber::medNrOrcaFinExit(QObject *)
{
    medNrOrcaFin->SetText(Ajusta(medNrOrcaFin->Text(), medNrOrcaFin->MaxLength()));
}

// ---- status boxes and the settlement page

void TfrmRelLancContReceber::AjustaBaixa()
{
    SetChildEnabled(grbBaixa, chkBaixada->Checked() || chkPlanejada->Checked());
    if (!chkBaixada->Checked()) {
        depBaixaEntr->SetDate(0);
        depBaixaSaid->SetDate(0);
    }
}

void TfrmRelLancContReceber::chkTodosClick(QObject *)
{
    const QVector<TCheckBox *> single = {chkBaixada, chkDescontada, chkAberto, chkPlanejada};
    for (TCheckBox *c : single)
        c->setEnabled(!chkTodos->Checked());
    if (chkTodos->Checked())
        for (TCheckBox *c : single)
            c->SetChecked(true);
    AjustaBaixa();
    rbtFormaTodos->SetChecked(true);
    rbtCCorrTodas->SetChecked(true);
    sbtCCorr->setEnabled(false);
    sbtFormaPaga->setEnabled(false);
}

void TfrmRelLancContReceber::chkBaixadaClick(QObject *)
{
    if (!chkBaixada->Checked()) {
        depBaixaEntr->SetDate(0);
        depBaixaSaid->SetDate(0);
    }
}

void TfrmRelLancContReceber::tshDadosBaixaEnter(QObject *)
{
    AjustaBaixa();
    if (!rbtFormaLista->Checked())
        sbtFormaPaga->setEnabled(false);
    if (!rbtCCorrLista->Checked())
        sbtCCorr->setEnabled(false);
}

// ---- display texts

void TfrmRelLancContReceber::qryContCorrCDCONTCORRGetText(TField &sender, QString &text, bool)
{
    text = sender.IsNull() ? QString()
                           : FormatMaskText(sender.DataSet().FieldByName(QStringLiteral("CDPICTCONT")).AsString() + QStringLiteral(";0; "),
                                            sender.AsString());
}

void TfrmRelLancContReceber::qryContCorrCDAGENCIAGetText(TField &sender, QString &text, bool)
{
    text = sender.IsNull() ? QString()
                           : FormatMaskText(sender.DataSet().FieldByName(QStringLiteral("CDPICTAGEN")).AsString() + QStringLiteral(";0; "),
                                            sender.Value().toString());
}

void TfrmRelLancContReceber::qryAtivClieCDARVATIVCLIGetText(TField &sender, QString &text, bool)
{
    if (m_pictAtivClie.isEmpty())
        m_pictAtivClie = DBPict(16);
    text = FormatMaskText(m_pictAtivClie, sender.AsString());
}

// The registration number shown in the mask of the row's own person type.
void TfrmRelLancContReceber::qryCliente1NRINSJURCLIEGetText(TField &sender, QString &text, bool)
{
    text = FormatMaskText(PictPess(sender.DataSet().FieldByName(QStringLiteral("IDTPIJURCLIE")).AsString()), sender.AsString());
}

void TfrmRelLancContReceber::qryClienteRegiaoNRINSJURCLIEGetText(TField &sender, QString &text, bool displayText)
{
    qryCliente1NRINSJURCLIEGetText(sender, text, displayText);
}

// The hidden client-code column shows the row's own registration number.
void TfrmRelLancContReceber::qryCliente1CDCLIENTEGetText(TField &sender, QString &text, bool)
{
    text = sender.DataSet().FieldByName(QStringLiteral("NRINSJURCLIE")).AsString();
}

void TfrmRelLancContReceber::qryClienteRegiaoCDCLIENTEGetText(TField &sender, QString &text, bool displayText)
{
    qryCliente1CDCLIENTEGetText(sender, text, displayText);
}
