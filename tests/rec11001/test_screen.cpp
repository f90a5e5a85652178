#include "host/MessageTable.h"
#include "lookup/Lookups.h"
#include "ScreenFixture.h"
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QMdiSubWindow>
#include <QScrollArea>

using CriteriaScreen = ScreenTest;

TEST_F(CriteriaScreen, DesignDefaultsAsBuilt)
{
    // The form as designed, before its creation handler runs.
    TfrmRelLancContReceber form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Contas a Receber/Recebidas"));
    EXPECT_EQ(form.size(), QSize(676, 353));
    EXPECT_EQ(form.DesignPosition, QPoint(620, 192));
    EXPECT_EQ(form.HelpFile, QStringLiteral("Rechelp.hlp"));
    EXPECT_EQ(form.HelpContext, 12611001);
    EXPECT_EQ(form.lblCodTela->text(), QStringLiteral("REC11001"));
    EXPECT_EQ(form.lblCodRel->text(), QStringLiteral("REC110"));
    EXPECT_EQ(form.cbbReportNames->width(), 488);
    EXPECT_EQ(form.Control<TPageControl>("pgcRelatorio")->geometry(), QRect(2, 44, 672, 280));
    ASSERT_EQ(form.Control<TPageControl>("pgcRelatorio")->count(), 3);
    const QStringList captions = {QStringLiteral("Dados da Conta a Receber"), QStringLiteral("Dados do Documento"), QStringLiteral("Dados da Baixa")};
    const QStringList names = {QStringLiteral("tshDadosCntReceb"), QStringLiteral("tshDadosDocu"), QStringLiteral("tshDadosBaixa")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form.Control<TPageControl>("pgcRelatorio")->tabText(i), captions[i]);
        EXPECT_EQ(form.Control<TPageControl>("pgcRelatorio")->Page(i)->objectName(), names[i]);
    }
    EXPECT_EQ(form.Control<TPageControl>("pgcRelatorio")->ActivePage(), form.Control<TTabSheet>("tshDadosCntReceb"));
    for (const TAllOrList &g : form.AllOrListGroups()) {
        EXPECT_EQ(g.List->text(), QStringLiteral("Lista"));
        EXPECT_EQ(g.Search->toolTip(), QStringLiteral("Pesquisar"));
        EXPECT_FALSE(g.Search->icon().isNull());
        if (g.Group == form.Control<TGroupBox>("grbClassFinanc")) {
            EXPECT_FALSE(g.All->isChecked());
            EXPECT_FALSE(g.List->isChecked());
            EXPECT_TRUE(g.Search->isEnabled());
        } else {
            EXPECT_TRUE(g.All->isChecked()) << g.Group->objectName().toStdString();
            EXPECT_FALSE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
        }
    }
    EXPECT_EQ(form.Control<TRadioButton>("rbtTodosTipo")->text(), QStringLiteral("Todos"));
    EXPECT_EQ(form.Control<TRadioButton>("rbtTodasReg")->text(), QStringLiteral("Todas"));
    EXPECT_EQ(form.Control<TGroupBox>("grbLanca")->title(), QStringLiteral("Filial Lançamento"));
    EXPECT_EQ(form.Control<TGroupBox>("grbEntrada")->title(), QStringLiteral("Saída"));
    EXPECT_EQ(form.Control<TGroupBox>("grbSegMerc")->geometry(), QRect(146, 86, 132, 69));
    EXPECT_EQ(form.Control<TGroupBox>("grbStatus")->geometry(), QRect(525, 15, 121, 139));
    for (TCheckBox *c : {form.Control<TCheckBox>("chkTodos"), form.Control<TCheckBox>("chkBaixada"), form.Control<TCheckBox>("chkDescontada"), form.Control<TCheckBox>("chkAberto"), form.Control<TCheckBox>("chkPlanejada")})
        EXPECT_TRUE(c->isChecked());
    EXPECT_EQ(form.Control<TCheckBox>("chkAberto")->text(), QStringLiteral("Em Aberto"));
    EXPECT_TRUE(form.Control<TCheckBox>("chkPrivado")->isChecked());
    EXPECT_TRUE(form.Control<TCheckBox>("chkPublico")->isChecked());
    EXPECT_FALSE(form.Control<TCheckBox>("chbConAdian")->isChecked());
    EXPECT_EQ(form.Control<TCheckBox>("chbConAdian")->text(), QStringLiteral("Considera Adiantamento"));
    EXPECT_TRUE(form.Control<TRadioButton>("rdbUtiliza")->isChecked());
    EXPECT_EQ(form.Control<TRadioButton>("rdbNaoUtiliza")->text(), QStringLiteral("Não Utiliza"));
    EXPECT_EQ(form.Control<TRadioGroup>("rdgTipo")->Items(), (QStringList{QStringLiteral("Todas"), QStringLiteral("Reais"), QStringLiteral("Previstas")}));
    EXPECT_EQ(form.Control<TRadioGroup>("rdgTipo")->ItemIndex(), 0);
    EXPECT_EQ(form.Control<TMaskEdit>("medNrOrcaIni")->MaxLength(), 10);
    EXPECT_EQ(form.Control<TDateEditPlus>("depVenIni")->NomeSemana.first(), QStringLiteral("Domingo"));
    EXPECT_EQ(form.Control<TDateEditPlus>("depVenIni")->NomeSemana.last(), QStringLiteral("Sábado"));
    // Tab order inside a group: all radio, "Lista", search button.
    auto nextTab = [](QWidget *w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTab(form.Control<TRadioButton>("rbtTodosClie")), form.Control<TRadioButton>("rbtListaClie")) << nextTab(form.Control<TRadioButton>("rbtTodosClie"))->objectName().toStdString();
    EXPECT_EQ(nextTab(form.Control<TRadioButton>("rbtListaClie")), form.Control<TButtonFlat>("sbtCliente")) << nextTab(form.Control<TRadioButton>("rbtListaClie"))->objectName().toStdString();
    EXPECT_EQ(nextTab(form.Control<TDateEditPlus>("depVenIni")), form.Control<TDateEditPlus>("depVenFin")) << nextTab(form.Control<TDateEditPlus>("depVenIni"))->objectName().toStdString() << nextTab(form.Control<TDateEditPlus>("depVenIni"))->metaObject()->className();
    EXPECT_EQ(nextTab(form.Control<TDateEditPlus>("depVenFin")), form.Control<TNumberEdit>("nedValor1")); // the next group in tab order
}

