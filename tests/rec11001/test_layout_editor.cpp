#include "data/Exceptions.h"
#include "params/ParamNames.h"
#include "report/LayoutEditor.h"
#include "ScreenFixture.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file of a folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &f : QDir(dir).entryList(QDir::Files))
        out[f] = readAll(QDir(dir).filePath(f));
    return out;
}

void setCell(QTableWidget *grid, int row, int col, const QString &text) { grid->item(row, col)->setText(text); }
} // namespace

// The screen over a copy of the report folder, so saved layouts stay in the test.
class LayoutEditing : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        const QDir from(BinDir() + QStringLiteral("/../reports/REC110"));
        QDir(m_dir.path()).mkdir(QStringLiteral("REC110"));
        for (const QString &f : from.entryList({QStringLiteral("*.json")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(from.filePath(f), Folder() + QLatin1Char('/') + f));
        TfrmDadosGerRel::SetReportDir(m_dir.path()); // the test session's folder, gone with it
    }
    QString Folder() const { return m_dir.path() + QStringLiteral("/REC110"); }
    // Opens the layout editor on the chosen layout with the action's button; the
    // script works it as a person would.
    void EditWith(const std::function<void(TReportLayoutEditor &)> &script)
    {
        Form()->LayoutEditorScript = script;
        Action("sbtReportEdit");
        Form()->LayoutEditorScript = {};
    }
    QTemporaryDir m_dir;
};

TEST_F(LayoutEditing, AnEditedLayoutSavedUnderANewTitleIsListedSelectedAndRuns)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    ASSERT_EQ(f->cbbReportNames->count(), 20);
    f->cbbReportNames->UserSelect(1);
    const QString original = f->Layouts()[1].File;
    const QMap<QString, QByteArray> before = snapshot(Folder());

    bool verified = false;
    int result = -1;
    EditWith([&](TReportLayoutEditor &e) {
        EXPECT_EQ(e.edtTitulo->text(), QStringLiteral("Contas a Receber por Cliente"));
        e.edtSubtitulo->setText(QStringLiteral("Clientes de {:DTINIVEN} a {:DTFINVEN}"));
        e.cbbOrientacao->setCurrentIndex(0);
        setCell(e.grdColunas, 0, 1, QStringLiteral("Lançamento nº"));
        e.grdColunas->removeRow(e.grdColunas->rowCount() - 1);
        e.AddColumn({QStringLiteral("NMEMPRESA"), QStringLiteral("Empresa"), 12, Qt::AlignLeft, TColumnFormat::Text, false, {}});
        verified = e.Verify();
        EXPECT_EQ(e.Status(), QStringLiteral("O layout está correto."));
        // The title comes from the prompt, not from the title field.
        f->NewLayoutTitle = QStringLiteral("Clientes em retrato");
        EXPECT_TRUE(f->actSalvarNovoLayout->isEnabled());
        f->actSalvarNovoLayout->trigger();
        result = e.result();
    });
    EXPECT_TRUE(verified);
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(f->actSalvarNovoLayout->isEnabled());
    EXPECT_TRUE(f->NewLayoutTitle.isEmpty());

    // Listed last, selected, the file numbered after the last one; the original untouched.
    ASSERT_EQ(f->cbbReportNames->count(), 21);
    EXPECT_EQ(f->cbbReportNames->ItemIndex(), 20);
    EXPECT_EQ(f->cbbReportNames->currentText(), QStringLiteral("Clientes em retrato"));
    const QString file = Folder() + QStringLiteral("/20_clientes_em_retrato.json");
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(f->Layouts()[20].File, file);
    EXPECT_EQ(readAll(original), before[QFileInfo(original).fileName()]);
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), 21);
    const TReportLayout saved = TReportLayout::Load(file);
    EXPECT_EQ(saved.Title, QStringLiteral("Clientes em retrato"));
    EXPECT_FALSE(saved.Landscape);
    EXPECT_EQ(saved.Subtitle, QStringLiteral("Clientes de {:DTINIVEN} a {:DTFINVEN}"));
    EXPECT_EQ(saved.Columns.first().Caption, QStringLiteral("Lançamento nº"));
    EXPECT_EQ(saved.Columns.last().Field, QStringLiteral("NMEMPRESA"));
    EXPECT_EQ(saved.Columns.size(), f->Layouts()[1].Columns.size());
    EXPECT_EQ(saved.Statement, f->Layouts()[1].Statement);
    EXPECT_EQ(saved.Code, QStringLiteral("REC110"));

    // The new layout runs as the others do.
    const QString pdf = m_dir.path() + QStringLiteral("/novo.pdf");
    f->ReportOutput = pdf;
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFileInfo::exists(pdf));
    EXPECT_GE(f->rpddPadrao->LastResult().Pages, 1);
}

