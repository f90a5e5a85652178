#pragma once
#include "lookup/Receivables.h"
#include <QDialog>
#include <QJsonObject>
#include <functional>

class QTableWidget;

// "Conta a Receber": one receivable's fields under their captions, its settlements with their
// total and the balance, and the client's other open receivables in the operator's companies
// (a double click or Enter on one opens it).
class TReceivableWindow : public QDialog {
    Q_OBJECT
public:
    TReceivableWindow(const TReceivable &receivable, const QVector<TReceivableLine> &others, QWidget *parent);

    // Opens another receivable by its number; set by whoever opened this one.
    std::function<void(qint64 number)> OpenReceivable;
    // What the window shows, for the batch log.
    QJsonObject Summary() const;

    QTableWidget *tblBaixas;
    QTableWidget *tblOutrasContas;

private:
    TReceivable m_receivable;
    QVector<TReceivableLine> m_others;
};

// The receivables a group header, a group footer or the grand total of a report sums, with
// their totals; a double click or Enter on one opens it.
class TReceivableListWindow : public QDialog {
    Q_OBJECT
public:
    TReceivableListWindow(const QString &caption, const QVector<TReceivableLine> &lines, QWidget *parent);

    std::function<void(qint64 number)> OpenReceivable;
    QJsonObject Summary() const;

    QTableWidget *tblContas;

private:
    QString m_caption;
    QVector<TReceivableLine> m_lines;
};