TEST_F(CriteriaScreen, OpenedAsAPersonSeesIt)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosCntReceb"));
    for (const TAllOrList &g : Form()->AllOrListGroups()) {
        EXPECT_TRUE(g.All->isChecked()) << g.Group->objectName().toStdString();
        EXPECT_FALSE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
    }
    for (TCheckBox *c : {Form()->Control<TCheckBox>("chkTodos"), Form()->Control<TCheckBox>("chkBaixada"), Form()->Control<TCheckBox>("chkDescontada"), Form()->Control<TCheckBox>("chkAberto"), Form()->Control<TCheckBox>("chkPlanejada")})
        EXPECT_TRUE(c->isChecked());
    // The layouts of the report code, the ABC curve at entry 18.
    ASSERT_GE(Form()->cbbReportNames->count(), 19);
    EXPECT_EQ(Form()->cbbReportNames->itemText(18), QStringLiteral("Curva ABC de Contas a Receber"));
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 0);
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(CriteriaScreen, EveryCaptionShowsWholeAndTheScreenFitsTheHost)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    int checked = 0;
    for (QWidget *w : f.findChildren<QWidget *>()) {
        QString text;
        if (auto *l = qobject_cast<QLabel *>(w))
            text = l->text();
        else if (qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w))
            text = static_cast<QAbstractButton *>(w)->text();
        if (text.isEmpty())
            continue;
        ++checked;
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString() << " '" << text.toStdString() << "'";
        EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(text)) << w->objectName().toStdString();
        // Not cut by the group it sits in either.
        EXPECT_LE(w->geometry().right(), w->parentWidget()->width() - 1) << w->objectName().toStdString();
    }
    EXPECT_GT(checked, 50);

    // At its designed place in a large host window; moved to show whole in a small one.
    QMdiSubWindow *frame = m_app->FrameOf(f);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->pos(), QPoint(620, 192));
    f.DoClose();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_main->resize(900, 520);
    QApplication::processEvents();
    ASSERT_TRUE(Open());
    frame = m_app->FrameOf(*Form());
    const QRect area = m_area->viewport()->rect();
    EXPECT_TRUE(area.contains(frame->geometry())) << frame->geometry().x() << "," << frame->geometry().y() << " " << frame->width() << "x"
                                                  << frame->height() << " in " << area.width() << "x" << area.height();
}

