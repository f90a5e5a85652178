#pragma once
#include "data/DataSet.h"
#include <QByteArray>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Kind of each row in a packet; a delta carries the kind of every change.
enum class TRowKind : quint8 { Unmodified = 0, Inserted = 1, Modified = 2, Deleted = 3, Original = 4 };

struct TPacketField {
    QString Name;
    TFieldType Type = TFieldType::String;
    int Size = 0;
    bool Required = false;
};

// The serialised form of a data set: field definitions, rows and row kinds.
// Version 2 carries a value repeated from the row before, or met before in the
// same text column, as a short reference; version 1 packets still decode.
struct TDataPacket {
    static constexpr quint16 kVersion = 2;
    // The row count of a packet sent while it was written: the rows are counted at the end.
    static constexpr quint32 kRowsAtEnd = 0xffffffffu;

    std::vector<TPacketField> Fields;
    std::vector<TRecord> Rows;
    std::vector<TRowKind> Kinds;

    int FieldIndex(const QString &name) const;
    void AddRow(TRecord row, TRowKind kind = TRowKind::Unmodified);

    QByteArray Encode() const;
    // Raises EPacketError for anything that is not a whole, well-formed packet,
    // for more than maxRows rows, and for rows that would take memory out of
    // proportion to the bytes given.
    static TDataPacket Decode(const QByteArray &bytes, quint32 maxRows = 0xffffffffu);
    static bool LooksLikePacket(const QByteArray &bytes);
    // The row count a packet announces, read from its header only; -1 when the
    // bytes are not a packet.
    static qint64 AnnouncedRows(const QByteArray &bytes);
    // Puts the row count into the header of a packet that counts its rows at the end;
    // raises EPacketError when the bytes are no such packet.
    static void AnnounceRows(QByteArray &bytes, quint32 rows);

    // Builds a packet from the fields and current rows of a data set.
    static TDataPacket FromDataSet(const TDataSet &ds);
};

namespace PacketDetail {
class Reader;
}

// Reads a packet as its bytes arrive, in pieces of any size: whole rows are
// decoded at once and only a part row is kept, so a large packet never has to
// be held whole beside its rows. Decode() is one Feed() and Finish().
class TPacketDecoder {
public:
    // totalBytes is the packet's whole length, known before its bytes come; kUnknownSize
    // reads a packet sent while it was written, whose rows are counted at the end.
    static constexpr qint64 kUnknownSize = -1;
    explicit TPacketDecoder(qint64 totalBytes, quint32 maxRows = 0xffffffffu);
    ~TPacketDecoder();
    TPacketDecoder(const TPacketDecoder &) = delete;
    TPacketDecoder &operator=(const TPacketDecoder &) = delete;
    // Raise EPacketError as Decode() does, as soon as the bytes show the fault.
    void Feed(QByteArrayView bytes);
    TDataPacket Finish();
    // The end of a packet of unknown size, whose sender counted `rows` rows.
    TDataPacket Finish(quint32 rows);

private:
    qsizetype Parse(QByteArrayView bytes, bool last);
    void ReadHeader(PacketDetail::Reader &r);
    void ReadRow(PacketDetail::Reader &r);
    bool Open() const { return m_total == kUnknownSize; }
    qint64 m_total;
    quint32 m_maxRows;
    qint64 m_fed = 0;      // bytes given so far
    qint64 m_consumed = 0; // bytes decoded so far
    QByteArray m_pending;  // a part row waiting for the rest
    bool m_header = false;
    quint16 m_version = 0;
    quint32 m_rows = 0;
    TDataPacket m_packet;
    std::vector<std::vector<TCell>> m_seen; // each text column's texts, by reference
    std::vector<quint32> m_newTexts;
};

