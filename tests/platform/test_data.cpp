#include "data/ClientDataSet.h"
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/Exceptions.h"
#include "data/Params.h"
#include "data/SessionSettings.h"
#include "data/Query.h"
#include "TestSupport.h"
#include <QDir>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {
TClientDataSet &emissionSet(TClientDataSet &cds)
{
    cds.AddField(QStringLiteral("CDTELAPROG"), TFieldType::String, 10);
    cds.AddField(QStringLiteral("CDOPERADOR"), TFieldType::String, 12);
    cds.AddField(QStringLiteral("IDUTOPEMIFIN"), TFieldType::String, 1);
    return cds;
}

TDataPacket emissionPacket(std::initializer_list<std::array<const char *, 3>> rows)
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("CDTELAPROG"), TFieldType::String, 10, false},
                {QStringLiteral("CDOPERADOR"), TFieldType::String, 12, false},
                {QStringLiteral("IDUTOPEMIFIN"), TFieldType::String, 1, false}};
    for (const auto &r : rows)
        p.AddRow({QString::fromUtf8(r[0]), QString::fromUtf8(r[1]), QString::fromUtf8(r[2])});
    return p;
}
} // namespace

TEST(DataSet, CursorStatesAndFieldLookup)
{
    TDataSet ds(QStringLiteral("cdsTeste"));
    ds.AddField(QStringLiteral("CODIGO"), TFieldType::String, 4);
    ds.AddField(QStringLiteral("VALOR"), TFieldType::Float);
    ds.Open();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 0);
    for (int i = 1; i <= 3; ++i) {
        ds.Append();
        ds.FieldByName(QStringLiteral("codigo")).SetAsString(QStringLiteral("C%1").arg(i));
        ds.FieldByName(QStringLiteral("VALOR")).SetAsFloat(i * 1.5);
        ds.Post();
    }
    EXPECT_EQ(ds.RecordCount(), 3);
    QStringList seen;
    for (ds.First(); !ds.Eof(); ds.Next())
        seen << ds.FieldByName(QStringLiteral("CODIGO")).AsString();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C3")}));

    // A string field keeps at most its size.
    ds.First();
    ds.Edit();
    ds.FieldByName(QStringLiteral("CODIGO")).SetAsString(QStringLiteral("ABCDEFG"));
    EXPECT_EQ(ds.State(), TDataSetState::Edit);
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("CODIGO")).AsString(), QStringLiteral("C1"));

    try {
        ds.FieldByName(QStringLiteral("NAOEXISTE"));
        FAIL() << "missing field accepted";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("NAOEXISTE")));
        EXPECT_TRUE(e.Message().contains(QStringLiteral("cdsTeste")));
    }
    // Writing outside edit state is an error, not a silent change.
    EXPECT_THROW(ds.FieldByName(QStringLiteral("CODIGO")).SetAsString(QStringLiteral("X")), EDatabaseError);
    // A row the grid shows is read without moving the cursor.
    ds.SetRecNo(1);
    QString third;
    ds.WithRecord(2, [&] { third = ds.FieldByName(QStringLiteral("CODIGO")).AsString(); });
    EXPECT_EQ(third, QStringLiteral("C3"));
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST(ClientDataSet, ChangeLogThroughInsertEditPostDeltaMergeAndCancel)
{
    TClientDataSet cds(QStringLiteral("cdsOpEmissao"));
    emissionSet(cds);
    int posts = 0;
    cds.AfterPost = [&](TDataSet &) { ++posts; };
    cds.SetData(emissionPacket({{"REC11001", "MARIA", "S"}}));
    EXPECT_EQ(cds.ChangeCount(), 0);

    // A post that changes nothing logs nothing.
    cds.Edit();
    cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
    cds.Post();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(cds.ChangeCount(), 0);

    cds.Edit();
    cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
    cds.Post();
    EXPECT_EQ(cds.ChangeCount(), 1);
    cds.Append();
    cds.FieldByName(QStringLiteral("CDTELAPROG")).SetAsString(QStringLiteral("REC11001"));
    cds.FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(QStringLiteral("ADMIN"));
    cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
    cds.Post();
    EXPECT_EQ(cds.ChangeCount(), 2);

    const TDataPacket delta = TDataPacket::Decode(cds.Delta().toByteArray());
    ASSERT_EQ(delta.Rows.size(), 3u);
    EXPECT_EQ(delta.Kinds[0], TRowKind::Original);
    EXPECT_EQ(delta.Rows[0][2].toString(), QStringLiteral("S"));
    EXPECT_EQ(delta.Kinds[1], TRowKind::Modified);
    EXPECT_EQ(delta.Rows[1][2].toString(), QStringLiteral("N"));
    EXPECT_EQ(delta.Kinds[2], TRowKind::Inserted);
    EXPECT_EQ(delta.Rows[2][1].toString(), QStringLiteral("ADMIN"));

    // Cancel brings back the loaded rows.
    cds.CancelUpdates();
    EXPECT_EQ(cds.ChangeCount(), 0);
    EXPECT_EQ(cds.RecordCount(), 1);
    cds.First();
    EXPECT_EQ(cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), QStringLiteral("S"));

    // Merge makes the change part of the base.
    cds.Edit();
    cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
    cds.Post();
    cds.MergeChangeLog();
    EXPECT_EQ(cds.ChangeCount(), 0);
    cds.CancelUpdates();
    EXPECT_EQ(cds.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), QStringLiteral("N"));

    // Delete of a base row is a change too.
    cds.Delete();
    EXPECT_EQ(cds.ChangeCount(), 1);
    EXPECT_EQ(TDataPacket::Decode(cds.Delta().toByteArray()).Kinds[0], TRowKind::Deleted);

    // A packet without a persistent field is refused by name.
    TDataPacket other;
    other.Fields = {{QStringLiteral("CDEMPRESA"), TFieldType::String, 2, false}};
    try {
        cds.SetData(other);
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("CDTELAPROG")));
    }
}

TEST(ClientDataSet, RowsOutOfTheirFieldsFormAreCoercedAlsoWhereTheyRepeat)
{
    TClientDataSet cds(QStringLiteral("cdsCurva"));
    cds.AddField(QStringLiteral("NOME"), TFieldType::String, 3);
    cds.AddField(QStringLiteral("QT"), TFieldType::Integer);
    cds.AddField(QStringLiteral("VR"), TFieldType::Float);
    // Decoded: a text longer than the data set's field, repeated and met again, and
    // numbers of another kind than the fields'.
    TPacketWriter w({{QStringLiteral("NOME"), TFieldType::String, 0, false},
                     {QStringLiteral("QT"), TFieldType::Float, 0, false},
                     {QStringLiteral("VR"), TFieldType::Integer, 0, false}});
    const QStringList names = {QStringLiteral("abcdef"), QStringLiteral("abcdef"), QStringLiteral("xy"), QStringLiteral("abcdef"), QStringLiteral("ação!")};
    for (int r = 0; r < names.size(); ++r) {
        w.BeginRow();
        w.Value(names[r]);
        w.Number(r + 0.5);
        w.Integer(r);
    }
    cds.SetData(QVariant(w.Finish()));
    ASSERT_EQ(cds.RecordCount(), 5);
    const QStringList expected = {QStringLiteral("abc"), QStringLiteral("abc"), QStringLiteral("xy"), QStringLiteral("abc"), QStringLiteral("açã")};
    for (int r = 0; r < 5; ++r) {
        cds.SetRecNo(r + 1);
        EXPECT_EQ(cds.FieldByName(QStringLiteral("NOME")).AsString(), expected[r]) << "row " << r;
        EXPECT_EQ(cds.FieldByName(QStringLiteral("QT")).Value().typeId(), QMetaType::LongLong) << "row " << r;
        EXPECT_EQ(cds.FieldByName(QStringLiteral("VR")).Value().typeId(), QMetaType::Double) << "row " << r;
        EXPECT_DOUBLE_EQ(cds.FieldByName(QStringLiteral("VR")).Value().toDouble(), r);
    }
    // Built in code: a cell of another kind than its own packet field's is coerced too.
    TDataPacket made;
    made.Fields = {{QStringLiteral("NOME"), TFieldType::String, 3, false}, {QStringLiteral("QT"), TFieldType::Integer, 0, false},
                   {QStringLiteral("VR"), TFieldType::Float, 0, false}};
    made.AddRow(TRecord{QVariant(QStringLiteral("abcd")), QVariant(QStringLiteral("12")), QVariant(qlonglong(3))});
    cds.SetData(std::move(made));
    cds.First();
    EXPECT_EQ(cds.FieldByName(QStringLiteral("NOME")).AsString(), QStringLiteral("abc"));
    EXPECT_EQ(cds.FieldByName(QStringLiteral("QT")).Value(), QVariant(qlonglong(12)));
    EXPECT_EQ(cds.FieldByName(QStringLiteral("VR")).Value(), QVariant(3.0));
    // Many rows: a text that fits, shared down the column, between others that do not.
    TPacketWriter many({{QStringLiteral("NOME"), TFieldType::String, 0, false},
                        {QStringLiteral("QT"), TFieldType::Integer, 0, false},
                        {QStringLiteral("VR"), TFieldType::Float, 0, false}});
    for (int r = 0; r < 60; ++r) {
        many.BeginRow();
        many.Value(r % 5 >= 3 ? QStringLiteral("longo") : QStringLiteral("xy"));
        many.Integer(r);
        many.Number(r);
    }
    cds.SetData(QVariant(many.Finish()));
    ASSERT_EQ(cds.RecordCount(), 60);
    for (int r = 0; r < 60; ++r) {
        cds.SetRecNo(r + 1);
        EXPECT_EQ(cds.FieldByName(QStringLiteral("NOME")).AsString(), r % 5 >= 3 ? QStringLiteral("lon") : QStringLiteral("xy")) << "row " << r;
    }
}

