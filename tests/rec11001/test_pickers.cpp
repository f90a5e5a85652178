#include "ScreenFixture.h"
#include "ui/Events.h"
#include "ui/SearchList.h"
#include <QClipboard>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <algorithm>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>


class Pickers : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        // The test's session sees every run; it ends with the test.
        TSearchListScript::SetObserver([this](const TSearchListRun &run) { m_runs.push_back(run); });
    }
    std::vector<TSearchListRun> m_runs;
};

TEST_F(Pickers, F9OnAListaRadioOpensItsListWhateverTheButtonState)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    const std::vector<std::pair<const char *, const char *>> radios = {
        {"rbtListaTipo", "Tipo de Conta a Receber"}, {"rdbListaAtivClie", "Ramo de Atividade"}, {"rdbListaSegMerc", "Segmento de Mercado"},
        {"rdgLClassFinanc", "Classificação Financeira"}, {"rbtListaReg", "Região"}, {"rbtListaClie", "Cliente"},
        {"rbtListaGrupC", "Grupo de Cliente"}, {"rbtListaEmp", "Empresa"}, {"rbtListaFilial", "Filial"}, {"rbtListaLanca", "Filial"},
        {"rbtListaVend", "Vendedor"}, {"rbtFormaLista", "Tipo de Baixa"}, {"rbtCCorrLista", "Conta Corrente"}};
    const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier};
    int i = 0;
    for (const auto &[radio, title] : radios) {
        // The radio takes the key although it is not chosen and its search button is off.
        auto *button = W<QAbstractButton>(radio);
        ASSERT_TRUE(button->isEnabled()) << radio;
        ASSERT_FALSE(button->isChecked()) << radio;
        TSearchListScript::PushCancel();
        Key(radio, Qt::Key_F9, mods[i++ % 4]);
        ASSERT_EQ(m_runs.size(), static_cast<size_t>(i)) << radio;
        EXPECT_EQ(m_runs.back().Title, QString::fromUtf8(title)) << radio;
        EXPECT_GE(m_runs.back().Rows, 1) << radio;
    }
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtCliente")->isEnabled()); // the all radios stayed checked
    // F9 on an all radio and other keys on a "Lista" radio do nothing.
    Key("rbtTodosClie", Qt::Key_F9);
    Key("rbtListaClie", Qt::Key_F8);
    EXPECT_EQ(m_runs.size(), radios.size());
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(Pickers, ListaRadiosEnableTheirButtonsAndClientListLocksTheTypes)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    for (const TAllOrList &g : f.AllOrListGroups()) {
        Click(g.List);
        EXPECT_TRUE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
        Click(g.All);
        EXPECT_FALSE(g.Search->isEnabled()) << g.Group->objectName().toStdString();
    }
    f.Control<TCheckBox>("chkPrivado")->SetChecked(false);
    Click("rbtListaClie");
    EXPECT_FALSE(f.Control<TCheckBox>("chkPrivado")->isEnabled());
    EXPECT_FALSE(f.Control<TCheckBox>("chkPublico")->isEnabled());
    EXPECT_TRUE(f.Control<TCheckBox>("chkPrivado")->isChecked());
    EXPECT_TRUE(f.Control<TCheckBox>("chkPublico")->isChecked());
}

