#include "data/Database.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include "net/PasswordHash.h"
#include "services/Consiste.h"
#include "services/Dbgeral.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"
#include "services/Messages.h"
#include "services/Picture.h"
#include "services/Showavi.h"
#include "TestSupport.h"
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <optional>
#include <gtest/gtest.h>

TEST(Messages, KeysMatchWithoutRegardToCase)
{
    TMessages msg(QStringLiteral("msgPadrao"));
    msg.Messages = {QStringLiteral("Arq_Rel_Err|O arquivo '%s' não foi encontrado."), QStringLiteral("Status_deve|Status deve ser informado."),
                    QStringLiteral("Texto|com | barra")};
    EXPECT_EQ(msg.Msg(QStringLiteral("STATUS_DEVE")), QStringLiteral("Status deve ser informado."));
    EXPECT_EQ(msg.Msg(QStringLiteral("status_deve")), QStringLiteral("Status deve ser informado."));
    EXPECT_EQ(msg.Msg(QStringLiteral("texto")), QStringLiteral("com | barra"));
    EXPECT_EQ(msg.Msg(QStringLiteral("Status")), QString());
    EXPECT_EQ(msg.Msg(QStringLiteral("Desconhecida")), QString());
}

TEST(Consiste, AjustaEmptyStringAndPictPess)
{
    EXPECT_EQ(Ajusta(QStringLiteral("15"), 10), QStringLiteral("0000000015"));
    EXPECT_EQ(Ajusta(QStringLiteral(" 123 "), 10), QStringLiteral("0000000123"));
    EXPECT_EQ(Ajusta(QStringLiteral("   "), 10), QString());
    EXPECT_EQ(Ajusta(QString(), 10), QString());
    EXPECT_EQ(Ajusta(QStringLiteral("0000000015"), 10), QStringLiteral("0000000015"));
    // Equal widths make the text order the numeric order.
    EXPECT_LT(Ajusta(QStringLiteral("99"), 10), Ajusta(QStringLiteral("100"), 10));
    EXPECT_TRUE(EmptyString(QStringLiteral(" \t ")));
    EXPECT_FALSE(EmptyString(QStringLiteral(" 0 ")));
    EXPECT_EQ(FormatMaskText(PictPess(QStringLiteral("F")), QStringLiteral("12345678909")), QStringLiteral("123.456.789-09"));
    EXPECT_EQ(FormatMaskText(PictPess(QStringLiteral("J")), QStringLiteral("11222333000181")), QStringLiteral("11.222.333/0001-81"));
    EXPECT_EQ(PictPess(QStringLiteral("X")), QString());
    EXPECT_EQ(FormatMaskText(PictPess(QString()), QStringLiteral("123")), QStringLiteral("123"));
}

TEST(Consiste, MaxNumberRefusesExtraDigitsAndLetsEditingKeysThrough)
{
    auto accepts = [](const QString &text, const QString &key, int caret, int sel = 0) {
        QString k = key;
        const bool ok = MaxNumber(text, 10, 2, k, caret, sel);
        EXPECT_EQ(ok, k == key);
        return ok;
    };
    EXPECT_TRUE(accepts(QStringLiteral("123456789"), QStringLiteral("0"), 9));
    EXPECT_FALSE(accepts(QStringLiteral("1234567890"), QStringLiteral("1"), 10));       // eleventh integer digit
    EXPECT_FALSE(accepts(QStringLiteral("1.234.567.890"), QStringLiteral("1"), 0));     // separators are not digits
    EXPECT_TRUE(accepts(QStringLiteral("12,3"), QStringLiteral("4"), 4));
    EXPECT_FALSE(accepts(QStringLiteral("12,34"), QStringLiteral("5"), 5));             // third decimal
    EXPECT_TRUE(accepts(QStringLiteral("12,34"), QStringLiteral("5"), 0));              // into the integer part
    EXPECT_TRUE(accepts(QStringLiteral("1234567890"), QStringLiteral("1"), 0, 1));      // replaces the selection
    EXPECT_FALSE(accepts(QStringLiteral("12,3"), QStringLiteral(","), 1));              // second separator
    EXPECT_FALSE(accepts(QStringLiteral("12"), QStringLiteral("a"), 2));
    EXPECT_TRUE(accepts(QStringLiteral("1234567890"), QString(QChar(8)), 10));          // backspace
    EXPECT_TRUE(accepts(QStringLiteral("1234567890"), QString(QChar(0)), 10));          // the null character
    QString refused = QStringLiteral("9");
    MaxNumber(QStringLiteral("12,34"), 10, 2, refused, 5, 0);
    EXPECT_EQ(refused, QString(QChar(0)));
}