TEST(ClientDataSet, FieldWritesKeepOnlyTheBaseValuesTheyChange)
{
    TClientDataSet cds(QStringLiteral("cdsOpEmissao"));
    emissionSet(cds);
    cds.SetData(emissionPacket({{"REC11001", "MARIA", "S"}, {"REC11001", "JOSE", "S"}, {"REC11001", "ANA", "N"}}));
    cds.SetRecNo(3);
    // Writing a row's field leaves the cursor and logs the change like Edit and Post.
    cds.SetRowField(0, 2, QStringLiteral("N"));
    cds.SetRowField(1, 2, QStringLiteral("S")); // the same value: nothing to log
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_EQ(cds.ChangeCount(), 1);
    cds.SetRecNo(1);
    cds.Edit();
    cds.FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(QStringLiteral("MARIANA"));
    cds.Post();
    TDataPacket delta = cds.DeltaPacket();
    ASSERT_EQ(delta.Rows.size(), 2u);
    EXPECT_EQ(delta.Kinds[0], TRowKind::Original);
    EXPECT_EQ(delta.Rows[0][1].toString(), QStringLiteral("MARIA"));
    EXPECT_EQ(delta.Rows[0][2].toString(), QStringLiteral("S"));
    EXPECT_EQ(delta.Rows[1][1].toString(), QStringLiteral("MARIANA"));
    EXPECT_EQ(delta.Rows[1][2].toString(), QStringLiteral("N"));
    // Writing the base values back leaves nothing pending.
    cds.SetRowField(0, 1, QStringLiteral("MARIA"));
    cds.SetRowField(0, 2, QStringLiteral("S"));
    EXPECT_EQ(cds.ChangeCount(), 0);

    // A deleted row goes out with its base values; cancel rebuilds every row.
    cds.SetRowField(1, 1, QStringLiteral("JOAO"));
    cds.SetRecNo(2);
    cds.Delete();
    delta = cds.DeltaPacket();
    ASSERT_EQ(delta.Rows.size(), 1u);
    EXPECT_EQ(delta.Kinds[0], TRowKind::Deleted);
    EXPECT_EQ(delta.Rows[0][1].toString(), QStringLiteral("JOSE"));
    cds.SetRowField(1, 2, QStringLiteral("S")); // now ANA's row
    cds.CancelUpdates();
    ASSERT_EQ(cds.RecordCount(), 3);
    const char *names[] = {"MARIA", "JOSE", "ANA"};
    const char *flags[] = {"S", "S", "N"};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(cds.Rows()[static_cast<size_t>(r)][1].toString(), QString::fromLatin1(names[r]));
        EXPECT_EQ(cds.Rows()[static_cast<size_t>(r)][2].toString(), QString::fromLatin1(flags[r]));
    }

    // With an AfterPost handler the write is a real post on the row.
    QString seen;
    cds.AfterPost = [&](TDataSet &ds) { seen = ds.FieldByName(QStringLiteral("CDOPERADOR")).AsString(); };
    cds.SetRecNo(1);
    cds.SetRowField(2, 2, QStringLiteral("S"));
    EXPECT_EQ(seen, QStringLiteral("ANA"));
    EXPECT_EQ(cds.RecNo(), 1);
    EXPECT_EQ(cds.ChangeCount(), 1);
    EXPECT_THROW(cds.SetRowField(3, 0, QStringLiteral("X")), EDatabaseError);
}

TEST(Params, NullEmptyTypesAndLookup)
{
    TParams params;
    TParam &a = params.CreateParam(TParamType::Unknown, QStringLiteral("CLIENTE"));
    TParam &b = params.CreateParam(TParamType::Unknown, QStringLiteral("DATVENIN"));
    TParam &c = params.CreateParam(TParamType::Date, QStringLiteral("VALORINI"));
    EXPECT_TRUE(a.IsNull());
    a.SetAsString(QString());
    EXPECT_FALSE(a.IsNull());
    EXPECT_EQ(a.AsString(), QString());
    EXPECT_EQ(a.DataType, TParamType::String);
    a.Clear();
    EXPECT_TRUE(a.IsNull());
    b.SetAsDateTime(DateToDateTime(QDate(2026, 12, 7)));
    EXPECT_EQ(b.DataType, TParamType::DateTime);
    EXPECT_EQ(b.AsString(), QStringLiteral("07/12/2026"));
    c.SetAsFloat(500);
    EXPECT_EQ(c.DataType, TParamType::Float);
    EXPECT_DOUBLE_EQ(c.AsFloat(), 500.0);

    EXPECT_EQ(params.Count(), 3);
    EXPECT_EQ(&params[1], &b);
    EXPECT_EQ(&params.ParamByName(QStringLiteral("cliente")), &a);
    EXPECT_EQ(params.FindParam(QStringLiteral("TCLIENTE")), nullptr);
    EXPECT_TRUE(ExistParam(params, QStringLiteral("Valorini")));
    EXPECT_FALSE(ExistParam(params, QStringLiteral("VALORFIN")));
    try {
        params.ParamByName(QStringLiteral("TCLIENTE"));
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Parâmetro 'TCLIENTE' não encontrado."));
    }
    // A copy is independent.
    TParams copy = params;
    copy.ParamByName(QStringLiteral("VALORINI")).Clear();
    EXPECT_FALSE(params.ParamByName(QStringLiteral("VALORINI")).IsNull());
}

TEST(Record, CellsGiveEveryValueBackAndCompareAsTheirVariants)
{
    const QVariantList values = {QVariant(),
                                 QVariant(1.5),
                                 QVariant(-0.0),
                                 QVariant(0.0),
                                 QVariant(1.0),
                                 QVariant(qlonglong(1)),
                                 QVariant(qlonglong(1) << 53),
                                 QVariant((qlonglong(1) << 47) - 1),
                                 QVariant(-(qlonglong(1) << 47)),
                                 QVariant(qlonglong(1) << 47),
                                 QVariant(std::numeric_limits<qlonglong>::min()),
                                 QVariant(std::numeric_limits<qlonglong>::max()),
                                 QVariant(-std::numeric_limits<double>::infinity()),
                                 QVariant(std::numeric_limits<double>::denorm_min()),
                                 QVariant(-1.0e308),
                                 QVariant(1),
                                 QVariant(-2147483647 - 1),
                                 QVariant(true),
                                 QVariant(false),
                                 QVariant(QString()),
                                 QVariant(QString(QLatin1String(""))),
                                 QVariant(QStringLiteral("1")),
                                 QVariant(QStringLiteral("Açaí")),
                                 QVariant(QMetaType::fromType<QString>()),
                                 QVariant(QDate(2026, 12, 8)),
                                 QVariant(QByteArray("1")),
                                 QVariant(QVariantList{1, QStringLiteral("a")})};
    for (const QVariant &v : values) {
        const QVariant back = TCell(v).ToVariant();
        EXPECT_EQ(back.isValid(), v.isValid()) << v.typeName();
        EXPECT_EQ(back.typeId(), v.typeId()) << v.typeName();
        EXPECT_EQ(back.isNull(), v.isNull()) << v.typeName();
        EXPECT_TRUE(back == v) << v.typeName();
    }
    // Equality of cells is the variants' own, across kinds too.
    for (const QVariant &a : values)
        for (const QVariant &b : values)
            EXPECT_EQ(SameValue(TCell(a), TCell(b)), SameValue(a, b)) << a.typeName() << " " << a.toString().toStdString() << " / " << b.typeName() << " "
                                                                      << b.toString().toStdString();

    // Numbers keep their every bit but a not-a-number's, which reads back as one.
    for (const double d : {-0.0, 5e-324, -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::quiet_NaN(), std::nan("7")}) {
        const TCell c = TCell::Number(d);
        ASSERT_EQ(c.GetKind(), TCell::Kind::Double);
        const double back = c.Double();
        if (std::isnan(d))
            EXPECT_TRUE(std::isnan(back));
        else
            EXPECT_EQ(std::memcmp(&d, &back, 8), 0) << d;
        EXPECT_EQ(std::signbit(c.Double()), std::isnan(d) ? false : std::signbit(d)) << d;
    }
    // An integer wider than a cell holds is kept whole, copies included.
    const TCell wide = TCell::Integer(std::numeric_limits<qlonglong>::min() + 3);
    const TCell wideCopy = wide;
    EXPECT_EQ(wideCopy.GetKind(), TCell::Kind::Int64);
    EXPECT_EQ(wideCopy.Int(), std::numeric_limits<qlonglong>::min() + 3);
    EXPECT_EQ(TCell::Integer(-(qlonglong(1) << 47)).Int(), -(qlonglong(1) << 47));
    EXPECT_EQ(TCell::Flag(true).GetKind(), TCell::Kind::Bool);

    // A copied text shares its storage; writing through one row leaves the other.
    TRecord one = {QStringLiteral("Região Sul"), 7};
    TRecord two = one;
    EXPECT_EQ(two.Cell(0).Box(), one.Cell(0).Box());
    EXPECT_TRUE(one == two);
    two[0] = QStringLiteral("Norte");
    EXPECT_EQ(one[0].toString(), QStringLiteral("Região Sul"));
    EXPECT_FALSE(one == two);
    EXPECT_EQ(two[1].typeId(), QMetaType::Int);

    // A changed int comes back as an int when the change is cancelled.
    TClientDataSet cds(QStringLiteral("cdsCells"));
    cds.AddField(QStringLiteral("NOME"), TFieldType::String, 20);
    cds.AddField(QStringLiteral("QTD"), TFieldType::Integer, 0);
    cds.LoadRows({one});
    cds.SetRowField(0, 1, qlonglong(8));
    EXPECT_EQ(cds.ChangeCount(), 1);
    cds.CancelUpdates();
    EXPECT_EQ(cds.ChangeCount(), 0);
    EXPECT_EQ(cds.Rows()[0][1].typeId(), QMetaType::Int);
    EXPECT_EQ(cds.Rows()[0][1].toInt(), 7);
}