TEST_F(CriteriaScreen, EveryMessageKeyResolvesWhateverTheCase)
{
    // The table as the screen's users read it, kept here on its own, in its order.
    const std::pair<const char *, const char *> expected[] = {
        {"Arq_Rel_Err", "O arquivo contendo a definição do Relatório de código '%s' não foi encontrado no diretório '%s'."},
        {"NovoCaption", "Título do Relatório"},
        {"NovoPrompt", "Informe o título do relatório:"},
        {"Cliente_ni", "Cliente deve ser informado."},
        {"FilialOri_ni", "Filial origem deve ser informada."},
        {"Empresa_ni", "Empresa deve ser informada."},
        {"Tipo", "Tipo de Conta a Receber"},
        {"Cliente", "Cliente"},
        {"FilialOr", "Filial"},
        {"Empresa", "Empresa"},
        {"Tipo_ni", "Tipo de conta deve ser informado."},
        {"FiliLanca", "Filial"},
        {"FiliLanca_ni", "Filial lançamento deve ser informada."},
        {"TipoBaixa", "Tipo de Baixa"},
        {"TBaixa_ni", "Tipo de baixa deve ser informada."},
        {"Receb", "Recebidas"},
        {"DTBAIXA_INV", "Data da baixa inicial deve ser menor ou igual a data da baixa final."},
        {"DTVENC_INV", "Data de vencimento inicial deve ser menor ou igual a data de vencimento final."},
        {"DTEMIS_INV", "Data de emissão inicial deve ser menor ou igual a data de emissão final."},
        {"DtSAID_INV", "Data de saída inicial deve ser menor ou igual a data de saída final."},
        {"VRLIQUIDO_INV", "Valor líquido inicial deve ser menor ou igual ao valor líquido final."},
        {"DtBaixIni_inf", "Data da baixa inicial deve ser informada."},
        {"DtBaixFin_inf", "Data da baixa final deve ser informada."},
        {"DtVencIni_inf", "Data de vencimento inicial deve ser informada."},
        {"DtVencFin_inf", "Data de vencimento final deve ser informada."},
        {"DtEmissIni_inf", "Data de emissão inicial deve ser informada."},
        {"DtEmissFin_inf", "Data de emissão final deve ser informada."},
        {"DtSaidIni_inf", "Data de saída inicial deve ser informada."},
        {"DtSaidFin_inf", "Data de saída final deve ser informada."},
        {"CCorr_ni", "Conta corrente deve ser informada."},
        {"CCorr", "Conta Corrente"},
        {"Cliente_Empty", "Não há cliente cadastrado."},
        {"Filial_Empty", "Não há filial cadastrada."},
        {"Empresa_Empty", "Não há empresa cadastrada."},
        {"TipoConta_Empty", "Não há tipo de conta a receber cadastrado."},
        {"ContaCorr_Empty", "Não há conta corrente cadastrada."},
        {"DtVenc_inf", "Data de vencimento deve ser informada."},
        {"TPCLIE_DEVE", "Tipo de cliente deve ser informado."},
        {"ATIVCLIE", "Ramo de Atividade"},
        {"SegMerc", "Segmento de Mercado"},
        {"Class", "Classificação Financeira"},
        {"Class_nCad", "Não há classificação financeira cadastrada."},
        {"Class_ni", "Classificação financeira deve ser informarda."},
        {"GrupoClie_ni", "Grupo de cliente deve ser informado."},
        {"GrupClie_Empty", "Não há grupo de cliente cadastrado."},
        {"GrupClie", "Grupo de Cliente"},
        {"Status_deve", "Status deve ser informado."},
        {"Ramo_ni", "Ramo de atividade deve ser informado."},
        {"Seg_ni", "Segmento de mercado deve ser informado."},
        {"Regiao_Empty", "Não há região cadastrada."},
        {"Regiao_ni", "Região deve ser informada."},
        {"Vendedor_Empty", "Não há vendedor cadastrado."},
        {"Vendedor_ni", "Vendedor deve ser informado."},
        {"Regiao", "Região"},
        {"Vendedor", "Vendedor"},
        {"DtRefeFatIni_inf", "Data de referência de faturamento inicial deve ser informada."},
        {"DtRefeFatFin_inf", "Data de referência de faturamento final deve ser informada."},
        {"DTREFEFAT_INV", "Data de referência de faturamento inicial deve ser menor ou igual a data de referência de faturamento final."},
        {"NrOrca_Inv", "Número do orçamento inicial deve ser menor ou igual ao número do orçamento final."},
        {"NrOrcaIni_ninf", "Número do orçamento inicial deve ser informado."},
        {"NrOrcaFin_ninf", "Número do orçamento final deve ser informado."},
    };
    TfrmRelLancContReceber form;
    ASSERT_EQ(form.msgPadrao->Messages.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const QString key = QString::fromUtf8(expected[i].first), text = QString::fromUtf8(expected[i].second);
        EXPECT_EQ(form.msgPadrao->Messages.value(static_cast<qsizetype>(i)).section(QLatin1Char('|'), 0, 0), key) << i;
        EXPECT_EQ(form.msgPadrao->Msg(key), text) << key.toStdString();
        EXPECT_EQ(form.msgPadrao->Msg(key.toUpper()), text) << key.toStdString();
        EXPECT_EQ(form.msgPadrao->Msg(key.toLower()), text) << key.toStdString();
    }
    EXPECT_EQ(form.msgPadrao->Msg(QStringLiteral("STATUS_DEVE")), QStringLiteral("Status deve ser informado."));
}