TEST_F(Pickers, ClientListFollowsTheRegions)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    const int allClients = QueryInt(s_db->Target(), QStringLiteral("SELECT count(*) FROM CLIENTE"));
    const int region1 = QueryInt(s_db->Target(), QStringLiteral("SELECT count(*) FROM CLIENTE WHERE CDREGIAOPED = '001'"));
    ASSERT_GT(region1, 0);
    ASSERT_LT(region1, allClients);

    // Regions in list mode without regions: no client.
    Click("rbtListaReg");
    Click("rbtListaClie");
    Click("sbtCliente");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Não há cliente cadastrado.")});
    EXPECT_TRUE(m_runs.empty());

    // Pick region 001, then two of its clients: the client criterion went back to all.
    TSearchListScript::PushCodes({QStringLiteral("001")});
    Click("sbtRegiao");
    EXPECT_EQ(f.CodeList("lstRegiao"), QStringLiteral("_001_"));
    EXPECT_TRUE(f.Control<TRadioButton>("rbtTodosClie")->isChecked());
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtCliente")->isEnabled());
    EXPECT_TRUE(f.Control<TCheckBox>("chkPrivado")->isEnabled() && f.Control<TCheckBox>("chkPrivado")->isChecked());
    Click("rbtListaClie");
    TSearchListScript::PushCodes({});
    Click("sbtCliente");
    ASSERT_EQ(m_runs.size(), 2u);
    EXPECT_EQ(m_runs[1].Title, QStringLiteral("Cliente"));
    EXPECT_EQ(m_runs[1].KeyField, QStringLiteral("CDCLIENTE"));
    EXPECT_EQ(m_runs[1].Rows, region1);
    TDataSet &rows = f.Control<TADOIBQuery>("qryCliente1")->Query();
    QStringList codes;
    for (rows.First(); !rows.Eof() && codes.size() < 2; rows.Next())
        codes << rows.FieldByName(QStringLiteral("CDCLIENTE")).AsString();
    TSearchListScript::PushCodes(codes);
    Click("sbtCliente");
    EXPECT_EQ(f.CodeList("lstCliente"), QLatin1Char('_') + codes[0] + QStringLiteral("__") + codes[1] + QLatin1Char('_'));
    EXPECT_EQ(QStringList(m_runs.back().Marked), QStringList()); // an empty list before
    // Reopened, the chosen codes come marked; a cancel keeps them.
    TSearchListScript::PushCancel();
    Click("sbtCliente");
    EXPECT_EQ(m_runs.back().Marked, codes);
    EXPECT_FALSE(m_runs.back().Confirmed);
    EXPECT_EQ(f.CodeList("lstCliente"), QLatin1Char('_') + codes[0] + QStringLiteral("__") + codes[1] + QLatin1Char('_'));

    // Choosing regions again puts the clients back on all, keeping their codes.
    TSearchListScript::PushCodes({QStringLiteral("001"), QStringLiteral("002")});
    Click("sbtRegiao");
    EXPECT_TRUE(f.Control<TRadioButton>("rbtTodosClie")->isChecked());
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtCliente")->isEnabled());
    EXPECT_TRUE(f.Control<TCheckBox>("chkPrivado")->isEnabled() && f.Control<TCheckBox>("chkPublico")->isEnabled());
    EXPECT_FALSE(f.CodeList("lstCliente").isEmpty());

    // Back on all regions the client list has every client again.
    Click("rbtTodasReg");
    Click("rbtListaClie");
    TSearchListScript::PushCancel();
    Click("sbtCliente");
    EXPECT_EQ(m_runs.back().Rows, allClients);
    EXPECT_EQ(f.Control<TADOIBQuery>("qryCliente1")->SQL, f.Control<TADOIBQuery>("qryClienteAux")->SQL);
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(Pickers, CompaniesOfTheOperatorOnly)
{
    ASSERT_TRUE(Open());
    Click("rbtListaEmp");
    TSearchListScript::PushCodes({QStringLiteral("03"), QStringLiteral("02")});
    Click("sbtEmpresa");
    ASSERT_EQ(m_runs.size(), 1u);
    EXPECT_EQ(m_runs[0].Rows, 2); // MARIA sees 01 and 03
    EXPECT_EQ(Form()->CodeList("lstEmpresa"), QStringLiteral("_03_"));
    Form()->DoClose();
    THostContext ctx = ContextAs(QStringLiteral("CAIXA"));
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Form()->CodeList("lstEmpresaOper").isEmpty());
    Click("rbtListaEmp");
    Click("sbtEmpresa");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Não há empresa cadastrada.")});
    EXPECT_EQ(m_runs.size(), 1u);
}