TEST(Consiste, FormatMaskTextForms)
{
    EXPECT_EQ(FormatMaskText(QStringLiteral("9999-9;0; "), QStringLiteral("12345")), QStringLiteral("1234-5"));
    EXPECT_EQ(FormatMaskText(QStringLiteral("99999-9;0; "), QStringLiteral("123")), QStringLiteral("123  - "));
    EXPECT_EQ(FormatMaskText(QStringLiteral("9.99.999;0; "), QStringLiteral("102001")), QStringLiteral("1.02.001"));
    EXPECT_EQ(FormatMaskText(QStringLiteral("9.99.999;0; "), QStringLiteral("1")), QStringLiteral("1.  .   "));
    EXPECT_EQ(FormatMaskText(QStringLiteral("000.000-0;0;_"), QStringLiteral("12")), QStringLiteral("12_.___-_"));
    // With literals saved the value already carries them.
    EXPECT_EQ(FormatMaskText(QStringLiteral("9999-9;1; "), QStringLiteral("1234-5")), QStringLiteral("1234-5"));
    EXPECT_EQ(FormatMaskText(QStringLiteral("\\(99\\)9999;0; "), QStringLiteral("113333")), QStringLiteral("(11)3333"));
    EXPECT_EQ(FormatMaskText(QStringLiteral(";0; "), QStringLiteral("12345")), QStringLiteral("12345"));
}

TEST(Consiste, CheckResultServReportsFailuresAndPassesPayloads)
{
    TRecordingPresenter rec;
    TPresenterScope scope(rec);
    const QVariant payload(QByteArray("RDPK..."));
    EXPECT_EQ(CheckResultServ(payload), payload);
    EXPECT_TRUE(rec.Messages.isEmpty());
    EXPECT_THROW(CheckResultServ(RemoteFailure(QStringLiteral("GetDtVenc"), QStringLiteral("Servidor indisponível."))), EAbort);
    EXPECT_EQ(rec.Messages, QStringList{QStringLiteral("Servidor indisponível.")});

    // The action runner: a silent abort is quiet, other errors show their text.
    rec.Messages.clear();
    EXPECT_FALSE(RunAction([] { MensErro(QStringLiteral("Cliente deve ser informado."), true); }));
    EXPECT_FALSE(RunAction([] { throw EDatabaseError(QStringLiteral("Falha no banco.")); }));
    EXPECT_TRUE(RunAction([] {}));
    EXPECT_EQ(rec.Messages, (QStringList{QStringLiteral("Cliente deve ser informado."), QStringLiteral("Falha no banco.")}));
    MensErro(QStringLiteral("Aviso."), false);
    EXPECT_EQ(rec.Messages.last(), QStringLiteral("Aviso."));
}

TEST(Showavi, NestedCallsBalanceAndGuardsHideOnError)
{
    int shows = 0, hides = 0;
    SetShowAviView({[&](QWidget *, int kind) {
                        EXPECT_EQ(kind, 1);
                        ++shows;
                    },
                    [&] { ++hides; }});
    ActiveShowAvi(nullptr, 1);
    ActiveShowAvi(nullptr, 1);
    EXPECT_TRUE(ShowAviVisible());
    DeactiveShowAvi();
    EXPECT_TRUE(ShowAviVisible());
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviVisible());
    DeactiveShowAvi(); // an extra hide does not go negative
    EXPECT_EQ(ShowAviDepth(), 0);
    try {
        TShowAviGuard guard(nullptr, 1);
        throw EAbort();
    } catch (const EAbort &) {
    }
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(shows, 2);
    EXPECT_EQ(hides, 2);
    SetShowAviView({});
}

TEST(Consiste, SetChildEnabledReachesEveryControl)
{
    QGroupBox box;
    auto *all = new QRadioButton(&box);
    auto *list = new QRadioButton(&box);
    auto *inner = new QGroupBox(&box);
    auto *check = new QCheckBox(inner);
    SetChildEnabled(&box, false);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_FALSE(all->isEnabled());
    EXPECT_FALSE(check->isEnabled());
    SetChildEnabled(&box, true);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_TRUE(check->isEnabled());
}