TEST(DataPacket, RoundTripOfEveryTypeNullAndText)
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("NOME"), TFieldType::String, 50, true},   {QStringLiteral("FLAG"), TFieldType::FixedChar, 1, false},
                {QStringLiteral("VALOR"), TFieldType::Float, 0, false},   {QStringLiteral("QTD"), TFieldType::Integer, 0, false},
                {QStringLiteral("ATIVO"), TFieldType::Boolean, 0, false}, {QStringLiteral("DATA"), TFieldType::DateTime, 0, false}};
    p.AddRow({QStringLiteral("Região Sul — Açaí ção"), QStringLiteral("S"), 1234.56, qint64(-42), true, 46363.5}, TRowKind::Inserted);
    p.AddRow({QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    p.AddRow({QString(QLatin1String("")), QStringLiteral(" "), 0.0, qint64(0), false, 0.0}, TRowKind::Modified);
    const TDataPacket back = TDataPacket::Decode(p.Encode());
    ASSERT_EQ(back.Fields.size(), 6u);
    EXPECT_EQ(back.Fields[0].Name, QStringLiteral("NOME"));
    EXPECT_TRUE(back.Fields[0].Required);
    EXPECT_EQ(back.Fields[1].Type, TFieldType::FixedChar);
    EXPECT_EQ(back.Fields[0].Size, 50);
    ASSERT_EQ(back.Rows.size(), 3u);
    EXPECT_EQ(back.Rows[0][0].toString(), QStringLiteral("Região Sul — Açaí ção"));
    EXPECT_DOUBLE_EQ(back.Rows[0][2].toDouble(), 1234.56);
    EXPECT_EQ(back.Rows[0][3].toLongLong(), -42);
    EXPECT_TRUE(back.Rows[0][4].toBool());
    EXPECT_DOUBLE_EQ(back.Rows[0][5].toDouble(), 46363.5);
    EXPECT_EQ(back.Kinds[0], TRowKind::Inserted);
    for (const QVariant &v : back.Rows[1])
        EXPECT_FALSE(v.isValid());
    // The empty text survives as a value, not as null.
    EXPECT_TRUE(back.Rows[2][0].isValid());
    EXPECT_EQ(back.Rows[2][0].toString(), QString());
    EXPECT_EQ(back.Kinds[2], TRowKind::Modified);
}

TEST(DataPacket, RepeatedValuesTravelAsReferencesAndDecodeTheSame)
{
    // Texts repeated from the row above or met earlier in the column, numbers
    // repeated, nulls between them, and a column of distinct texts.
    TDataPacket p;
    p.Fields = {{QStringLiteral("EMPRESA"), TFieldType::String, 40, false},
                {QStringLiteral("CLIENTE"), TFieldType::String, 50, false},
                {QStringLiteral("VALOR"), TFieldType::Float, 0, false},
                {QStringLiteral("DOC"), TFieldType::String, 20, false},
                {QStringLiteral("FIXO"), TFieldType::String, 255, false}};
    const QString clients[] = {QStringLiteral("Ana"), QStringLiteral("Bruno"), QStringLiteral("Carla")};
    for (int i = 0; i < 3000; ++i)
        p.AddRow({i < 1500 ? QStringLiteral("Norte") : QStringLiteral("Sul"), i % 7 == 0 ? QVariant() : QVariant(clients[i % 3]),
                  i % 5 == 0 ? QVariant() : QVariant(i % 2 == 0 ? 10.5 : -0.0), QStringLiteral("N%1").arg(i), QStringLiteral("Todas as filiais")},
                 i == 1 ? TRowKind::Inserted : TRowKind::Unmodified);
    const QByteArray bytes = p.Encode();
    const TDataPacket back = TDataPacket::Decode(bytes);
    ASSERT_EQ(back.Rows.size(), p.Rows.size());
    for (size_t r = 0; r < p.Rows.size(); ++r)
        for (size_t c = 0; c < p.Fields.size(); ++c) {
            ASSERT_EQ(back.Rows[r][c].isValid(), p.Rows[r][c].isValid()) << r << "," << c;
            ASSERT_EQ(back.Rows[r][c].toString(), p.Rows[r][c].toString()) << r << "," << c;
        }
    EXPECT_TRUE(std::signbit(back.Rows[3][2].toDouble())) << "-0 stays -0";
    // A repeated or recalled text is held once, whatever the rows it appears in.
    EXPECT_EQ(back.Rows[2].Cell(4).Box(), back.Rows[0].Cell(4).Box());
    EXPECT_EQ(back.Rows[6].Cell(1).Box(), back.Rows[3].Cell(1).Box());
    EXPECT_EQ(back.Kinds[1], TRowKind::Inserted);
    // The constant column and the repeated names cost a byte or two a row, not their text.
    EXPECT_LT(bytes.size(), 3000 * 24);
    EXPECT_EQ(back.Encode(), bytes);
    EXPECT_EQ(TDataPacket::AnnouncedRows(bytes), 3000);
    EXPECT_EQ(TDataPacket::AnnouncedRows(QByteArray("RDPK")), -1);
    EXPECT_EQ(TDataPacket::AnnouncedRows(QByteArray("texto")), -1);

    // A version 1 packet, as older peers write it, still decodes.
    const QByteArray v1 = QByteArray("RDPK\x00\x01", 6) + QByteArray("\x00\x00\x00\x01", 4) + QByteArray("\x00\x00\x00\x01" "A", 5) +
                          QByteArray("\x00\x00\x00\x00\x0a\x00", 6) + QByteArray("\x00\x00\x00\x02", 4) + QByteArray("\x00\x01\x00\x00\x00\x02" "ok", 8) +
                          QByteArray("\x00\x00", 2);
    const TDataPacket old = TDataPacket::Decode(v1);
    ASSERT_EQ(old.Rows.size(), 2u);
    EXPECT_EQ(old.Rows[0][0].toString(), QStringLiteral("ok"));
    EXPECT_FALSE(old.Rows[1][0].isValid());

    // References to nothing are refused: a repeat on the first row or below a
    // null, and a text never seen.
    TDataPacket one;
    one.Fields = {{QStringLiteral("A"), TFieldType::String, 10, false}};
    one.AddRow({QStringLiteral("x")});
    one.AddRow({QVariant()});
    const QByteArray good = one.Encode();
    const qsizetype firstCell = good.size() - 5; // kind, marker, length, "x", then the second row
    ASSERT_EQ(good[firstCell], '\x01');
    for (const QByteArray &cell : {QByteArray("\x02", 1), QByteArray("\x03\x00", 2), QByteArray("\x03\x05", 2)}) {
        QByteArray bad = good.left(firstCell) + cell + QByteArray("\x00\x00", 2);
        EXPECT_THROW(TDataPacket::Decode(bad), EPacketError) << cell.toHex().constData();
    }
    TDataPacket three;
    three.Fields = one.Fields;
    three.AddRow({QStringLiteral("x")});
    three.AddRow({QVariant()});
    three.AddRow({QStringLiteral("x")});
    QByteArray repeatBelowNull = three.Encode();
    ASSERT_EQ(repeatBelowNull.right(2), QByteArray("\x03\x00", 2)) << "the third row refers to the text seen";
    repeatBelowNull.chop(2);
    repeatBelowNull += QByteArray("\x02", 1);
    EXPECT_THROW(TDataPacket::Decode(repeatBelowNull), EPacketError);
}

TEST(DataPacket, RowsWriteTheSameBytesAsTheirValuesOneByOne)
{
    // Shared texts above, between and after other values, and cells of another
    // kind than their field's, written as rows and as values one by one.
    const std::vector<TPacketField> fields = {{QStringLiteral("T"), TFieldType::String, 4, false},
                                              {QStringLiteral("F"), TFieldType::Float, 0, false},
                                              {QStringLiteral("I"), TFieldType::Integer, 0, false},
                                              {QStringLiteral("B"), TFieldType::Boolean, 0, false},
                                              {QStringLiteral("D"), TFieldType::DateTime, 0, false}};
    const TRecord a = {QStringLiteral("Sul"), 1.5, qlonglong(2), true, 46000.0};
    const TRecord b = {QStringLiteral("Norte"), 7, QStringLiteral("3"), QStringLiteral("S"), QVariant()};
    const TRecord c = {2.5, QVariant(), 4.9, 0, QStringLiteral("46001")};
    std::vector<TRecord> rows = {a, a, b, a, TRecord{QVariant(), 1.5}, a, c, b, b, TRecord{}, a};
    rows.push_back(rows[0]); // shares every box of the first row
    TPacketWriter byRow(fields), byValue(fields);
    for (const TRecord &r : rows) {
        byRow.AddRow(r);
        byValue.BeginRow();
        for (size_t i = 0; i < fields.size(); ++i)
            byValue.Value(i < r.size() ? r[i] : QVariant());
    }
    const QByteArray bytes = byRow.Finish();
    EXPECT_EQ(bytes, byValue.Finish());
    const TDataPacket back = TDataPacket::Decode(bytes);
    ASSERT_EQ(back.Rows.size(), rows.size());
    EXPECT_EQ(back.Rows[3][0].toString(), QStringLiteral("Sul"));
    EXPECT_EQ(back.Rows[6][0].toString(), QStringLiteral("2.5"));
    EXPECT_EQ(back.Rows[2][2].toLongLong(), 3);
    EXPECT_FALSE(back.Rows[9][0].isValid());
}

TEST(DataPacket, TextsKnownByTheirBoxOrByTheirBytesWriteTheSameReferences)
{
    // A column of a few hundred names, some rows holding a fresh copy of a name and
    // others the box met before; a column that is distinct for longer than the writer
    // looks texts up and then repeats; a column distinct throughout; nulls between.
    const std::vector<TPacketField> fields = {{QStringLiteral("NOME"), TFieldType::String, 20, false},
                                              {QStringLiteral("FASES"), TFieldType::String, 20, false},
                                              {QStringLiteral("DOC"), TFieldType::String, 20, false},
                                              {QStringLiteral("VALOR"), TFieldType::Float, 0, false}};
    std::vector<TCell> names;
    for (int i = 0; i < 300; ++i)
        names.push_back(TCell::Text(QStringLiteral("Cliente %1").arg(i)));
    std::vector<TRecord> rows;
    for (int i = 0; i < 20000; ++i) {
        TRecord r(fields.size());
        const TCell &name = names[static_cast<size_t>((i / 4 * 7 + i / 5) % 300)];
        if (i % 11 == 0)
            r.Cell(0) = TCell::Text(QString(name.TextRef().constData(), name.TextRef().size())); // same text, another box
        else if (i % 13 != 0)
            r.Cell(0) = name;
        r.Cell(1) = TCell::Text(i < 6000 ? QStringLiteral("F%1").arg(i) : QStringLiteral("R%1").arg(i % 40));
        r.Cell(2) = TCell::Text(QStringLiteral("D%1").arg(i));
        r.Cell(3) = TCell::Number(i % 4);
        rows.push_back(std::move(r));
    }
    // Boxes shared down a column, as a decoded packet holds them.
    for (size_t i = 100; i < rows.size(); i += 17)
        rows[i].Cell(0) = rows[i - 100].Cell(0);
    TPacketWriter byRow(fields), byValue(fields);
    for (const TRecord &r : rows) {
        byRow.AddRow(r);
        byValue.BeginRow();
        for (size_t c = 0; c < fields.size(); ++c)
            byValue.Value(r[c]);
    }
    const QByteArray bytes = byRow.Finish();
    EXPECT_EQ(bytes, byValue.Finish());
    const TDataPacket back = TDataPacket::Decode(bytes);
    ASSERT_EQ(back.Rows.size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r)
        ASSERT_TRUE(back.Rows[r] == rows[r]) << "row " << r;
    // Written again from the decoded rows, where each text has one box.
    EXPECT_EQ(back.Encode(), bytes);
    // The names cost a reference, not their text.
    EXPECT_LT(bytes.size(), 20000 * 40);
    // Rows that stay alive are written the same without the writer holding their texts.
    TPacketWriter outliving(fields);
    outliving.RowsOutliveWriter();
    for (const TRecord &r : rows)
        outliving.AddRow(r);
    EXPECT_EQ(outliving.Finish(), bytes);
    // Rows made and dropped one by one: a freed box's address comes back for another text.
    TPacketWriter dropped({fields[0]}), values({fields[0]});
    for (int i = 0; i < 3000; ++i) {
        const QString text = QStringLiteral("T%1").arg(i % 3 == 0 ? i : i / 3);
        {
            TRecord r(1);
            r.Cell(0) = TCell::Text(text);
            dropped.AddRow(r);
        }
        values.BeginRow();
        values.Value(text);
    }
    EXPECT_EQ(dropped.Finish(), values.Finish());
    // A column of more boxes than the caches hold, each next row told ahead, some of
    // them of another shape: shorter, a number or a null where the text goes.
    const std::vector<TPacketField> wide = {fields[0], fields[3]};
    std::vector<TCell> many;
    for (int i = 0; i < 30000; ++i)
        many.push_back(TCell::Text(QStringLiteral("Cliente %1").arg(i)));
    TDataPacket told;
    told.Fields = wide;
    TPacketWriter ahead(wide), plain(wide);
    for (int i = 0; i < 120000; ++i) {
        TRecord r(wide.size());
        r.Cell(0) = many[static_cast<size_t>(i * 7919 % (i / 4 + 1))];
        r.Cell(1) = TCell::Number(i);
        TRecord odd(i % 3 == 0 ? 1 : 2);
        odd.Cell(0) = i % 2 ? TCell::Number(i) : TCell();
        ahead.Prefetch(odd);
        ahead.Prefetch(r);
        ahead.AddRow(r);
        plain.BeginRow();
        plain.Value(r[0]);
        plain.Value(r[1]);
        told.AddRow(std::move(r));
    }
    const QByteArray wideBytes = plain.Finish();
    EXPECT_EQ(ahead.Finish(), wideBytes);
    EXPECT_EQ(told.Encode(), wideBytes);
    const TDataPacket wideBack = TDataPacket::Decode(wideBytes);
    ASSERT_EQ(wideBack.Rows.size(), told.Rows.size());
    for (size_t r = 0; r < told.Rows.size(); r += 97)
        ASSERT_TRUE(wideBack.Rows[r] == told.Rows[r]) << "row " << r;
    // The names are still written as references.
    EXPECT_LT(wideBytes.size(), 120000 * 16);
}

TEST(DataPacket, TextsFromTheirBytesWriteTheSameWhenToldAhead)
{
    // Rows as a database result gives them: each text's bytes in a buffer of the row.
    // A column of names drawn from 20,000, more than the caches hold, each told ahead;
    // some told and then written null, some told and then given other bytes.
    const std::vector<TPacketField> fields = {{QStringLiteral("DOC"), TFieldType::String, 20, false},
                                              {QStringLiteral("NOME"), TFieldType::String, 20, false}};
    TPacketWriter told(fields), plain(fields), changed(fields);
    std::vector<QString> written;
    for (int i = 0; i < 60000; ++i) {
        const QByteArray doc = QByteArray::number(i % 50);
        const QString name = i % 37 == 5 ? QString() : QStringLiteral("Cliente %1").arg((quint32(i / 2) * 2654435761u >> 8) % 20000);
        const QByteArray bytes = name.toUtf8();
        told.BeginRow();
        told.PrefetchText(1, bytes.constData(), bytes.size());
        told.Text(doc.constData(), doc.size());
        if (name.isNull())
            told.Null();
        else
            told.Text(bytes.constData(), bytes.size());
        plain.BeginRow();
        plain.Value(QString::fromLatin1(doc));
        if (name.isNull())
            plain.Null();
        else
            plain.Value(name);
        // Told one text, then its buffer rewritten with another of the same length.
        QByteArray buffer = bytes;
        changed.BeginRow();
        changed.PrefetchText(1, buffer.constData(), buffer.size());
        if (i % 1000 == 999 && !buffer.isEmpty())
            buffer[buffer.size() - 1] = buffer[buffer.size() - 1] == '1' ? '2' : '1';
        changed.Text(doc.constData(), doc.size());
        if (name.isNull())
            changed.Null();
        else
            changed.Text(buffer.constData(), buffer.size());
        written.push_back(name.isNull() ? QString() : QString::fromUtf8(buffer));
    }
    ASSERT_FALSE(told.WideTextFields().empty());
    const QByteArray bytes = plain.Finish();
    EXPECT_EQ(told.Finish(), bytes);
    const TDataPacket back = TDataPacket::Decode(changed.Finish());
    ASSERT_EQ(back.Rows.size(), written.size());
    for (size_t r = 0; r < written.size(); ++r) {
        ASSERT_EQ(back.Rows[r][1].toString(), written[r]) << "row " << r;
        ASSERT_EQ(back.Rows[r][1].isNull(), written[r].isNull()) << "row " << r;
    }
    // The names still travel as references.
    EXPECT_LT(bytes.size(), 60000 * 12);

    // One column written now from a shared box, now from bytes: the value above is
    // the last one written, whichever way it came.
    const TCell beta = TCell::Text(QStringLiteral("Beta"));
    TRecord boxed(1);
    boxed.Cell(0) = beta;
    TPacketWriter mixed({fields[1]});
    const QByteArray alfa("Alfa");
    const QStringList expected = {QStringLiteral("Beta"), QStringLiteral("Alfa"), QStringLiteral("Beta"), QStringLiteral("Alfa"),
                                  QStringLiteral("Alfa"), QStringLiteral("Beta"), QStringLiteral("Beta"), QStringLiteral("Alfa")};
    for (const QString &text : expected) {
        if (text == QStringLiteral("Beta")) {
            mixed.AddRow(boxed);
        } else {
            mixed.BeginRow();
            mixed.Text(alfa.constData(), alfa.size());
        }
    }
    const TDataPacket mixedBack = TDataPacket::Decode(mixed.Finish());
    ASSERT_EQ(mixedBack.Rows.size(), static_cast<size_t>(expected.size()));
    for (qsizetype r = 0; r < expected.size(); ++r)
        EXPECT_EQ(mixedBack.Rows[static_cast<size_t>(r)][0].toString(), expected[r]) << "row " << r;
}

TEST(DataPacket, APacketFedInPiecesOfAnySizeDecodesAsOneGivenWhole)
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("NOME"), TFieldType::String, 30, false},
                {QStringLiteral("VALOR"), TFieldType::Float, 0, false},
                {QStringLiteral("QTD"), TFieldType::Integer, 0, false},
                {QStringLiteral("OBS"), TFieldType::String, 30, false}};
    for (int i = 0; i < 700; ++i)
        p.AddRow({QStringLiteral("Cliente %1").arg(i % 23), i % 9 == 0 ? QVariant() : QVariant(i * 1.25), qlonglong(i / 3),
                  i % 4 == 0 ? QVariant(QStringLiteral("Açaí %1").arg(i)) : QVariant()},
                 i % 50 == 1 ? TRowKind::Inserted : TRowKind::Unmodified);
    const QByteArray bytes = p.Encode();
    const TDataPacket whole = TDataPacket::Decode(bytes);
    for (const qsizetype piece : {1, 2, 3, 7, 64, 1000, 4096}) {
        TPacketDecoder decoder(bytes.size());
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            decoder.Feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        const TDataPacket got = decoder.Finish();
        ASSERT_EQ(got.Rows.size(), whole.Rows.size()) << "pieces of " << piece;
        EXPECT_EQ(got.Kinds, whole.Kinds);
        for (size_t r = 0; r < whole.Rows.size(); ++r)
            ASSERT_TRUE(got.Rows[r] == whole.Rows[r]) << "row " << r << ", pieces of " << piece;
        // Texts met again share their storage as in a packet decoded whole.
        EXPECT_EQ(got.Rows[23].Cell(0).Box(), got.Rows[0].Cell(0).Box());
    }
    // Short of its length it is refused at the end, past it at once.
    TPacketDecoder shortOne(bytes.size());
    shortOne.Feed(QByteArrayView(bytes).first(bytes.size() - 1));
    EXPECT_THROW(shortOne.Finish(), EPacketError);
    TPacketDecoder longOne(bytes.size());
    EXPECT_THROW(longOne.Feed(bytes + "x"), EPacketError);
    // A corrupt row is refused as soon as its bytes come.
    TDataPacket none;
    none.Fields = p.Fields;
    QByteArray bad = bytes;
    bad[none.Encode().size()] = '\x09'; // the first row's kind
    TPacketDecoder early(bad.size());
    EXPECT_THROW(early.Feed(QByteArrayView(bad).first(none.Encode().size() + 1)), EPacketError);
}