// Writes a packet row by row, so that a large result never has to exist as
// records first. Encode() of the same rows gives the same bytes.
class TPacketWriter {
public:
    explicit TPacketWriter(std::vector<TPacketField> fields);
    ~TPacketWriter();
    TPacketWriter(const TPacketWriter &) = delete;
    TPacketWriter &operator=(const TPacketWriter &) = delete;
    const std::vector<TPacketField> &Fields() const { return m_fields; }
    // A row: BeginRow, then one Value per field in order.
    void BeginRow(TRowKind kind = TRowKind::Unmodified);
    void Value(const QVariant &value);
    // The same cells from raw values, already in the field's form: Value() of
    // the matching variant writes the same bytes. Text takes UTF-8 for a text
    // field; Number a float or date field; Integer and Boolean their own kind.
    void Null();
    void Text(const char *utf8, qsizetype size);
    void Number(double value);
    void Integer(qint64 value);
    void Boolean(bool value);
    // The value of the row above in the same field again (none when it had none).
    void Repeat();
    void AddRow(const TRecord &row, TRowKind kind = TRowKind::Unmodified);
    // The row that comes next, so that what finding its texts takes is loaded meanwhile.
    void Prefetch(const TRecord &next);
    // The text a field takes in the row begun, so that finding it among the texts met before
    // is loaded meanwhile; Text() of the same bytes then needs no hash of its own. Only a hint.
    void PrefetchText(size_t field, const char *utf8, qsizetype size);
    // The text fields whose tables of texts met before outgrew the caches.
    const std::vector<quint32> &WideTextFields() const { return m_wideTexts; }
    // For a caller whose rows all stay alive and unchanged until Finish: the writer then
    // holds no reference of its own to their texts, which it tells apart by their boxes.
    void RowsOutliveWriter() { m_rowsOutlive = true; }
    quint32 RowCount() const { return m_rows; }
    // The last value written in a field: null, its UTF-8 text, or its number.
    bool LastIsNull(size_t field) const;
    QByteArrayView LastText(size_t field) const;
    double LastNumber(size_t field) const;
    // The finished packet; the writer is empty afterwards. After pieces were sent, the last
    // piece goes to the sink and nothing is returned.
    QByteArray Finish();
    // Hands the bytes written to sink, at the start of a row, each time they pass pieceBytes,
    // so that a large packet leaves while it is written. Once a piece is sent the packet
    // counts its rows at the end (TDataPacket::kRowsAtEnd) and its sender tells the count.
    void SendInPieces(std::function<void(QByteArrayView)> sink, qsizetype pieceBytes);
    bool SentPieces() const { return m_piecesSent; }

private:
    struct Column;
    Column &NextColumn();
    // Each gives the reference a later reader knows the text by, or -1.
    qint64 TextOf(const QString &text);
    qint64 PutText(Column &col, const char *utf8, qsizetype size);
    void CellText(const TCell &cell);
    void Bits(Column &col, quint64 bits);
    char *Room(qsizetype n);
    char *Grow(qsizetype n);
    void Put(quint8 byte);
    void PutCount(quint32 v);
    std::vector<TPacketField> m_fields;
    std::vector<Column> m_columns;
    QByteArray m_out; // bytes up to m_used are written; m_at is its data
    char *m_at = nullptr;
    qsizetype m_used = 0;
    std::string m_utf8; // a text being written, as UTF-8
    qsizetype m_countAt = 0;
    quint32 m_rows = 0;
    size_t m_next = 0;
    void SendPiece();
    std::function<void(QByteArrayView)> m_sink;
    qsizetype m_pieceBytes = 0;
    bool m_piecesSent = false;
    bool m_rowsOutlive = false;
    std::vector<quint32> m_wideColumns; // columns whose boxes' table outgrew the caches
    std::vector<quint32> m_wideTexts;   // columns whose texts' table outgrew them
};

// A packet decoded as its bytes arrived, travelling in a variant in place of them.
struct TReceivedPacket {
    std::shared_ptr<TDataPacket> Packet;
    qint64 Bytes = 0; // the size it had on the wire
};
Q_DECLARE_METATYPE(TReceivedPacket)

// A packet travels inside a variant as its encoded bytes, or decoded on arrival;
// from a variant given over, a decoded packet's rows are taken, not copied.
QVariant PacketToVariant(const TDataPacket &packet);
TDataPacket PacketFromVariant(const QVariant &value);
TDataPacket PacketFromVariant(QVariant &&value);