TEST_F(CriteriaScreen, MissingLayoutFolderShowsItsMessage)
{
    const TfrmDadosGerRel::TReportDirScope missing(QDir::tempPath() + QStringLiteral("/rec-sem-relatorios"));
    ASSERT_TRUE(Open());
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], QStringLiteral("O arquivo contendo a definição do Relatório de código 'REC110' não foi encontrado no diretório '%1'.")
                            .arg(QDir::tempPath() + QStringLiteral("/rec-sem-relatorios/REC110")));
    // A report action without a layout says the same and runs nothing.
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages().size(), 1);
    EXPECT_FALSE(Form()->rpddPadrao->HasLastParams());
}

TEST_F(CriteriaScreen, EveryLookupOpensWithItsParametersAndFieldAttributes)
{
    TfrmRelLancContReceber form;
    // The form's own lookups; the queries behind a printed receivable are read by the preview's tests.
    for (TADOIBQuery *q : form.findChildren<TADOIBQuery *>(QString(), Qt::FindDirectChildrenOnly)) {
        for (int i = 0; i < q->Params().Count(); ++i) {
            TParam &p = q->Params()[i];
            p.SetAsString(p.Name.startsWith(QLatin1Char('T')) || p.Name.startsWith(QStringLiteral("P_T")) ? QStringLiteral("T") : QString());
        }
        ASSERT_NO_THROW(q->Open()) << q->objectName().toStdString();
        EXPECT_FALSE(q->IsEmpty()) << q->objectName().toStdString();
        q->Close();
    }
    const TField &ag = form.Control<TADOIBQuery>("qryContCorr")->FieldByName(QStringLiteral("CDAGENCIA"));
    EXPECT_EQ(ag.DisplayLabel, QStringLiteral("Agencia"));
    EXPECT_EQ(ag.EditMask, QStringLiteral("9999-9;0; "));
    EXPECT_EQ(ag.Size, 5);
    const TField &cd = form.Control<TADOIBQuery>("qryTipoConta1")->FieldByName(QStringLiteral("CDTPCTRECEB"));
    EXPECT_TRUE(cd.Required);
    EXPECT_EQ(cd.DisplayWidth, 8);
    EXPECT_FALSE(form.Control<TADOIBQuery>("qryCliente1")->FieldByName(QStringLiteral("CDCLIENTE")).Visible);
    EXPECT_TRUE(form.Control<TADOIBQuery>("qryClienteRegiao")->FieldByName(QStringLiteral("CDCLIENTE")).Required);
    EXPECT_EQ(form.Control<TClientDataSet>("qryAtivClie")->FieldByName(QStringLiteral("CDARVATIVCLI")).Origin, QStringLiteral("DBQUARVEL.ATIVCLIENTE.CDARVATIVCLI"));
    EXPECT_EQ(form.Control<TClientDataSet>("cdsParamGeralOrca")->FieldByName(QStringLiteral("IDEXIBDADORC")).DataType, TFieldType::FixedChar);
    EXPECT_EQ(form.Control<TClientDataSet>("qryCurvaABC")->FieldCount(), 64);
    EXPECT_EQ(form.Control<TClientDataSet>("qryCurvaABC")->FieldByName(QStringLiteral("TSTATUS")).Size, 2000);
    EXPECT_EQ(form.Control<TDataSource>("dtsCliente__")->DataSet, &form.Control<TADOIBQuery>("qryCliente1")->Query());
    EXPECT_EQ(form.Control<TDataSource>("dtsFiliLanca__")->DataSet, form.Control<TClientDataSet>("cdsFiliLanca"));
    EXPECT_EQ(form.Control<TADOIBQuery>("qryVendedor")->Params().ParamByName(QStringLiteral("P_CDVENDEDOR")).DataType, TParamType::String);

    // The four texts follow from the default one; each is compared with the text written out here.
    const auto oneLine = [](const QStringList &lines) { return lines.join(QLatin1Char(' ')).simplified(); };
    const QString empresa = QStringLiteral("SELECT CDEMPRESA, NMEMPRESA, CDEMPRESA || ' ' || NMEMPRESA as NOME FROM EMPRESA "
                                           "WHERE (INSTR(:CODEMPRESA, CDEMPRESA)<>0 OR :TCODEMPRESA = 'T') ORDER BY CDEMPRESA");
    EXPECT_EQ(oneLine(form.Control<TADOIBQuery>("qryEmpresa")->SQL), empresa);
    EXPECT_EQ(oneLine(form.Control<TADOIBQuery>("qryEmpresa")->SQL_ORACLE), empresa);
    EXPECT_EQ(oneLine(form.Control<TADOIBQuery>("qryEmpresa")->SQL_MSSQL),
              QStringLiteral("SELECT CDEMPRESA, NMEMPRESA, CDEMPRESA + ' ' + NMEMPRESA as NOME FROM EMPRESA "
                             "WHERE (CHARINDEX(CDEMPRESA, :CODEMPRESA)<>0 OR :TCODEMPRESA = 'T') ORDER BY CDEMPRESA"));
    EXPECT_EQ(oneLine(form.Control<TADOIBQuery>("qryEmpresa")->SQL_IB),
              QStringLiteral("SELECT CDEMPRESA, NMEMPRESA, CDEMPRESA || ' ' || NMEMPRESA as NOME FROM EMPRESA, PARAM(:CODEMPRESA) CODEMPRESA "
                             "WHERE (INSTR(CODEMPRESA.PARAM, CDEMPRESA)<>0 OR :TCODEMPRESA = 'T') ORDER BY CDEMPRESA"));
    const QString mssql = form.Control<TADOIBQuery>("qryEmpresa")->SQL_MSSQL.join(QLatin1Char(' '));
    EXPECT_TRUE(mssql.contains(QStringLiteral("CHARINDEX(CDEMPRESA, :CODEMPRESA)<>0"))) << mssql.toStdString();
    EXPECT_TRUE(mssql.contains(QStringLiteral("CDEMPRESA + ' ' + NMEMPRESA")));
    const QString ib = form.Control<TADOIBQuery>("qryEmpresa")->SQL_IB.join(QLatin1Char(' '));
    EXPECT_TRUE(ib.contains(QStringLiteral("FROM EMPRESA, PARAM(:CODEMPRESA) CODEMPRESA"))) << ib.toStdString();
    EXPECT_TRUE(ib.contains(QStringLiteral("INSTR(CODEMPRESA.PARAM, CDEMPRESA)<>0")));
    const QString ibRegiao = form.Control<TADOIBQuery>("qryClienteRegiao")->SQL_IB.join(QLatin1Char(' '));
    EXPECT_TRUE(ibRegiao.contains(QStringLiteral("PARAM(:CLIENTE) P_CLIENTE, PARAM(:P_CDREGIAOPED) P_CDREGIAOPED"))) << ibRegiao.toStdString();
    EXPECT_TRUE(ibRegiao.contains(QStringLiteral("INSTR(P_CLIENTE.PARAM, CLI.CDCLIENTE)")));
    EXPECT_EQ(form.Control<TADOIBQuery>("qrySegMerc")->SQL_IB, form.Control<TADOIBQuery>("qrySegMerc")->SQL);
    EXPECT_EQ(form.Control<TADOIBQuery>("qrySegMerc")->SQL_MSSQL, form.Control<TADOIBQuery>("qrySegMerc")->SQL);
    EXPECT_GT(form.Control<TADOIBQuery>("qryContCorr")->SQL.size(), 4); // stored one line per keyword and select item
}