TEST_F(Pickers, ServerFedListsAndTheMendedPostingBranchButton)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtListaLanca");
    EXPECT_TRUE(f.Control<TButtonFlat>("sbtLancamento")->isEnabled()); // follows its radio as every other pair
    TSearchListScript::PushCodes({QStringLiteral("0101"), QStringLiteral("0302")});
    Click("sbtLancamento");
    EXPECT_EQ(f.CodeList("lstLancamento"), QStringLiteral("_0101__0302_"));
    EXPECT_EQ(m_runs.back().Rows, 6); // the branches of MARIA's companies 01 and 03
    Click("rbtTodosLanca");
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtLancamento")->isEnabled());
    Click("rdbListaAtivClie");
    TSearchListScript::PushCodes({QStringLiteral("00001")});
    Click("sbtAtivClie");
    EXPECT_EQ(m_runs.back().Rows, 30); // three levels of the picture "9.99.999"
    EXPECT_EQ(m_runs.back().KeyField, QStringLiteral("CDATIVCLI"));
    EXPECT_EQ(f.CodeList("lstAtivClie"), QStringLiteral("_00001_"));
    EXPECT_EQ(f.Control<TNetConnection>("netRelLancContReceber")->CallLog.mid(3), (QStringList{QStringLiteral("GetFiliLanca"), QStringLiteral("GetAtivClie")}));
    // Settlement forms and segments go to the list closed and are opened by it.
    EXPECT_FALSE(f.Control<TADOIBQuery>("qrySegMerc")->Active());
    Click("rdbListaSegMerc");
    TSearchListScript::PushCodes({QStringLiteral("00002")});
    Click("sbtSegMerc");
    EXPECT_TRUE(f.Control<TADOIBQuery>("qrySegMerc")->Active());
    EXPECT_EQ(f.CodeList("lstSegMerc"), QStringLiteral("_00002_"));
    ClickTab(1);
    ClickTab(2);
    Click("rbtFormaLista");
    TSearchListScript::PushCodes({QStringLiteral("05")});
    Click("sbtFormaPaga");
    EXPECT_EQ(f.CodeList("lstFormaPaga"), QStringLiteral("_05_"));
    EXPECT_EQ(f.Control<TADOIBQuery>("qryFormaRec")->ParamByName(QStringLiteral("P_TCODIGO")).AsString(), QStringLiteral("T"));
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(Pickers, EmptyTablesGiveTheirMessagesOrAnEmptyList)
{
    // A database whose lookup tables are empty.
    TTestDatabase empty(SuiteBackend(), 0);
    {
        TdtmDBGeral db;
        db.Open(empty.Target());
        // References are not checked while the lookups are emptied.
        const char *noChecks = empty.Backend() == TBackend::SQLite ? "PRAGMA foreign_keys = OFF" : "SET session_replication_role = replica";
        for (const char *sql : {noChecks, "DELETE FROM FILIAL", "DELETE FROM ATIVCLIENTE", "DELETE FROM TIPOBAIXAREC",
                                "DELETE FROM SEGMERCADO", "DELETE FROM CLASSFINANC"}) {
            QSqlQuery q(db.Database());
            ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql;
        }
    }
    TServerProcess server(empty.Target());
    THostContext ctx = Context();
    ctx.ServerPort = server.Port();
    ctx.Database = empty.Target();
    ApplyContext(ctx);
    TdtmDBGeral module;
    module.Open(empty.Target());
    const TCurrentDatabaseScope current(&module);
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();

    ClickTab(1);
    Click("rbtListaFilial");
    Click("sbtFilial");
    Click("rbtListaLanca");
    Click("sbtLancamento");
    EXPECT_EQ(TakeMessages(), (QStringList{QStringLiteral("Não há filial cadastrada."), QStringLiteral("Não há filial cadastrada.")}));
    EXPECT_TRUE(m_runs.empty());

    ClickTab(0);
    TSearchListScript::PushCodes({});
    Key("rdbListaAtivClie", Qt::Key_F9);
    TSearchListScript::PushCodes({});
    Key("rdbListaSegMerc", Qt::Key_F9);
    ASSERT_EQ(m_runs.size(), 2u);
    EXPECT_EQ(m_runs[0].Rows, 0);
    EXPECT_EQ(m_runs[1].Rows, 0);

    Click("rdgLClassFinanc");
    Click("sbtListaClass");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Não há classificação financeira cadastrada.")});
    EXPECT_EQ(Focused(), QStringLiteral("rdgLClassFinanc"));

    ClickTab(1);
    ClickTab(2);
    TSearchListScript::PushCodes({});
    Key("rbtFormaLista", Qt::Key_F9);
    EXPECT_EQ(m_runs.size(), 3u);
    EXPECT_EQ(m_runs[2].Rows, 0);
    f.DoClose();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(Pickers, TheRealDialogFiltersMarksAndConfirms)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtListaTipo");
    int shown = 0, afterFilter = 0;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TSearchListDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tipo de Conta a Receber"));
        shown = dialog->VisibleRows();
        // The visible columns with their labels.
        EXPECT_EQ(dialog->Grid()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Código"));
        EXPECT_EQ(dialog->Grid()->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Descrição"));
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral("cheque"));
        afterFilter = dialog->VisibleRows();
        QTest::keyClick(dialog->FilterBox(), Qt::Key_Down);
        QTest::keyClick(dialog->Grid(), Qt::Key_Space);
        dialog->FilterBox()->clear();
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral("adiant"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnMarcarTodos"))->click();
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    Click("sbtTipoConta");
    EXPECT_EQ(shown, 8);
    EXPECT_EQ(afterFilter, 1);
    EXPECT_EQ(f.CodeList("lstTipoConta"), QStringLiteral("_000002__000007_"));

    // Cancel leaves the list as it was, and the chosen codes come marked.
    QStringList marked;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TSearchListDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        marked = dialog->MarkedKeys();
        dialog->findChild<QPushButton *>(QStringLiteral("btnDesmarcarTodos"))->click();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Click("sbtTipoConta");
    EXPECT_EQ(marked, (QStringList{QStringLiteral("000002"), QStringLiteral("000007")}));
    EXPECT_EQ(f.CodeList("lstTipoConta"), QStringLiteral("_000002__000007_"));
}

namespace {
// What the grid shows, row by row: the texts of its columns after the mark, joined.
QStringList ShownRows(const QTableView &grid)
{
    const QAbstractItemModel &m = *grid.model();
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c < m.columnCount(); ++c)
            cells << m.index(r, c).data().toString();
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}
QStringList Containing(const QStringList &rows, const QString &needle)
{
    QStringList out;
    for (const QString &row : rows)
        if (needle.isEmpty() || std::ranges::any_of(row.split(QLatin1Char('|')), [&](const QString &cell) { return cell.contains(needle, Qt::CaseInsensitive); }))
            out << row;
    return out;
}
} // namespace

TEST_F(Pickers, ClientListFiltersKeyByKeyAndKeepsMarksAndCountOverTheFilter)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtListaClie");
    QStringList failures, keptMarked;
    QString count, countAfterMarkAll, currentKept, second;
    int all = 0, filtered = 0;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TSearchListDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTableView &grid = *dialog->Grid();
        const QStringList every = ShownRows(grid);
        all = static_cast<int>(every.size());
        const auto check = [&](const QString &step) {
            const QString needle = dialog->FilterBox()->text().trimmed();
            const QStringList want = Containing(every, needle);
            if (ShownRows(grid) != want || dialog->VisibleRows() != want.size())
                failures << QStringLiteral("%1 ('%2'): %3 rows shown, %4 expected").arg(step, needle).arg(grid.model()->rowCount()).arg(want.size());
            if (!want.isEmpty() && (!grid.currentIndex().isValid() || grid.currentIndex().row() >= want.size()))
                failures << step + QStringLiteral(": no current row");
        };
        // Narrowing, widening again, a text that does not hold the last one, spaces around it.
        for (const char c : {'a', 'r'}) {
            QTest::keyClick(dialog->FilterBox(), c);
            check(QStringLiteral("typed"));
        }
        QTest::keyClick(dialog->FilterBox(), Qt::Key_Backspace);
        check(QStringLiteral("backspace"));
        dialog->FilterBox()->selectAll();
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral("E"));
        check(QStringLiteral("replaced"));
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral(" "));
        check(QStringLiteral("space"));
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral("xq#"));
        check(QStringLiteral("nothing left"));
        dialog->FilterBox()->clear();
        check(QStringLiteral("cleared"));

        // Space marks the current row; a narrower filter that keeps it keeps it current.
        QTest::keyClick(dialog->FilterBox(), Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Down);
        second = grid.model()->index(1, 1).data().toString();
        QTest::keyClick(&grid, Qt::Key_Space);
        QTest::keyClicks(dialog->FilterBox(), second);
        currentKept = grid.currentIndex().siblingAtColumn(1).data().toString();
        count = dialog->findChild<QLabel *>(QStringLiteral("lblMarcados"))->text();
        // Mark all marks the filtered rows only; a click on a check box unmarks one.
        dialog->FilterBox()->clear();
        dialog->findChild<QPushButton *>(QStringLiteral("btnDesmarcarTodos"))->click();
        QTest::keyClicks(dialog->FilterBox(), QStringLiteral("ltda"));
        filtered = dialog->VisibleRows();
        dialog->findChild<QPushButton *>(QStringLiteral("btnMarcarTodos"))->click();
        countAfterMarkAll = dialog->findChild<QLabel *>(QStringLiteral("lblMarcados"))->text();
        const QModelIndex first = grid.model()->index(0, 0);
        QStyleOptionViewItem opt;
        opt.initFrom(grid.viewport());
        opt.rect = grid.visualRect(first);
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = grid.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &grid);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
        if (first.data(Qt::CheckStateRole).toInt() != Qt::Unchecked)
            failures << QStringLiteral("the click left the first row marked");
        dialog->FilterBox()->clear();
        keptMarked = dialog->MarkedKeys();
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    Click("sbtCliente");
    EXPECT_EQ(failures, QStringList());
    ASSERT_GT(all, 2);
    EXPECT_GT(filtered, 1);
    EXPECT_LT(filtered, all);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_EQ(currentKept, second);
    EXPECT_EQ(count, QStringLiteral("1 de %1 marcados").arg(all));
    EXPECT_EQ(countAfterMarkAll, QStringLiteral("%1 de %2 marcados").arg(filtered).arg(all));
    EXPECT_EQ(static_cast<int>(keptMarked.size()), filtered - 1);
    // The code list holds the marked keys in the list's order.
    EXPECT_EQ(CodeListKeys(f.CodeList("lstCliente")), keptMarked);
}