TEST(DataPacket, CorruptOrTruncatedPacketRaisesClearError)
{
    TDataPacket p = emissionPacket({{"REC11001", "MARIA", "S"}, {"REC11001", "ADMIN", "N"}});
    const QByteArray good = p.Encode();
    // Every truncation is refused.
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_THROW(TDataPacket::Decode(good.left(n)), EPacketError) << "length " << n;
    // Flipped bytes either decode to some packet or raise EPacketError; never anything else.
    QRandomGenerator rng(1234);
    for (int i = 0; i < 2000; ++i) {
        QByteArray bad = good;
        const int flips = 1 + rng.bounded(4);
        for (int f = 0; f < flips; ++f)
            bad[rng.bounded(static_cast<int>(bad.size()))] = static_cast<char>(rng.bounded(256));
        try {
            TDataPacket::Decode(bad);
        } catch (const EPacketError &) {
        }
    }
    QByteArray huge = good;
    huge[10] = '\x7f'; // field count far beyond the data
    EXPECT_THROW(TDataPacket::Decode(huge), EPacketError);
    QByteArray version = good;
    version[5] = 9;
    try {
        TDataPacket::Decode(version);
        FAIL();
    } catch (const EPacketError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Versão")));
    }
    EXPECT_THROW(TDataPacket::Decode(good + QByteArray("x")), EPacketError);
    EXPECT_THROW(PacketFromVariant(QVariant(QStringLiteral("texto"))), EPacketError);
    TClientDataSet cds(QStringLiteral("cdsOpEmissao"));
    emissionSet(cds);
    EXPECT_THROW(cds.SetData(QVariant(QByteArray("RDPK\x00\x01"))), EPacketError);
    EXPECT_FALSE(cds.Active());
}

