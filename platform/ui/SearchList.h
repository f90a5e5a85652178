#pragma once
#include "Query.h"
#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>

class QLineEdit;
class QTableWidget;
class QLabel;

// What one opening of the search list showed and gave back.
struct TSearchListRun {
    QString Title;
    QString KeyField;
    int Rows = 0;
    QStringList Marked;  // codes already marked when it opened
    bool Confirmed = false;
    QString Codes;       // the code list after it closed
};

// Answers for the search lists that open next, in order: the codes to mark
// and confirm, or a cancel. Batch runs and tests put them here.
class TSearchListScript {
public:
    static void PushCodes(const QStringList &codes);
    static void PushCancel();
    static void Clear();
    // Without a person to answer, a list with no scripted answer is cancelled.
    static void SetInteractive(bool interactive);
    // Sees every run, scripted or not.
    static void SetObserver(std::function<void(const TSearchListRun &)> observer);
};

// The multi-selection search list: the data source's visible fields with their
// display texts, a check mark per row, a filter box, mark all and unmark all.
class TSearchListDialog : public QDialog {
    Q_OBJECT
public:
    TSearchListDialog(TDataSet &data, const QString &keyField, const QString &title, const QString &codes, QWidget *parent = nullptr);
    // The marked keys in the data set's order, each as "_" + key + "_".
    QString Codes() const;
    QStringList MarkedKeys() const;
    void SetFilter(const QString &text);
    void MarkAll(bool marked);
    void SetMarked(const QString &key, bool marked);
    int VisibleRows() const;
    QLineEdit *FilterBox() const { return m_filter; }
    QTableWidget *Grid() const { return m_grid; }

protected:
    void keyPressEvent(QKeyEvent *e) override;

private:
    void UpdateCount();
    QStringList m_keys;
    QLineEdit *m_filter;
    QTableWidget *m_grid;
    QLabel *m_count;
};

// Opens the data source's data set when it is closed, shows the search list and,
// when the user confirms, replaces codes with the marked keys. Returns whether
// the user confirmed; a cancel leaves codes as they were.
bool PesquisaLista(TDataSource *source, const QString &keyField, const QString &title, bool flag, QString &codes);