TEST_F(LayoutEditing, EachFaultIsRefusedWithItsMessageAndWritesNothing)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    f->cbbReportNames->UserSelect(0);
    const QMap<QString, QByteArray> before = snapshot(Folder());

    struct Case {
        const char *what;
        std::function<void(TReportLayoutEditor &)> edit;
        QStringList expected;  // parts of the one message
    };
    const Case cases[] = {
        {"statement that does not prepare",
         [](TReportLayoutEditor &e) { e.memInstrucao->setPlainText(QStringLiteral("SELECT R.NRLANCTOREC FROM TABELA_QUE_NAO_EXISTE R")); },
         {QStringLiteral("Instrução do layout 'Contas a Receber por Vencimento'"), QStringLiteral("TABELA_QUE_NAO_EXISTE")}},
        {"statement using a name it does not declare",
         [](TReportLayoutEditor &e) {
             for (int r = e.grdParametros->rowCount() - 1; r >= 0; --r)
                 if (e.grdParametros->item(r, 0)->text() == QStringLiteral("CLIENTE"))
                     e.grdParametros->removeRow(r);
         },
         {QStringLiteral("parâmetro 'CLIENTE' não encontrado")}},
        {"unknown parameter name",
         [](TReportLayoutEditor &e) { e.AddParam({QStringLiteral("P_DESCONHECIDO"), TParamType::String}); },
         {QStringLiteral("'P_DESCONHECIDO'"), QStringLiteral("que a tela não informa")}},
        {"column missing from the result",
         [](TReportLayoutEditor &e) { e.AddColumn({QStringLiteral("VRINEXISTENTE"), QStringLiteral("X"), 10, Qt::AlignRight, TColumnFormat::Amount, true, {}}); },
         {QStringLiteral("coluna 'VRINEXISTENTE'"), QStringLiteral("não existe no resultado da instrução")}},
        {"group header marker missing from the result",
         [](TReportLayoutEditor &e) { setCell(e.grdGrupos, 0, 2, QStringLiteral("Empresa: {CDEMPRESA} - {NMEMPRESAX}")); },
         {QStringLiteral("campo 'NMEMPRESAX'"), QStringLiteral("cabeçalho do grupo 'CDEMPRESA'")}},
        {"sort field missing from the result",
         [](TReportLayoutEditor &e) { e.edtOrdem->setText(QStringLiteral("CDEMPRESA, DTINEXISTENTE")); },
         {QStringLiteral("ordena pelo campo 'DTINEXISTENTE'")}},
        {"width that is not a number", [](TReportLayoutEditor &e) { setCell(e.grdColunas, 0, 2, QStringLiteral("larga")); },
         {QStringLiteral("está com defeito"), QStringLiteral("largura inválida")}},
        {"title already listed, in other letter case",
         [f](TReportLayoutEditor &) { f->NewLayoutTitle = QStringLiteral("contas a receber por CLIENTE"); },
         {QStringLiteral("Já existe um relatório com o título 'contas a receber por CLIENTE'")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int result = -1;
        EditWith([&](TReportLayoutEditor &e) {
            f->NewLayoutTitle = QStringLiteral("Um título novo");
            c.edit(e);
            f->actSalvarNovoLayout->trigger();
            result = e.result();
        });
        f->NewLayoutTitle.clear();
        const QStringList messages = TakeMessages();
        ASSERT_EQ(messages.size(), 1) << messages.join(QLatin1Char('\n')).toStdString();
        for (const QString &part : c.expected)
            EXPECT_TRUE(messages.first().contains(part)) << messages.first().toStdString();
        EXPECT_NE(result, QDialog::Accepted);
        EXPECT_EQ(snapshot(Folder()), before);
        EXPECT_EQ(f->cbbReportNames->count(), 20);
        EXPECT_EQ(f->cbbReportNames->ItemIndex(), 0);
    }

    // "Verificar" alone names the fault too, and keeps it on the editor.
    EditWith([&](TReportLayoutEditor &e) {
        e.AddColumn({QStringLiteral("CAMPO_X"), {}, 10, Qt::AlignLeft, TColumnFormat::Text, false, {}});
        e.btnVerificar->click();
        EXPECT_TRUE(e.Status().contains(QStringLiteral("coluna 'CAMPO_X'")));
    });
    EXPECT_EQ(TakeMessages().size(), 1);
}

TEST_F(LayoutEditing, WithoutAPersonTheActionChecksTheLayoutAsItIs)
{
    // A layout whose group header names a column its statement lacks.
    QJsonObject broken = TReportLayout::Load(Folder() + QStringLiteral("/17_resumo_de_contas_a_receber_por_empresa.json")).Definition;
    broken[QStringLiteral("title")] = QStringLiteral("Resumo quebrado");
    broken[QStringLiteral("groups")] = QJsonArray{QJsonObject{{QStringLiteral("field"), QStringLiteral("CDEMPRESA")},
                                                              {QStringLiteral("header"), QStringLiteral("{CDEMPRESA} {NMFANTASIA}")}}};
    QFile out(Folder() + QStringLiteral("/19_resumo_quebrado.json"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(broken).toJson());
    out.close();

    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    ASSERT_EQ(f->cbbReportNames->count(), 21);
    // Every shipped layout passes, the one reading the screen's data set included.
    for (int i = 0; i < 20; ++i) {
        f->cbbReportNames->UserSelect(i);
        Action("sbtReportEdit");
        EXPECT_EQ(TakeMessages(), QStringList()) << "layout " << i;
    }
    const QMap<QString, QByteArray> before = snapshot(Folder());
    f->cbbReportNames->UserSelect(20);
    Action("sbtReportEdit");
    const QStringList messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("'NMFANTASIA'"))) << messages.first().toStdString();
    // A title given beforehand is not used for a layout that fails; the menu entry runs the same action.
    f->NewLayoutTitle = QStringLiteral("Cópia");
    f->actEditarLayout->trigger();
    EXPECT_EQ(TakeMessages().size(), 1);
    EXPECT_EQ(snapshot(Folder()), before);

    // A sound layout is copied under the given title.
    f->cbbReportNames->UserSelect(17);
    f->NewLayoutTitle = QStringLiteral("Resumo por empresa (cópia)");
    Action("sbtReportEdit");
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFileInfo::exists(Folder() + QStringLiteral("/20_resumo_por_empresa_copia.json")));
    EXPECT_EQ(f->cbbReportNames->currentText(), QStringLiteral("Resumo por empresa (cópia)"));
}