TEST(NamedParams, TranslationSkipsQuotesAndRepeatsNames)
{
    const TNamedStatement st = TranslateNamedParams(
        QStringLiteral("SELECT ':NAO', \"A:B\", X::text FROM T WHERE (INSTR(:LISTA, C) <> 0 OR :TODOS = 'T') AND D = :LISTA -- :COMENTARIO\n"));
    EXPECT_EQ(st.Names, (QStringList{QStringLiteral("LISTA"), QStringLiteral("TODOS"), QStringLiteral("LISTA")}));
    EXPECT_TRUE(st.Sql.contains(QStringLiteral("':NAO'")));
    EXPECT_TRUE(st.Sql.contains(QStringLiteral("X::text")));
    EXPECT_TRUE(st.Sql.contains(QStringLiteral("(INSTR(?, C) <> 0 OR ? = 'T') AND D = ?")));
}

class QueryOnDatabase : public ::testing::TestWithParam<TBackend> {
protected:
    void SetUp() override
    {
        if (GetParam() == TBackend::PostgreSQL && !PostgresAvailable())
            GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
        m_db = std::make_unique<TTestDatabase>(GetParam(), 50);
        m_module = std::make_unique<TdtmDBGeral>();
        m_module->Open(m_db->Target());
    }
    std::unique_ptr<TTestDatabase> m_db;
    std::unique_ptr<TdtmDBGeral> m_module;
};

TEST_P(QueryOnDatabase, ListTestOfTheLookupStatements)
{
    TADOIBQuery q(QStringLiteral("qryEmpresa"));
    q.Connection = m_module.get();
    q.SQL = {QStringLiteral("SELECT CDEMPRESA, NMEMPRESA, CDEMPRESA || ' ' || NMEMPRESA as NOME"), QStringLiteral("FROM EMPRESA"),
             QStringLiteral("WHERE (INSTR(:CODEMPRESA, CDEMPRESA)<>0 OR :TCODEMPRESA = 'T')"), QStringLiteral("ORDER BY CDEMPRESA")};
    q.SQL_MSSQL = {QStringLiteral("this text is for another database and must not run")};
    q.Query().AddField(QStringLiteral("CDEMPRESA"), TFieldType::String, 2).Required = true;
    q.Query().AddField(QStringLiteral("NMEMPRESA"), TFieldType::String, 40);
    q.Query().AddField(QStringLiteral("NOME"), TFieldType::String, 43).Visible = false;
    q.Params().CreateParam(TParamType::String, QStringLiteral("CODEMPRESA"));
    q.Params().CreateParam(TParamType::String, QStringLiteral("TCODEMPRESA"));

    auto codes = [&] {
        QStringList out;
        for (q.Query().First(); !q.Query().Eof(); q.Query().Next())
            out << q.FieldByName(QStringLiteral("CDEMPRESA")).AsString();
        return out;
    };
    // "T" lets every row through even with an empty list.
    q.ParamByName(QStringLiteral("CODEMPRESA")).SetAsString(QString());
    q.ParamByName(QStringLiteral("TCODEMPRESA")).SetAsString(QStringLiteral("T"));
    q.Open();
    EXPECT_EQ(codes().size(), 5);
    EXPECT_EQ(q.FieldByName(QStringLiteral("NOME")).Size, 43);
    // Empty flag and empty list: nothing.
    q.Close();
    q.ParamByName(QStringLiteral("TCODEMPRESA")).SetAsString(QString());
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
    // A cleared flag (null) behaves as "not all".
    q.Close();
    q.ParamByName(QStringLiteral("CODEMPRESA")).SetAsString(QStringLiteral("_01__03_"));
    q.ParamByName(QStringLiteral("TCODEMPRESA")).Clear();
    q.Open();
    EXPECT_EQ(codes(), (QStringList{QStringLiteral("01"), QStringLiteral("03")}));
    // The test is a substring test: a code passes wherever its text occurs.
    q.Close();
    q.ParamByName(QStringLiteral("CODEMPRESA")).SetAsString(QStringLiteral("x0204y"));
    q.Open();
    EXPECT_EQ(codes(), (QStringList{QStringLiteral("02"), QStringLiteral("04")}));
    // Quotes and SQL in a list are only text.
    q.Close();
    q.ParamByName(QStringLiteral("CODEMPRESA")).SetAsString(QStringLiteral("'); DROP TABLE EMPRESA; --_05_"));
    q.Open();
    EXPECT_EQ(codes(), (QStringList{QStringLiteral("05")}));
    q.Close();
    q.ParamByName(QStringLiteral("TCODEMPRESA")).SetAsString(QStringLiteral("T"));
    q.Open();
    EXPECT_EQ(q.Query().RecordCount(), 5);
}

TEST_P(QueryOnDatabase, NullAndEmptyTextStayDistinct)
{
    TADOIBQuery q(QStringLiteral("qryTeste"));
    q.Connection = m_module.get();
    q.SQL = {QStringLiteral("SELECT CASE WHEN :P IS NULL THEN 'nulo' WHEN :P = '' THEN 'vazio' ELSE 'texto' END AS R FROM EMPRESA WHERE CDEMPRESA = '01'")};
    q.Query().AddField(QStringLiteral("R"), TFieldType::String, 10);
    TParam &p = q.Params().CreateParam(TParamType::String, QStringLiteral("P"));
    auto run = [&] {
        q.Close();
        q.Open();
        return q.FieldByName(QStringLiteral("R")).AsString();
    };
    p.Clear();
    EXPECT_EQ(run(), QStringLiteral("nulo"));
    p.SetAsString(QString());
    EXPECT_EQ(run(), QStringLiteral("vazio"));
    p.SetAsString(QStringLiteral(" "));
    EXPECT_EQ(run(), QStringLiteral("texto"));
}