TEST_F(CriteriaScreen, PicturesOfTheThreePages)
{
    ASSERT_TRUE(Open());
    const QString dir = BinDir() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    QMdiSubWindow *frame = m_app->FrameOf(*Form());
    for (int i = 0; i < 3; ++i) {
        Form()->Control<TPageControl>("pgcRelatorio")->SetActivePage(Form()->Control<TPageControl>("pgcRelatorio")->Page(i));
        QApplication::processEvents();
        const QImage picture = frame->grab().toImage();
        EXPECT_FALSE(picture.isNull());
        EXPECT_GE(picture.width(), 676);
        const QString file = dir + QStringLiteral("/rec11001-page%1.png").arg(i + 1);
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
}

TEST(LookupStatements, TheSqlServerAndInterBaseTextsAreDerivedFromTheDefault)
{
    const QString sql = QStringLiteral("SELECT C.CDCLIENTE, C.NMFANTCLIE || ' ' || C.CDCLIENTE FROM CLIENTE C "
                                       "WHERE ((INSTR(:P_CLIENTE , C.CDCLIENTE)<> 0) OR (:TCLIENTE = 'T'))");
    TADOIBQuery q(QStringLiteral("qryTexto"));
    SetStatements(q, sql, {{QStringLiteral("P_CLIENTE"), QStringLiteral("PCLI")}});
    const auto text = [&q](int kind) { return q.GetSQL(kind).join(QLatin1Char(' ')); };
    EXPECT_EQ(text(0), text(1)); // Oracle reads the default text
    EXPECT_TRUE(text(2).contains(QStringLiteral("C.NMFANTCLIE + ' ' + C.CDCLIENTE")));
    EXPECT_TRUE(text(2).contains(QStringLiteral("CHARINDEX(C.CDCLIENTE, :P_CLIENTE)")));
    EXPECT_FALSE(text(2).contains(QStringLiteral("INSTR")));
    EXPECT_TRUE(text(3).contains(QStringLiteral("FROM CLIENTE C, PARAM(:P_CLIENTE) PCLI")));
    EXPECT_TRUE(text(3).contains(QStringLiteral("INSTR(PCLI.PARAM, C.CDCLIENTE)")));
    EXPECT_LT(text(3).indexOf(QStringLiteral("PARAM(:P_CLIENTE)")), text(3).indexOf(QStringLiteral("WHERE")));
}