// The check runs each shipped statement on PostgreSQL as well, with the
// parameters filled as the binding fills them.
TEST(LayoutCheck, ShippedStatementsPassOnPostgreSQL)
{
    if (!PostgresAvailable())
        GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
    TTestDatabase db(TBackend::PostgreSQL, 50);
    TdtmDBGeral module;
    module.Open(db.Target());
    const TCurrentDatabaseScope current(&module);
    // The screen's parameter names, and no data set: these layouts read the database.
    struct : TReportSource {
        void GetQueryParams(TParams &, bool &) override {}
        QStringList QueryParamNames() const override { return BindingParamNames(); }
        TDataSet *DataSetNamed(const QString &) const override { return nullptr; }
    } screen;
    int checked = 0;
    for (const TReportLayout &l : LoadReportLayouts(BinDir() + QStringLiteral("/../reports"), QStringLiteral("REC110"))) {
        if (!l.DataSet.isEmpty())
            continue;
        TParams params = TReportDesignerDialog::BuildParams(l);
        for (int i = 0; i < params.Count(); ++i)
            params[i].SetAsString(QStringLiteral(" "));
        BindAnswers(l.Asks, {}, QDate(2026, 12, 7), params); // the questions at their defaults, as the engine binds them
        EXPECT_NO_THROW(TReportLayoutEditor::CheckLayout(l, params, screen)) << l.Title.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 19);
    TReportLayout bad = TReportLayout::Load(BinDir() + QStringLiteral("/../reports/REC110/00_contas_a_receber_por_vencimento.json"));
    bad.Statement.replace(QStringLiteral("SELECT"), QStringLiteral("SELEC"));
    EXPECT_THROW(TReportLayoutEditor::CheckLayout(bad, TReportDesignerDialog::BuildParams(bad), screen), EHostError);
}

