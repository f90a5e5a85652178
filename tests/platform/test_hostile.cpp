// Inputs a hostile or careless caller can give the platform pieces.
#include "data/DataPacket.h"
#include "data/Exceptions.h"
#include "data/Quote.h"
#include "net/Wire.h"
#include "services/HostContext.h"
#include "ui/Controls.h"
#include <QDataStream>
#include <QIODevice>
#include <QRadioButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    return b;
}

// A packet of one text field and rows that are all empty: two bytes a row.
QByteArray emptyRows(quint32 rows)
{
    return QByteArray("RDPK") + QByteArray("\x00\x01", 2) + be32(1) + be32(1) + QByteArray("A") + QByteArray("\x00", 1) + be32(1) + QByteArray("\x00", 1) +
           be32(rows) + QByteArray(2 * qsizetype(rows), '\0');
}
} // namespace

TEST(HostileInput, PacketsAndMessagesCostInProportionToTheirBytes)
{
    // A few empty rows are fine; millions of them in a few megabytes are not.
    EXPECT_EQ(TDataPacket::Decode(emptyRows(1000)).Rows.size(), 1000u);
    EXPECT_THROW(TDataPacket::Decode(emptyRows(4u * 1024 * 1024)), EPacketError);
    // Rows holding their bytes still decode at that size.
    TDataPacket full;
    full.Fields = {{QStringLiteral("NOME"), TFieldType::String, 100, false}};
    for (int i = 0; i < 100000; ++i)
        full.AddRow({QStringLiteral("cliente número %1 com um nome comprido").arg(i)});
    EXPECT_EQ(TDataPacket::Decode(full.Encode()).Rows.size(), 100000u);
    // A caller may cap the rows it accepts.
    EXPECT_THROW(TDataPacket::Decode(emptyRows(3), 2), EPacketError);

    // A request of a million nulls in a list is refused, not built.
    QByteArray body;
    {
        QDataStream d(&body, QIODevice::WriteOnly);
        d.setVersion(QDataStream::Qt_6_0);
        d << Wire::kRequestMagic << Wire::kVersion << QStringLiteral("O") << QStringLiteral("M") << quint32(1) << false << quint8(6) << quint32(1000000);
    }
    body += QByteArray(1000000, '\0');
    Wire::Request r;
    QString error;
    EXPECT_FALSE(Wire::DecodeRequest(body, r, error));
    EXPECT_TRUE(error.contains(QStringLiteral("valores demais"))) << error.toStdString();
    // An ordinary list goes through.
    Wire::Request ok{QStringLiteral("O"), QStringLiteral("M"), {QVariantList{1, QStringLiteral("a"), QVariant()}}, {false}};
    Wire::Request back;
    ASSERT_TRUE(Wire::DecodeRequest(Wire::EncodeRequest(ok), back, error)) << error.toStdString();
    EXPECT_EQ(back.Args[0].toList().size(), 3);

    // Caller text in messages: one line, short, marked where cut.
    EXPECT_EQ(QuoteInput(QStringLiteral("Get\nX\t\\")), QStringLiteral("'Get\\nX\\t\\\\'"));
    const QString cut = QuoteInput(QString(100000, QLatin1Char('x')));
    EXPECT_LT(cut.size(), 100);
    EXPECT_TRUE(cut.contains(QStringLiteral("100000")));
    EXPECT_EQ(EscapeControls(QStringLiteral("a\r\nb\u2028c")), QStringLiteral("a\\r\\nb\\u2028c"));
}

TEST(HostileInput, RadioGroupIgnoresIndexesOutsideItsItems)
{
    QWidget parent;
    TRadioGroup group(QStringLiteral("rdgTeste"), QStringLiteral("Tipo"), {QStringLiteral("Todos"), QStringLiteral("Reais")}, &parent);
    int clicks = 0;
    group.OnClick = [&](QObject *) { ++clicks; };
    // Nothing checked yet.
    group.SetItemIndex(5);
    group.SetItemIndex(-7);
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    group.SetItemIndex(2);
    group.SetItemIndex(-2);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
}

TEST(HostileInput, ShortDatePatterns)
{
    for (const char *good : {"dd/MM/yyyy", "d/M/yy", "yyyy-MM-dd", "MM.dd.yyyy", "dd MM yyyy"})
        EXPECT_TRUE(IsShortDatePattern(QString::fromLatin1(good))) << good;
    for (const char *bad : {"", "dd/MM", "dd/MM/yyyy/dd", "dd/dd/yyyy", "dd/MM-yyyy", "ddd/MM/yyyy", "dd;MM;yyyy", "dd/MM/yyy", "HH:mm:ss"})
        EXPECT_FALSE(IsShortDatePattern(QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(IsShortDatePattern(QString(100000, QLatin1Char('d'))));
}

TEST(HostileInput, ShortDatesRoundTripInEveryPattern)
{
    const struct {
        const char *Pattern, *Text;
    } cases[] = {{"dd/MM/yyyy", "07/11/2026"}, {"dd/MM/yy", "07/11/26"}, {"dd.MM.yyyy", "07.11.2026"}, {"yyyy-MM-dd", "2026-11-07"},
                 {"MM/dd/yyyy", "11/07/2026"}, {"d.M.yy", "7.11.26"},     {"M/d/yyyy", "11/7/2026"}};
    const TDateTime day = DateToDateTime(QDate(2026, 11, 7));
    for (const auto &c : cases) {
        const QString pattern = QString::fromLatin1(c.Pattern);
        EXPECT_TRUE(IsShortDatePattern(pattern)) << c.Pattern;
        EXPECT_EQ(DateToStr(day, pattern), QString::fromLatin1(c.Text)) << c.Pattern;
        TDateTime back = 0;
        ASSERT_TRUE(TryStrToDate(QString::fromLatin1(c.Text), back, pattern)) << c.Pattern;
        EXPECT_EQ(DateTimeToDate(back), QDate(2026, 11, 7)) << c.Pattern;
        EXPECT_FALSE(TryStrToDate(QStringLiteral("31.02.26"), back, pattern)) << c.Pattern;
    }
    // Two-digit years: 00-49 are 2000-2049, 50-99 are 1950-1999.
    TDateTime d = 0;
    ASSERT_TRUE(TryStrToDate(QStringLiteral("31/12/49"), d, QStringLiteral("dd/MM/yy")));
    EXPECT_EQ(DateTimeToDate(d), QDate(2049, 12, 31));
    ASSERT_TRUE(TryStrToDate(QStringLiteral("1.1.50"), d, QStringLiteral("d.M.yy")));
    EXPECT_EQ(DateTimeToDate(d), QDate(1950, 1, 1));
    ASSERT_TRUE(TryStrToDate(QStringLiteral("29/02/00"), d, QStringLiteral("dd/MM/yy")));
    EXPECT_EQ(DateTimeToDate(d), QDate(2000, 2, 29));
    EXPECT_TRUE(IsFixedWidthDatePattern(QStringLiteral("dd/MM/yy")));
    EXPECT_FALSE(IsFixedWidthDatePattern(QStringLiteral("d.M.yy")));
    EXPECT_FALSE(IsFixedWidthDatePattern(QStringLiteral("dd/M/yyyy")));
}