TEST_P(QueryOnDatabase, MissingFieldsParamsAndBadStatementsGiveClearErrors)
{
    TADOIBQuery q(QStringLiteral("qryFilial"));
    q.Connection = m_module.get();
    q.SQL = {QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE (:P_TODOS = 'T')")};
    q.Query().AddField(QStringLiteral("CDFILIAL"), TFieldType::String, 4);
    q.Query().AddField(QStringLiteral("NMFILIAL"), TFieldType::String, 30);
    q.Params().CreateParam(TParamType::String, QStringLiteral("P_TODOS")).SetAsString(QStringLiteral("T"));
    try {
        q.Open();
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("NMFILIAL"))) << e.what();
    }
    EXPECT_FALSE(q.Active());
    q.SQL = {QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE (:P_OUTRO = 'T')")};
    try {
        q.Open();
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("P_OUTRO"))) << e.what();
    }
    q.SQL = {QStringLiteral("SELECT FROM NADA WHERE")};
    EXPECT_THROW(q.Open(), EDatabaseError);
    // The four texts are kept and replaced by index.
    q.SetSQL(3, {QStringLiteral("SELECT 1 FROM RDB$DATABASE")});
    EXPECT_EQ(q.GetSQL(3).first(), QStringLiteral("SELECT 1 FROM RDB$DATABASE"));
    EXPECT_THROW(q.SetSQL(4, {}), EDatabaseError);
}

namespace {
// Runs a statement and writes its rows into a packet by the given path.
QByteArray fetchPacket(const QSqlDatabase &db, const QString &sql, const std::vector<TPacketField> &shape, TFetchPath path, TFetchCount &count,
                       const TRecord &trailing = {})
{
    QSqlQuery q = RunStatement(db, sql, {}, QStringLiteral("teste"));
    TPacketWriter w(shape);
    count = FetchIntoPacket(q, w, QStringLiteral("teste"), trailing, {}, path);
    return w.Finish();
}
} // namespace

TEST_P(QueryOnDatabase, DirectFetchWritesTheSameBytesAsTheDriversValues)
{
    const bool pg = GetParam() == TBackend::PostgreSQL;
    const QSqlDatabase db = m_module->Database();
    auto run = [&](const QString &sql) {
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
    };
    run(QStringLiteral("CREATE TABLE FETCHTESTE (NR INTEGER NOT NULL, TX VARCHAR(100), CH VARCHAR(10), VR DOUBLE PRECISION, NRTX VARCHAR(40), "
                       "DT DATE, DTX VARCHAR(40), QT BIGINT, BO BOOLEAN, DX VARCHAR(20))"));
    // Awkward rows: NULLs everywhere, non-ASCII texts (4-byte characters count twice
    // against a size), texts over the field size, numbers and dates as text.
    const QString t = pg ? QStringLiteral("TRUE") : QStringLiteral("1"), f = pg ? QStringLiteral("FALSE") : QStringLiteral("0");
    const QStringList rows = {
        QStringLiteral("1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL"),
        QStringLiteral("2, '', '', 0, '12.5', '2025-01-31', '2025-02-28', 0, %1, ''").arg(f),
        QStringLiteral("3, 'ação', 'ç', -1234.5678, ' 7 ', '2024-02-29', '2024-02-29T13:45:00', -42, %1, 'ação'").arg(t),
        QStringLiteral("4, '𝄞𝄞𝄞𝄞', 'abcdef', 1e300, '-3', '1999-12-31', '  2026-07-04 ', 9007199254740993, %1, 'x'").arg(t),
        QStringLiteral("5, 'a𝄞𝄞𝄞𝄞', 'ab', 0.1, '1e3', '2025-01-31', '2025-02-28', 7, %1, 'x'").arg(f),
        QStringLiteral("6, 'texto bem mais longo que oito', 'abc', 5, '0', '2025-01-31', NULL, 1, NULL, 'x'"),
        QStringLiteral("7, 'ação', 'ç', -0.0, '12.5', NULL, '2025-02-28', NULL, %1, 'ação'").arg(t),
        // Days as text across the calendar: the first and last years, and the days
        // around century years that are leap years and that are not.
        QStringLiteral("20, 'a', 'b', 1, '1', '2025-01-31', '0001-01-01', 1, NULL, 'x'"),
        QStringLiteral("21, 'a', 'b', 1, '1', '2025-01-31', '1600-02-29', 1, NULL, 'x'"),
        QStringLiteral("22, 'a', 'b', 1, '1', '2025-01-31', '1900-03-01', 1, NULL, 'x'"),
        QStringLiteral("23, 'a', 'b', 1, '1', '2025-01-31', '9999-12-31', 1, NULL, 'x'"),
        QStringLiteral("24, 'a', 'b', 1, '1', '2025-01-31', '2000-02-29', 1, NULL, 'x'"),
        QStringLiteral("25, 'a', 'b', 1, '1', '2025-01-31', '2100-03-01', 1, NULL, 'x'"),
        QStringLiteral("26, 'a', 'b', 1, '1', '2025-01-31', '1899-12-29', 1, NULL, 'x'"),
    };
    for (const QString &r : rows)
        run(QStringLiteral("INSERT INTO FETCHTESTE VALUES (%1)").arg(r));
    if (!pg) // only SQLite keeps text that is not valid UTF-8
        run(QStringLiteral("INSERT INTO FETCHTESTE VALUES (8, CAST(X'61FF62' AS TEXT), CAST(X'EDA080' AS TEXT), NULL, '4.5', '2025-05-05', '2025-05-05', 2.5, 3, "
                           "CAST(X'C0AF' AS TEXT))"));
    // Many rows: repeated and distinct texts, the distinct ones past the texts a column remembers.
    run(QStringLiteral("WITH RECURSIVE S(N) AS (SELECT 100 UNION ALL SELECT N + 1 FROM S WHERE N < 70100) "
                       "INSERT INTO FETCHTESTE SELECT N, CASE WHEN N % 3 = 0 THEN NULL ELSE 'c' || (N % 50) END, 'k' || (N % 4), "
                       "CASE WHEN N % 7 = 0 THEN NULL ELSE N * 1.25 END, CAST(N % 9 AS VARCHAR(10)), %1, NULL, N % 11, %2, 'd' || N FROM S")
            .arg(pg ? QStringLiteral("DATE '2025-01-31' + (N % 400)") : QStringLiteral("date('2025-01-31', '+' || (N % 400) || ' days')"),
                 pg ? QStringLiteral("N % 2 = 0") : QStringLiteral("N % 2")));

    auto S = [](const char *n, int size) { return TPacketField{QString::fromLatin1(n), TFieldType::String, size, false}; };
    auto T = [](const char *n, TFieldType type) { return TPacketField{QString::fromLatin1(n), type, 0, false}; };
    const std::vector<TPacketField> shape = {
        T("NR", TFieldType::Integer),   S("TX", 8),  {QStringLiteral("CH"), TFieldType::FixedChar, 3, false}, T("VR", TFieldType::Float),
        T("NRTX", TFieldType::Float),   T("DT", TFieldType::DateTime), T("DTX", TFieldType::DateTime),       T("QT", TFieldType::Integer),
        T("QTF", TFieldType::Float),    T("QTB", TFieldType::Boolean), S("QTS", 0),                         T("BO", TFieldType::Boolean),
        S("DX", 20),                    S("VRS", 0), S("FIXO", 5)};
    const QString select = QStringLiteral("SELECT NR, TX, CH, VR, NRTX, DT, DTX, QT, QT AS QTF, QT AS QTB, QT AS QTS, BO, DX, VR AS VRS FROM FETCHTESTE ");
    const TRecord trailing = {QStringLiteral("fixo")};
    TFetchCount direct, variants;
    for (const QString &where : {QString(), QStringLiteral("WHERE NR < 10"), QStringLiteral("WHERE NR = 3"), QStringLiteral("WHERE NR < 0")}) {
        SCOPED_TRACE(where.toStdString());
        const QString sql = select + where + QStringLiteral(" ORDER BY NR");
        const QByteArray a = fetchPacket(db, sql, shape, TFetchPath::Direct, direct, trailing);
        const QByteArray b = fetchPacket(db, sql, shape, TFetchPath::Variants, variants, trailing);
        EXPECT_EQ(direct.Rows, variants.Rows);
        EXPECT_EQ(variants.Direct, 0u);
        // The driver gives the first row; every other one comes straight from the database.
        EXPECT_EQ(direct.Direct, direct.Rows == 0 ? 0u : direct.Rows - 1);
        ASSERT_EQ(a.size(), b.size());
        EXPECT_TRUE(a == b) << "the two paths wrote different packets";
    }
    // The whole table: the values arrive in their fields' forms.
    const QByteArray all = fetchPacket(db, select + QStringLiteral("ORDER BY NR"), shape, TFetchPath::Direct, direct, trailing);
    EXPECT_EQ(direct.Rows, pg ? 70015u : 70016u);
    const TDataPacket p = TDataPacket::Decode(all);
    auto cell = [&](int row, const char *name) { return p.Rows[row][p.FieldIndex(QString::fromLatin1(name))]; };
    EXPECT_FALSE(cell(0, "TX").isValid());
    EXPECT_EQ(cell(1, "TX").toString(), QString());
    EXPECT_TRUE(cell(1, "TX").isValid());
    EXPECT_EQ(cell(2, "TX").toString(), QStringLiteral("ação"));
    EXPECT_EQ(cell(3, "TX").toString(), QStringLiteral("𝄞𝄞𝄞𝄞"));
    EXPECT_EQ(cell(5, "TX").toString(), QStringLiteral("texto be"));
    EXPECT_EQ(cell(3, "CH").toString(), QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(cell(1, "NRTX").toDouble(), 12.5);
    EXPECT_DOUBLE_EQ(cell(2, "NRTX").toDouble(), 7);
    EXPECT_DOUBLE_EQ(cell(2, "VR").toDouble(), -1234.5678);
    EXPECT_DOUBLE_EQ(cell(1, "DT").toDouble(), DateToDateTime(QDate(2025, 1, 31)));
    EXPECT_DOUBLE_EQ(cell(1, "DTX").toDouble(), DateToDateTime(QDate(2025, 2, 28)));
    EXPECT_EQ(cell(3, "QT").toLongLong(), 9007199254740993LL);
    EXPECT_EQ(cell(2, "QTS").toString(), QStringLiteral("-42"));
    EXPECT_TRUE(cell(2, "BO").toBool());
    EXPECT_FALSE(cell(1, "BO").toBool());
    EXPECT_EQ(cell(20, "DX").toString(), QStringLiteral("d%1").arg(cell(20, "NR").toLongLong()));
    EXPECT_EQ(cell(70000, "FIXO").toString(), QStringLiteral("fixo"));
    const int days = pg ? 7 : 8;
    EXPECT_DOUBLE_EQ(cell(days, "DTX").toDouble(), DateToDateTime(QDate(1, 1, 1)));
    EXPECT_DOUBLE_EQ(cell(days + 1, "DTX").toDouble(), DateToDateTime(QDate(1600, 2, 29)));
    EXPECT_DOUBLE_EQ(cell(days + 2, "DTX").toDouble(), DateToDateTime(QDate(1900, 3, 1)));
    EXPECT_DOUBLE_EQ(cell(days + 3, "DTX").toDouble(), DateToDateTime(QDate(9999, 12, 31)));
    EXPECT_DOUBLE_EQ(cell(days + 6, "DTX").toDouble(), -1);
}

TEST_P(QueryOnDatabase, RunningSumIsTheDatabasesOwnWindowSumToTheLastBit)
{
    const QSqlDatabase db = m_module->Database();
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE SOMATESTE (K VARCHAR(10), V DOUBLE PRECISION, N INTEGER NOT NULL)"))) << q.lastError().text().toStdString();
    // Keys that look alike, a null key, values of every size with their cents, nulls
    // (which PostgreSQL puts first in a descending order) and ties broken by N.
    const QStringList keys = {QString(), QStringLiteral(""), QStringLiteral("01"), QStringLiteral("1"), QStringLiteral("011"), QStringLiteral("ação")};
    QRandomGenerator random(27);
    ASSERT_TRUE(QSqlDatabase(db).transaction());
    QSqlQuery insert(db);
    ASSERT_TRUE(insert.prepare(QStringLiteral("INSERT INTO SOMATESTE VALUES (?, ?, ?)")));
    for (int n = 0; n < 3000; ++n) {
        const QString &key = keys[static_cast<int>(random.bounded(static_cast<quint32>(keys.size())))];
        insert.bindValue(0, key.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(key));
        const double scale = std::pow(10.0, static_cast<double>(random.bounded(-2, 12)));
        const double value = std::round(random.generateDouble() * scale * 100.0) / 100.0 * (random.bounded(5) == 0 ? -1 : 1);
        insert.bindValue(1, random.bounded(13) == 0 ? QVariant(QMetaType::fromType<double>()) : QVariant(n % 97 == 0 ? 125.25 : value));
        insert.bindValue(2, n);
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
    }
    ASSERT_TRUE(QSqlDatabase(db).commit());
    const QString sql = QStringLiteral("SELECT K, V AS S, N, SUM(V) OVER (PARTITION BY K ORDER BY V DESC, N ROWS UNBOUNDED PRECEDING) AS W "
                                       "FROM SOMATESTE ORDER BY K, V DESC, N");
    const std::vector<TPacketField> shape = {{QStringLiteral("K"), TFieldType::String, 10, false},
                                             {QStringLiteral("S"), TFieldType::Float, 0, false},
                                             {QStringLiteral("N"), TFieldType::Integer, 0, false},
                                             {QStringLiteral("W"), TFieldType::Float, 0, false}};
    for (TFetchPath path : {TFetchPath::Direct, TFetchPath::Variants}) {
        SCOPED_TRACE(path == TFetchPath::Direct ? "direct" : "variants");
        QSqlQuery rows = RunStatement(db, sql, {}, QStringLiteral("teste"));
        TPacketWriter w(shape);
        TRunningSum running{QStringLiteral("s"), QStringLiteral("K")};
        std::vector<int> restarts;
        FetchIntoPacket(rows, w, QStringLiteral("teste"), {}, [&] {
            if (running.Restarted)
                restarts.push_back(static_cast<int>(w.RowCount()) - 1);
        }, path, {&running, {}});
        const TDataPacket p = TDataPacket::Decode(w.Finish());
        ASSERT_EQ(p.Rows.size(), 3000u);
        std::vector<int> changes;
        int different = 0;
        for (int r = 0; r < 3000; ++r) {
            const QVariant sum = p.Rows[r][1], window = p.Rows[r][3];
            ASSERT_EQ(sum.isValid(), window.isValid()) << "row " << r;
            if (sum.isValid() && std::bit_cast<quint64>(sum.toDouble()) != std::bit_cast<quint64>(window.toDouble()))
                ++different;
            if (r == 0 || p.Rows[r][0].isValid() != p.Rows[r - 1][0].isValid() || p.Rows[r][0].toString() != p.Rows[r - 1][0].toString())
                changes.push_back(r);
        }
        EXPECT_EQ(different, 0) << "rows whose running sum is not the database's to the bit";
        EXPECT_EQ(restarts, changes);
        EXPECT_EQ(restarts.size(), static_cast<size_t>(keys.size()));
    }
    // A sum over a field the statement does not give is refused, naming it.
    QSqlQuery rows = RunStatement(db, sql, {}, QStringLiteral("teste"));
    TPacketWriter w(shape);
    TRunningSum wrong{QStringLiteral("TOTAL"), QStringLiteral("K")};
    try {
        FetchIntoPacket(rows, w, QStringLiteral("teste"), {}, {}, TFetchPath::Direct, {&wrong, {}});
        FAIL() << "a missing field was taken";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("TOTAL"))) << e.what();
    }
}