TEST_F(LayoutEditing, CopiesOfTheCurveAndOfADateTextLayoutRunAsTheirOriginals)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    auto saveCopyOf = [&](int layout, const QString &title) {
        f->cbbReportNames->UserSelect(layout);
        EditWith([&](TReportLayoutEditor &) {
            f->NewLayoutTitle = title;
            f->actSalvarNovoLayout->trigger();
        });
        EXPECT_EQ(TakeMessages(), QStringList()) << title.toStdString();
        return f->cbbReportNames->ItemIndex();
    };
    auto csv = [&](int layout, const QString &name) {
        const QString path = m_dir.path() + QLatin1Char('/') + name;
        f->cbbReportNames->UserSelect(layout);
        f->ReportOutput = path;
        Action("sbtSalvarComo");
        f->ReportOutput.clear();
        EXPECT_EQ(TakeMessages(), QStringList()) << name.toStdString();
        return readAll(path);
    };
    const int curveCopy = saveCopyOf(18, QStringLiteral("Curva ABC copiada"));
    const int settledCopy = saveCopyOf(10, QStringLiteral("Baixas copiadas"));
    ASSERT_EQ(curveCopy, 20);
    ASSERT_EQ(settledCopy, 21);

    // The curve of all clients, then the copy after the criteria changed: the copy runs the curve
    // for the criteria in force, not the rows the last curve left behind.
    const QByteArray allClients = csv(18, QStringLiteral("curva-todos.csv"));
    Click("rbtListaClie");
    f->CodeList("lstCliente") = QStringLiteral("_000006__000021__000039_");
    const QByteArray copy = csv(curveCopy, QStringLiteral("copia.csv"));
    const QByteArray original = csv(18, QStringLiteral("curva-lista.csv"));
    EXPECT_EQ(QString::fromUtf8(copy), QString::fromUtf8(original));
    EXPECT_NE(copy, allClients);

    // The settlement-date copy keeps its date texts and selects the same rows.
    Click("rbtTodosClie");
    f->Control<TDateEditPlus>("depBaixaEntr")->SetDate(DateToDateTime(QDate(2026, 10, 1)));
    f->Control<TDateEditPlus>("depBaixaSaid")->SetDate(DateToDateTime(QDate(2026, 12, 7)));
    const QByteArray settled = csv(10, QStringLiteral("baixas.csv"));
    EXPECT_GT(settled.count('\n'), 1);
    EXPECT_EQ(csv(settledCopy, QStringLiteral("baixas-copia.csv")), settled);
    const TReportLayout saved = TReportLayout::Load(f->Layouts()[settledCopy].File);
    for (const TReportLayout::Param &p : saved.Params)
        EXPECT_EQ(p.DateText, p.Name == QStringLiteral("DTBAIXAINI") || p.Name == QStringLiteral("DTBAIXAFIN")) << p.Name.toStdString();
}