namespace {
QString QueryString(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString();
    return q.value(0).toString();
}
QStringList sortedKeys(const QString &codes)
{
    QStringList keys = CodeListKeys(codes);
    keys.sort();
    return keys;
}
} // namespace

TEST_F(Pickers, PastedCodesAreMarkedAndTheUnknownNamedThroughTheKeysAndTheButton)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtListaClie");
    QStringList pasted, marked, afterKeys, afterFilterPaste, filterWord;
    QString note, noteAfterKeys, emptyNote, buttonNote;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TSearchListDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        pasted = dialog->PasteCodes(QStringLiteral("000006\n21; 999,abc"));
        marked = dialog->MarkedKeys();
        note = dialog->PasteNote();
        // Ctrl+V in the grid pastes the clipboard's codes, keeping the marks.
        QApplication::clipboard()->setText(QStringLiteral("3\t0004\r\n"));
        dialog->Grid()->setFocus();
        QTest::keyClick(dialog->Grid(), Qt::Key_V, Qt::ControlModifier);
        afterKeys = dialog->MarkedKeys();
        noteAfterKeys = dialog->PasteNote();
        // In the filter box one word is a filter, a list is codes.
        QApplication::clipboard()->setText(QStringLiteral("Papelaria"));
        dialog->FilterBox()->setFocus();
        QTest::keyClick(dialog->FilterBox(), Qt::Key_V, Qt::ControlModifier);
        filterWord = {dialog->FilterBox()->text(), QString::number(dialog->MarkedKeys().size())};
        dialog->FilterBox()->clear();
        QApplication::clipboard()->setText(QStringLiteral("7;8"));
        QTest::keyClick(dialog->FilterBox(), Qt::Key_V, Qt::ControlModifier);
        afterFilterPaste = dialog->MarkedKeys();
        afterFilterPaste << dialog->FilterBox()->text();
        // The button: nothing to paste, then an unknown code.
        QApplication::clipboard()->setText(QStringLiteral(" ,; "));
        auto *paste = dialog->findChild<QPushButton *>(QStringLiteral("btnColarCodigos"));
        paste->click();
        emptyNote = dialog->PasteNote();
        QApplication::clipboard()->setText(QStringLiteral("0000000"));
        paste->click();
        buttonNote = dialog->PasteNote();
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    Click("sbtCliente");
    EXPECT_EQ(pasted, (QStringList{QStringLiteral("999"), QStringLiteral("abc")}));
    marked.sort();
    EXPECT_EQ(marked, (QStringList{QStringLiteral("000006"), QStringLiteral("000021")}));
    EXPECT_EQ(note, QStringLiteral("Códigos não encontrados: 999, abc"));
    afterKeys.sort();
    EXPECT_EQ(afterKeys, (QStringList{QStringLiteral("000003"), QStringLiteral("000004"), QStringLiteral("000006"), QStringLiteral("000021")}));
    EXPECT_EQ(noteAfterKeys, QString());
    EXPECT_EQ(filterWord, (QStringList{QStringLiteral("Papelaria"), QStringLiteral("4")}));
    EXPECT_EQ(afterFilterPaste.takeLast(), QString());
    EXPECT_EQ(afterFilterPaste.size(), 6);
    EXPECT_EQ(emptyNote, QStringLiteral("A área de transferência não tem códigos para colar."));
    EXPECT_EQ(buttonNote, QStringLiteral("Código não encontrado: 0000000"));
    EXPECT_EQ(sortedKeys(f.CodeList("lstCliente")), (QStringList{QStringLiteral("000003"), QStringLiteral("000004"), QStringLiteral("000006"), QStringLiteral("000007"),
                                                     QStringLiteral("000008"), QStringLiteral("000021")}));
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(Pickers, ScriptedPasteFindsCodesByKeyShownKeyAndWithoutLeadingZeros)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    const QString reg = QueryString(s_db->Target(), QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = '000030'"));
    ASSERT_FALSE(reg.isEmpty());
    Click("rbtListaClie");
    TSearchListScript::PushPaste(QStringLiteral("000006\n21; 999,abc ") + reg);
    Click("sbtCliente");
    ASSERT_EQ(m_runs.size(), 1u);
    EXPECT_TRUE(m_runs[0].Confirmed);
    EXPECT_EQ(m_runs[0].Unknown, (QStringList{QStringLiteral("999"), QStringLiteral("abc")}));
    EXPECT_EQ(sortedKeys(f.CodeList("lstCliente")), (QStringList{QStringLiteral("000006"), QStringLiteral("000021"), QStringLiteral("000030")}));
    // A paste adds to the marks the list opened with; codes still go in whole.
    Click("rbtListaTipo");
    TSearchListScript::PushCodes({QStringLiteral("000001")});
    Click("sbtTipoConta");
    TSearchListScript::PushPaste(QStringLiteral("2 00007 1"));
    Click("sbtTipoConta");
    EXPECT_EQ(f.CodeList("lstTipoConta"), QStringLiteral("_000001__000002__000007_"));
    EXPECT_TRUE(m_runs.back().Unknown.isEmpty());
}