TEST_P(QueryOnDatabase, DerivedFieldsWriteTheBytesOfTheDatabasesOwnExpressions)
{
    const bool pg = GetParam() == TBackend::PostgreSQL;
    const QSqlDatabase db = m_module->Database();
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE FEITOS (N INTEGER NOT NULL, A VARCHAR(10), B VARCHAR(10), D DATE)"))) << q.lastError().text().toStdString();
    // Nulls and empty texts on either side, accents, a join longer than its field
    // (shortened the same way either way), and days on both sides of today.
    const QStringList texts = {QString(), QStringLiteral(""), QStringLiteral("1"), QStringLiteral("ação"), QStringLiteral("0123456789"), QStringLiteral("é/ü")};
    QRandomGenerator random(11);
    const QDate today(2026, 12, 9);
    ASSERT_TRUE(QSqlDatabase(db).transaction());
    QSqlQuery insert(db);
    ASSERT_TRUE(insert.prepare(QStringLiteral("INSERT INTO FEITOS VALUES (?, ?, ?, ?)")));
    const auto text = [](const QString &t) { return t.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(t); };
    for (int n = 0; n < 400; ++n) {
        insert.bindValue(0, n);
        insert.bindValue(1, text(texts[static_cast<int>(random.bounded(static_cast<quint32>(texts.size())))]));
        insert.bindValue(2, text(texts[static_cast<int>(random.bounded(static_cast<quint32>(texts.size())))]));
        insert.bindValue(3, n % 17 == 0 ? QVariant(QMetaType::fromType<QString>()) : QVariant(today.addDays(random.bounded(-4000, 400)).toString(Qt::ISODate)));
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
    }
    ASSERT_TRUE(QSqlDatabase(db).commit());
    const std::vector<TPacketField> shape = {{QStringLiteral("N"), TFieldType::Integer, 0, false},   {QStringLiteral("A"), TFieldType::String, 10, false},
                                             {QStringLiteral("COPIA"), TFieldType::String, 10, false}, {QStringLiteral("BARRA"), TFieldType::String, 12, false},
                                             {QStringLiteral("ESPACO"), TFieldType::String, 30, false}, {QStringLiteral("DIAS"), TFieldType::Float, 0, false}};
    const QString days = pg ? QStringLiteral("CAST(CAST('2026-12-09' AS date) - D AS double precision)") : QStringLiteral("JULIANDAY('2026-12-09') - JULIANDAY(D)");
    const QString byDatabase = QStringLiteral("SELECT N, A, A AS COPIA, A || COALESCE('/' || B, '') AS BARRA, A || ' ' || COALESCE(B, '') AS ESPACO, %1 AS DIAS "
                                              "FROM FEITOS ORDER BY N").arg(days);
    const TComputedFields made{nullptr,
                               {TDerivedField::Same(QStringLiteral("copia"), QStringLiteral("a")),
                                TDerivedField::Joined(QStringLiteral("BARRA"), QStringLiteral("A"), QStringLiteral("/"), QStringLiteral("B"), false),
                                TDerivedField::Joined(QStringLiteral("ESPACO"), QStringLiteral("A"), QStringLiteral(" "), QStringLiteral("B"), true),
                                TDerivedField::DaysTo(QStringLiteral("DIAS"), QStringLiteral("D"), today)}};
    const auto packet = [&](const QString &sql, TFetchPath path, const TComputedFields &computed) {
        QSqlQuery rows = RunStatement(db, sql, {}, QStringLiteral("teste"));
        TPacketWriter w(shape);
        FetchIntoPacket(rows, w, QStringLiteral("teste"), {}, {}, path, computed);
        return w.Finish();
    };
    const QByteArray expected = packet(byDatabase, TFetchPath::Variants, {});
    const TDataPacket decoded = TDataPacket::Decode(expected);
    ASSERT_EQ(decoded.Rows.size(), 400u);
    int nulls = 0, cut = 0;
    for (const TRecord &row : decoded.Rows) {
        nulls += !row[3].isValid();
        cut += row[3].toString().size() == 12;
    }
    EXPECT_GT(nulls, 0);
    EXPECT_GT(cut, 0);
    for (TFetchPath path : {TFetchPath::Direct, TFetchPath::Variants}) {
        SCOPED_TRACE(path == TFetchPath::Direct ? "direct" : "variants");
        EXPECT_EQ(packet(QStringLiteral("SELECT D, B, N, A FROM FEITOS ORDER BY N"), path, made), expected);
    }
    // A source the statement does not give is refused, naming it and the field.
    try {
        packet(QStringLiteral("SELECT N, A, D FROM FEITOS"), TFetchPath::Direct, made);
        FAIL() << "a missing source was taken";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'B'")) && e.Message().contains(QStringLiteral("BARRA"))) << e.what();
    }
}