TEST(HostContext, TodayFollowsTheFixedClockAndDateFormat)
{
    THostContext ctx;
    ctx.Operator = QStringLiteral("MARIA");
    ctx.Branch = QStringLiteral("0101");
    ctx.FixedToday = QDate(2026, 12, 7);
    const THostContextScope scope(ctx);
    EXPECT_EQ(Operador(), QStringLiteral("MARIA"));
    EXPECT_EQ(FiliProc(), QStringLiteral("0101"));
    EXPECT_EQ(DateToStr(Date()), QStringLiteral("07/12/2026"));
    EXPECT_EQ(Date(), DateToDateTime(QDate(2026, 12, 7)));
    TDateTime d = 0;
    EXPECT_TRUE(TryStrToDate(QStringLiteral("29/02/2024"), d));
    EXPECT_FALSE(TryStrToDate(QStringLiteral("30/02/2026"), d));
}

TEST(HostData, CompaniesOfTheOperatorAndPictures)
{
    TTestDatabase demo(TBackend::SQLite, 20);
    TdtmDBGeral db;
    db.Open(demo.Target());
    std::optional<TCurrentDatabaseScope> current(&db);
    EXPECT_EQ(Dbgeral::ListaEmpresaOper(QStringLiteral("ADMIN")), QStringLiteral("_01__02__03__04__05_"));
    EXPECT_EQ(Dbgeral::ListaEmpresaOper(QStringLiteral("MARIA")), QStringLiteral("_01__03_"));
    EXPECT_EQ(Dbgeral::ListaEmpresaOper(QStringLiteral("CAIXA")), QString());
    EXPECT_EQ(DBPict(16), QStringLiteral("9.99.999"));
    const TDBPicture pic = DBPictObj(16);
    EXPECT_EQ(pic.GetTtNiveis(), 3);
    EXPECT_EQ(pic.CodeLength(2), 3);
    EXPECT_THROW(DBPict(99), EDatabaseError);
    current.reset();
    const TCurrentDatabaseScope none(nullptr);
    EXPECT_THROW(Dbgeral::ListaEmpresaOper(QStringLiteral("ADMIN")), EDatabaseError);
}

TEST(Passwords, SaltedHashVerifiesOnlyItsPasswordAndRefusesMalformedTexts)
{
    const QString a = PasswordHash::Make(QStringLiteral("maria-2026"), 2000);
    const QString b = PasswordHash::Make(QStringLiteral("maria-2026"), 2000);
    const QStringList parts = a.split(QLatin1Char('$'));
    ASSERT_EQ(parts.size(), 4);
    EXPECT_EQ(parts[0], QStringLiteral("pbkdf2-sha256"));
    EXPECT_EQ(parts[1], QStringLiteral("2000"));
    EXPECT_NE(a, b) << "each hash has its own salt";
    EXPECT_TRUE(PasswordHash::Verify(QStringLiteral("maria-2026"), a));
    EXPECT_TRUE(PasswordHash::Verify(QStringLiteral("maria-2026"), b));
    EXPECT_FALSE(PasswordHash::Verify(QStringLiteral("maria-2027"), a));
    EXPECT_FALSE(PasswordHash::Verify(QString(), a));
    EXPECT_FALSE(PasswordHash::Verify(QStringLiteral("Maria-2026"), a));
    // Malformed or unaffordable stored texts never match.
    for (const QString &bad : {QString(), QStringLiteral("maria-2026"), QStringLiteral("md5$2000$") + parts[2] + QLatin1Char('$') + parts[3],
                               QStringLiteral("pbkdf2-sha256$999999999$") + parts[2] + QLatin1Char('$') + parts[3],
                               QStringLiteral("pbkdf2-sha256$10$") + parts[2] + QLatin1Char('$') + parts[3],
                               QStringLiteral("pbkdf2-sha256$2000$%%%$") + parts[3], QStringLiteral("pbkdf2-sha256$2000$") + parts[2] + QStringLiteral("$AAAA")}) {
        EXPECT_FALSE(PasswordHash::WellFormed(bad)) << bad.toStdString();
        EXPECT_FALSE(PasswordHash::Verify(QStringLiteral("maria-2026"), bad)) << bad.toStdString();
    }
}
