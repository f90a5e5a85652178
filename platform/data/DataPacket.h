#pragma once
#include "DataSet.h"
#include <QByteArray>
#include <QVariant>
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
struct TDataPacket {
    static constexpr quint16 kVersion = 1;

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

    // Builds a packet from the fields and current rows of a data set.
    static TDataPacket FromDataSet(const TDataSet &ds);
};

// A packet travels inside a variant as its encoded bytes.
QVariant PacketToVariant(const TDataPacket &packet);
TDataPacket PacketFromVariant(const QVariant &value);
