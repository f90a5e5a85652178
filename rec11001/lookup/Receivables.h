#pragma once
#include <QDate>
#include <QObject>
#include <QString>
#include <QVector>
#include <optional>

class TADOIBQuery;
class TDataSet;

// A settlement of a receivable.
struct TSettlement {
    QString Number;
    QDate Date;
    double Value = 0;
    QString Form;    // "01 - Dinheiro"
    QString Account; // "003 - Conta movimento 3 (Banco do Brasil)"; empty when none was named
};

// A receivable as one line of a list: what it is, what was settled of it and what is left.
struct TReceivableLine {
    qint64 Number = 0;
    QString Company, Client, ClientName, Document, Status;
    QDate Due;
    double Value = 0;   // the updated value
    double Settled = 0; // the sum of its settlements
    // The updated value less the settlements, to the cent.
    double Balance() const;
};

// One field of a receivable under the caption a person reads.
struct TReceivableField {
    QString Column, Caption, Text;
};

// Everything about one receivable.
struct TReceivable {
    TReceivableLine Line;
    QVector<TReceivableField> Fields;
    QVector<TSettlement> Settlements;
};

// Reads receivables through the screen's queries, every value bound, and only in the companies
// the logged-in operator may see (OPEREMPRESA), as every other read of the screen.
class TReceivableReader : public QObject {
    Q_OBJECT
public:
    explicit TReceivableReader(QObject *parent);

    // The receivable of that number; none when it does not exist or is outside the operator's companies.
    std::optional<TReceivable> Read(qint64 number);
    // The receivables of these numbers, in the order given; numbers the operator may not see are left out.
    QVector<TReceivableLine> Lines(const QVector<qint64> &numbers);
    // The client's open receivables, but the one named.
    QVector<TReceivableLine> OpenOfClient(const QString &client, qint64 except);
    // The receivables a printed document stands for: company, client, document and due date.
    QVector<qint64> NumbersOfDocument(const QString &company, const QString &client, const QString &document, const QDate &due);

    // "A - Em aberto", as the status boxes name them.
    static QString StatusText(const QString &status);

private:
    QVector<TReceivableLine> ReadLines(TDataSet &rows);
    TADOIBQuery *qryContaReceber;
    TADOIBQuery *qryBaixaRec;
    TADOIBQuery *qryContasReceber;
    TADOIBQuery *qryContaDocumento;
};
