#include "MessageTable.h"
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
    EXPECT_EQ(form.pgcRelatorio->geometry(), QRect(2, 44, 672, 280));
    ASSERT_EQ(form.pgcRelatorio->count(), 3);
    const QStringList captions = {QStringLiteral("Dados da Conta a Receber"), QStringLiteral("Dados do Documento"), QStringLiteral("Dados da Baixa")};
    const QStringList names = {QStringLiteral("tshDadosCntReceb"), QStringLiteral("tshDadosDocu"), QStringLiteral("tshDadosBaixa")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form.pgcRelatorio->tabText(i), captions[i]);
        EXPECT_EQ(form.pgcRelatorio->Page(i)->objectName(), names[i]);
    }
    EXPECT_EQ(form.pgcRelatorio->ActivePage(), form.tshDadosCntReceb);
    for (const TAllOrList &g : form.AllOrListGroups()) {
        EXPECT_EQ(g.List->text(), QStringLiteral("Lista"));
        EXPECT_EQ(g.Search->toolTip(), QStringLiteral("Pesquisar"));
        EXPECT_FALSE(g.Search->icon().isNull());
        if (g.Group == form.grbClassFinanc) {
            EXPECT_FALSE(g.All->isChecked());
            EXPECT_FALSE(g.List->isChecked());
            EXPECT_TRUE(g.Search->isEnabled());
        } else {
            EXPECT_TRUE(g.All->isChecked()) << g.Group->objectName().toStdString();
            EXPECT_FALSE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
        }
    }
    EXPECT_EQ(form.rbtTodosTipo->text(), QStringLiteral("Todos"));
    EXPECT_EQ(form.rbtTodasReg->text(), QStringLiteral("Todas"));
    EXPECT_EQ(form.grbLanca->title(), QStringLiteral("Filial Lançamento"));
    EXPECT_EQ(form.grbEntrada->title(), QStringLiteral("Saída"));
    EXPECT_EQ(form.grbSegMerc->geometry(), QRect(146, 86, 132, 69));
    EXPECT_EQ(form.grbStatus->geometry(), QRect(525, 15, 121, 139));
    for (TCheckBox *c : {form.chkTodos, form.chkBaixada, form.chkDescontada, form.chkAberto, form.chkPlanejada})
        EXPECT_TRUE(c->isChecked());
    EXPECT_EQ(form.chkAberto->text(), QStringLiteral("Em Aberto"));
    EXPECT_TRUE(form.chkPrivado->isChecked());
    EXPECT_TRUE(form.chkPublico->isChecked());
    EXPECT_FALSE(form.chbConAdian->isChecked());
    EXPECT_EQ(form.chbConAdian->text(), QStringLiteral("Considera Adiantamento"));
    EXPECT_TRUE(form.rdbUtiliza->isChecked());
    EXPECT_EQ(form.rdbNaoUtiliza->text(), QStringLiteral("Não Utiliza"));
    EXPECT_EQ(form.rdgTipo->Items(), (QStringList{QStringLiteral("Todas"), QStringLiteral("Reais"), QStringLiteral("Previstas")}));
    EXPECT_EQ(form.rdgTipo->ItemIndex(), 0);
    EXPECT_EQ(form.medNrOrcaIni->MaxLength(), 10);
    EXPECT_EQ(form.depVenIni->NomeSemana.first(), QStringLiteral("Domingo"));
    EXPECT_EQ(form.depVenIni->NomeSemana.last(), QStringLiteral("Sábado"));
    // Tab order inside a group: all radio, "Lista", search button.
    auto nextTab = [](QWidget *w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTab(form.rbtTodosClie), form.rbtListaClie) << nextTab(form.rbtTodosClie)->objectName().toStdString();
    EXPECT_EQ(nextTab(form.rbtListaClie), form.sbtCliente) << nextTab(form.rbtListaClie)->objectName().toStdString();
    EXPECT_EQ(nextTab(form.depVenIni), form.depVenFin) << nextTab(form.depVenIni)->objectName().toStdString() << nextTab(form.depVenIni)->metaObject()->className();
    EXPECT_EQ(nextTab(form.depVenFin), form.nedValor1); // the next group in tab order
}

TEST_F(CriteriaScreen, OpenedAsAPersonSeesIt)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosCntReceb"));
    for (const TAllOrList &g : Form()->AllOrListGroups()) {
        EXPECT_TRUE(g.All->isChecked()) << g.Group->objectName().toStdString();
        EXPECT_FALSE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
    }
    for (TCheckBox *c : {Form()->chkTodos, Form()->chkBaixada, Form()->chkDescontada, Form()->chkAberto, Form()->chkPlanejada})
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
    TfrmRelLancContReceber form;
    const QStringList lines = MensagensPadrao();
    ASSERT_EQ(lines.size(), 61);
    EXPECT_EQ(form.msgPadrao->Messages, lines);
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('|'), 0, 0);
        const QString text = line.section(QLatin1Char('|'), 1);
        EXPECT_EQ(form.msgPadrao->Msg(key), text);
        EXPECT_EQ(form.msgPadrao->Msg(key.toUpper()), text) << key.toStdString();
        EXPECT_EQ(form.msgPadrao->Msg(key.toLower()), text) << key.toStdString();
    }
    EXPECT_EQ(form.msgPadrao->Msg(QStringLiteral("STATUS_DEVE")), QStringLiteral("Status deve ser informado."));
    EXPECT_EQ(form.msgPadrao->Msg(QStringLiteral("Class_ni")), QStringLiteral("Classificação financeira deve ser informarda."));
    EXPECT_EQ(lines.first().section(QLatin1Char('|'), 0, 0), QStringLiteral("Arq_Rel_Err"));
    EXPECT_EQ(lines.last().section(QLatin1Char('|'), 0, 0), QStringLiteral("NrOrcaFin_ninf"));
}