TEST_F(Pickers, SearchButtonTooltipsCountAndNameTheChosenCodes)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    const auto tip = [&] { return f.Control<TButtonFlat>("sbtCliente")->toolTip(); };
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\nTodos"));
    EXPECT_EQ(f.Control<TButtonFlat>("sbtFilial")->toolTip(), QStringLiteral("Pesquisar\nTodas"));
    Click("rbtListaClie");
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\nNenhum cliente escolhido"));

    TSearchListScript::PushCodes({QStringLiteral("000006"), QStringLiteral("000021"), QStringLiteral("000030")});
    Click("sbtCliente");
    const QStringList keys = CodeListKeys(f.CodeList("lstCliente"));
    ASSERT_EQ(keys.size(), 3);
    const auto name = [&](const QString &key) {
        return QueryString(s_db->Target(), QStringLiteral("SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = '%1'").arg(key));
    };
    const QString picked = tip();
    EXPECT_TRUE(picked.startsWith(QStringLiteral("Pesquisar\n3 clientes escolhidos: ") + keys[0] + QLatin1Char(' ') + name(keys[0]).left(12)))
        << picked.toStdString();
    EXPECT_TRUE(picked.contains(QStringLiteral(", ") + keys[1] + QLatin1Char(' ') + name(keys[1]).left(12))) << picked.toStdString();
    EXPECT_TRUE(picked.endsWith(QStringLiteral(", e mais 1"))) << picked.toStdString();
    EXPECT_FALSE(picked.contains(keys[2]));

    // Back on all, and on the list again with its codes kept.
    Click("rbtTodosClie");
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\nTodos"));
    Click("rbtListaClie");
    EXPECT_EQ(tip(), picked);

    // Applied criteria: a picked code with its name, a code never shown with none, an empty list.
    TCriteria c = f.CurrentCriteria();
    c.Groups[QStringLiteral("Cliente")] = {true, QStringLiteral("_000021_")};
    f.ApplyCriteria(c);
    ASSERT_LE(name(QStringLiteral("000021")).size(), 30); // shown whole
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\n1 cliente escolhido: 000021 ") + name(QStringLiteral("000021")));
    c.Groups[QStringLiteral("Cliente")] = {true, QStringLiteral("_000011__000012_")};
    f.ApplyCriteria(c);
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\n2 clientes escolhidos: 000011, 000012"));
    c.Groups[QStringLiteral("Cliente")] = {false, QStringLiteral("_000011_")};
    f.ApplyCriteria(c);
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\nTodos"));

    // Regions chosen put the clients back on all, and the tooltip with them.
    Click("rbtListaClie");
    Click("rbtListaReg");
    TSearchListScript::PushCodes({QStringLiteral("001"), QStringLiteral("002")});
    Click("sbtRegiao");
    EXPECT_EQ(tip(), QStringLiteral("Pesquisar\nTodos"));
    EXPECT_TRUE(f.Control<TButtonFlat>("sbtRegiao")->toolTip().startsWith(QStringLiteral("Pesquisar\n2 regiões escolhidas: 001 "))) << f.Control<TButtonFlat>("sbtRegiao")->toolTip().toStdString();
    EXPECT_TRUE(TakeMessages().isEmpty());
}