TEST_P(QueryOnDatabase, LookedUpFieldsWriteTheBytesOfALeftJoin)
{
    const QSqlDatabase db = m_module->Database();
    QSqlQuery q(db);
    for (const char *sql : {"CREATE TABLE ITENS (N INTEGER NOT NULL, K VARCHAR(4), M INTEGER)", "CREATE TABLE AUXTEXTO (K VARCHAR(4) PRIMARY KEY, NOME VARCHAR(40), V NUMERIC(10,2))",
                            "CREATE TABLE AUXNUM (M INTEGER PRIMARY KEY, ROTULO VARCHAR(10))"})
        ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql << ": " << q.lastError().text().toStdString();
    // Names null, empty, accented and longer than their field (cut either way); keys null,
    // missing from the table, and numbers.
    for (const char *sql : {"INSERT INTO AUXTEXTO VALUES ('01', 'Matriz', 1.5), ('02', NULL, NULL), ('03', '', 0), ('04', 'Filial São João', 2), "
                            "('05', 'Um nome longo demais para o campo', -3.25)",
                            "INSERT INTO AUXNUM VALUES (1, 'um'), (2, 'dois'), (30, 'trinta')"})
        ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql << ": " << q.lastError().text().toStdString();
    const QStringList keys = {QString(), QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("04"), QStringLiteral("05"),
                              QStringLiteral("99"), QStringLiteral("1")};
    ASSERT_TRUE(QSqlDatabase(db).transaction());
    QSqlQuery insert(db);
    ASSERT_TRUE(insert.prepare(QStringLiteral("INSERT INTO ITENS VALUES (?, ?, ?)")));
    for (int n = 0; n < 300; ++n) {
        insert.bindValue(0, n);
        // Runs of the same key, as sorted rows give them, and changes on every row.
        const QString key = keys[(n < 150 ? n / 7 : n) % keys.size()];
        insert.bindValue(1, key.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(key));
        insert.bindValue(2, n % 5 == 0 ? QVariant(QMetaType::fromType<int>()) : QVariant(n % 4 == 3 ? 30 : n % 4));
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
    }
    ASSERT_TRUE(QSqlDatabase(db).commit());
    const std::vector<TPacketField> shape = {{QStringLiteral("N"), TFieldType::Integer, 0, false},
                                             {QStringLiteral("NOME"), TFieldType::String, 12, false},
                                             {QStringLiteral("V"), TFieldType::Float, 0, false},
                                             {QStringLiteral("ROTULO"), TFieldType::String, 10, false}};
    const auto packet = [&](const QString &sql, TFetchPath path, const TComputedFields &computed) {
        QSqlQuery rows = RunStatement(db, sql, {}, QStringLiteral("teste"));
        TPacketWriter w(shape);
        FetchIntoPacket(rows, w, QStringLiteral("teste"), {}, {}, path, computed);
        return w.Finish();
    };
    const QByteArray expected = packet(QStringLiteral("SELECT I.N, A.NOME, A.V, X.ROTULO FROM ITENS I LEFT JOIN AUXTEXTO A ON A.K = I.K "
                                                      "LEFT JOIN AUXNUM X ON X.M = I.M ORDER BY I.N"),
                                       TFetchPath::Variants, {});
    const TDataPacket decoded = TDataPacket::Decode(expected);
    ASSERT_EQ(decoded.Rows.size(), 300u);
    const auto table = [&](const char *sql) {
        QSqlQuery t = RunStatement(db, QLatin1String(sql), {}, QStringLiteral("teste"));
        return TLookupTable::Read(t, QStringLiteral("teste"));
    };
    const std::shared_ptr<const TLookupTable> texts = table("SELECT K, NOME, V FROM AUXTEXTO"), numbers = table("SELECT M, ROTULO FROM AUXNUM");
    EXPECT_EQ(texts->RowCount(), 5u);
    const TComputedFields looked{nullptr,
                                 {TDerivedField::LookedUp(QStringLiteral("NOME"), QStringLiteral("K"), texts),
                                  TDerivedField::LookedUp(QStringLiteral("v"), QStringLiteral("k"), texts),
                                  TDerivedField::LookedUp(QStringLiteral("ROTULO"), QStringLiteral("M"), numbers)}};
    for (TFetchPath path : {TFetchPath::Direct, TFetchPath::Variants}) {
        SCOPED_TRACE(path == TFetchPath::Direct ? "direct" : "variants");
        EXPECT_EQ(packet(QStringLiteral("SELECT M, K, N FROM ITENS ORDER BY N"), path, looked), expected);
    }
    // A key in two rows, and a field the table does not have, are refused, naming them.
    try {
        table("SELECT K, NOME FROM AUXTEXTO UNION ALL SELECT '04', 'outra'");
        FAIL() << "a repeated key was taken";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'04'"))) << e.what();
    }
    try {
        packet(QStringLiteral("SELECT M, K, N FROM ITENS"), TFetchPath::Direct,
               {nullptr,
                {TDerivedField::LookedUp(QStringLiteral("NOME"), QStringLiteral("K"), numbers), TDerivedField::LookedUp(QStringLiteral("V"), QStringLiteral("K"), texts),
                 TDerivedField::LookedUp(QStringLiteral("ROTULO"), QStringLiteral("M"), numbers)}});
        FAIL() << "a field missing from the table was taken";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("NOME"))) << e.what();
    }
}

TEST_P(QueryOnDatabase, SettingsHoldForTheirScopeAndTheConnectionGetsItsOwnBack)
{
    const bool pg = GetParam() == TBackend::PostgreSQL;
    const TDBKind kind = pg ? TDBKind::PostgreSQL : TDBKind::SQLite;
    const QSqlDatabase db = m_module->Database();
    const auto value = [&](const char *name) {
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(pg ? QStringLiteral("SHOW %1").arg(QLatin1String(name)) : QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) && q.next()) << name;
        return q.value(0).toString();
    };
    // The connection's own values, not the defaults, come back.
    const TSetting memory = pg ? TSetting{"work_mem", QStringLiteral("5MB")} : TSetting{"cache_size", QStringLiteral("-1234")};
    const TSetting other = pg ? TSetting{"parallel_tuple_cost", QStringLiteral("0.05")} : TSetting{"threads", QStringLiteral("1")};
    QSqlQuery own(db);
    ASSERT_TRUE(own.exec(SettingStatement(kind, memory))) << own.lastError().text().toStdString();
    const QString ownMemory = value(memory.Name), ownOther = value(other.Name);
    const TSetting big = pg ? TSetting{"work_mem", QStringLiteral("128MB")} : TSetting{"cache_size", QStringLiteral("-65536")};
    {
        const TSettingsWhile room(db, kind, {big, {"no_such_setting", QStringLiteral("5")}, other});
        EXPECT_EQ(value(big.Name), pg ? QStringLiteral("128MB") : QStringLiteral("-65536"));
        EXPECT_EQ(value(other.Name), other.Value);
    }
    EXPECT_EQ(value(memory.Name), ownMemory);
    EXPECT_EQ(value(other.Name), ownOther);
    // Left by an exception, the scope puts them back all the same.
    try {
        const TSettingsWhile room(db, kind, {big});
        EXPECT_NE(value(big.Name), ownMemory);
        throw EDatabaseError(QStringLiteral("falha no meio"));
    } catch (const EDatabaseError &) {
    }
    EXPECT_EQ(value(memory.Name), ownMemory);
    // A value that would not stay a value is not written into a pragma.
    EXPECT_TRUE(SettingStatement(TDBKind::SQLite, {"cache_size", QStringLiteral("1; DROP TABLE EMPRESA")}).isEmpty());
    EXPECT_EQ(SettingStatement(TDBKind::PostgreSQL, {"application_name", QStringLiteral("a'b")}), QStringLiteral("SET application_name = 'a''b'"));
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryOnDatabase, ::testing::Values(TBackend::SQLite, TBackend::PostgreSQL),
                         [](const auto &info) { return BackendName(info.param).toStdString(); });

TEST(DataModule, BadTargetsGiveClearErrors)
{
    TdtmDBGeral db;
    try {
        db.Open(QStringLiteral("/nao/existe/banco.db"));
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não existe")));
    }
    try {
        db.Open(QStringLiteral("postgresql://"));
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("inválido")));
    }
    try {
        db.Open(QStringLiteral("postgresql://usuario@127.0.0.1:1/banco"));
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Não foi possível abrir")));
    }
    const QString junk = QDir::tempPath() + QStringLiteral("/rec-not-a-db.db");
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    try {
        db.Open(junk);
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não é um banco de dados válido"))) << e.what();
    }
    QFile::remove(junk);
    EXPECT_FALSE(db.Connected());
    EXPECT_THROW(db.Database(), EDatabaseError);
}