TEST_F(CriteriaScreen, MissingLayoutFolderShowsItsMessage)
{
    TfrmDadosGerRel::SetReportDir(QDir::tempPath() + QStringLiteral("/rec-sem-relatorios"));
    const bool ok = Open();
    TfrmDadosGerRel::SetReportDir(BinDir() + QStringLiteral("/../reports"));
    ASSERT_TRUE(ok);
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
    for (TADOIBQuery *q : form.Queries()) {
        for (int i = 0; i < q->Params().Count(); ++i) {
            TParam &p = q->Params()[i];
            p.SetAsString(p.Name.startsWith(QLatin1Char('T')) || p.Name.startsWith(QStringLiteral("P_T")) ? QStringLiteral("T") : QString());
        }
        ASSERT_NO_THROW(q->Open()) << q->objectName().toStdString();
        EXPECT_FALSE(q->IsEmpty()) << q->objectName().toStdString();
        EXPECT_EQ(q->SQL, q->SQL_ORACLE) << q->objectName().toStdString();
        q->Close();
    }
    const TField &ag = form.qryContCorr->FieldByName(QStringLiteral("CDAGENCIA"));
    EXPECT_EQ(ag.DisplayLabel, QStringLiteral("Agencia"));
    EXPECT_EQ(ag.EditMask, QStringLiteral("9999-9;0; "));
    EXPECT_EQ(ag.Size, 5);
    const TField &cd = form.qryTipoConta1->FieldByName(QStringLiteral("CDTPCTRECEB"));
    EXPECT_TRUE(cd.Required);
    EXPECT_EQ(cd.DisplayWidth, 8);
    EXPECT_FALSE(form.qryCliente1->FieldByName(QStringLiteral("CDCLIENTE")).Visible);
    EXPECT_TRUE(form.qryClienteRegiao->FieldByName(QStringLiteral("CDCLIENTE")).Required);
    EXPECT_EQ(form.qryAtivClie->FieldByName(QStringLiteral("CDARVATIVCLI")).Origin, QStringLiteral("DBQUARVEL.ATIVCLIENTE.CDARVATIVCLI"));
    EXPECT_EQ(form.cdsParamGeralOrca->FieldByName(QStringLiteral("IDEXIBDADORC")).DataType, TFieldType::FixedChar);
    EXPECT_EQ(form.qryCurvaABC->FieldCount(), 64);
    EXPECT_EQ(form.qryCurvaABC->FieldByName(QStringLiteral("TSTATUS")).Size, 2000);
    EXPECT_EQ(form.dtsCliente__->DataSet, &form.qryCliente1->Query());
    EXPECT_EQ(form.dtsFiliLanca__->DataSet, form.cdsFiliLanca);
    EXPECT_EQ(form.qryVendedor->Params().ParamByName(QStringLiteral("P_CDVENDEDOR")).DataType, TParamType::String);

    // The four texts follow from the default one.
    const QString mssql = form.qryEmpresa->SQL_MSSQL.join(QLatin1Char(' '));
    EXPECT_TRUE(mssql.contains(QStringLiteral("CHARINDEX(CDEMPRESA, :CODEMPRESA)<>0"))) << mssql.toStdString();
    EXPECT_TRUE(mssql.contains(QStringLiteral("CDEMPRESA + ' ' + NMEMPRESA")));
    const QString ib = form.qryEmpresa->SQL_IB.join(QLatin1Char(' '));
    EXPECT_TRUE(ib.contains(QStringLiteral("FROM EMPRESA, PARAM(:CODEMPRESA) CODEMPRESA"))) << ib.toStdString();
    EXPECT_TRUE(ib.contains(QStringLiteral("INSTR(CODEMPRESA.PARAM, CDEMPRESA)<>0")));
    const QString ibRegiao = form.qryClienteRegiao->SQL_IB.join(QLatin1Char(' '));
    EXPECT_TRUE(ibRegiao.contains(QStringLiteral("PARAM(:CLIENTE) P_CLIENTE, PARAM(:P_CDREGIAOPED) P_CDREGIAOPED"))) << ibRegiao.toStdString();
    EXPECT_TRUE(ibRegiao.contains(QStringLiteral("INSTR(P_CLIENTE.PARAM, CLI.CDCLIENTE)")));
    EXPECT_EQ(form.qrySegMerc->SQL_IB, form.qrySegMerc->SQL);
    EXPECT_EQ(form.qrySegMerc->SQL_MSSQL, form.qrySegMerc->SQL);
    EXPECT_GT(form.qryContCorr->SQL.size(), 4); // stored one line per keyword and select item
}

TEST_F(CriteriaScreen, PicturesOfTheThreePages)
{
    ASSERT_TRUE(Open());
    const QString dir = BinDir() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    QMdiSubWindow *frame = m_app->FrameOf(*Form());
    for (int i = 0; i < 3; ++i) {
        Form()->pgcRelatorio->SetActivePage(Form()->pgcRelatorio->Page(i));
        QApplication::processEvents();
        const QImage picture = frame->grab().toImage();
        EXPECT_FALSE(picture.isNull());
        EXPECT_GE(picture.width(), 676);
        const QString file = dir + QStringLiteral("/rec11001-page%1.png").arg(i + 1);
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
}
