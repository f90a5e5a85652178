#pragma once
#include "data/Query.h"
#include "services/Session.h"
#include <QDialog>
#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>

class QLineEdit;
class QTableView;
class TSearchListModel;
class QLabel;

// The keys of a code list ("_01__03_" gives 01 and 03), in its order.
QStringList CodeListKeys(const QString &codes);

// Splits a pasted text into codes: one a line, or separated by spaces, tabs, commas or semicolons.
QStringList PastedCodes(const QString &text);

// What a pick gives back besides the code list: the name each marked key showed.
struct TSearchListPick {
    QString NameField;            // the column that names a row; none: the first visible column besides the key
    QHash<QString, QString> Names; // marked key -> its name
};

// Answers for the search lists that open next, in order: the codes to mark
// and confirm, a pasted text, or a cancel, kept in the session in force. Batch runs and tests put them here.
class TSearchListScript {
public:
    static void PushCodes(const QStringList &codes);
    static void PushCancel();
    // Pastes the text into the list, as Ctrl+V does, and confirms.
    static void PushPaste(const QString &text);
    static void Clear();
    // Without a person to answer, a list with no scripted answer is cancelled.
    static void SetInteractive(bool interactive);
    static bool Interactive();
    // Sees every run, scripted or not.
    static void SetObserver(std::function<void(const TSearchListRun &)> observer);
};

// The multi-selection search list: the data source's visible fields with their
// display texts, a check mark per row, a filter box, mark all and unmark all, and
// a pasted list of codes (Ctrl+V or "Colar códigos").
class TSearchListDialog : public QDialog {
    Q_OBJECT
public:
    TSearchListDialog(TDataSet &data, const QString &keyField, const QString &title, const QString &codes, QWidget *parent = nullptr,
                      const QString &nameField = {});
    // The marked keys in the data set's order, each as "_" + key + "_".
    QString Codes() const;
    QStringList MarkedKeys() const;
    void SetFilter(const QString &text);
    void MarkAll(bool marked);
    void SetMarked(const QString &key, bool marked);
    int VisibleRows() const;
    // Marks every pasted code the list knows, keeping the marks it has, and says in the
    // dialog which codes it does not know. A code is found by the key's text, by the text
    // the key column shows, or, for a numeric key, ignoring leading zeros ("6" finds "000006").
    // Returns the unknown codes, as pasted.
    QStringList PasteCodes(const QString &text);
    // Pastes the clipboard's text.
    void PasteClipboard();
    // The note under the list after a paste: the codes it did not know, or that there was
    // nothing to paste; empty when it knew every code.
    QString PasteNote() const;
    QStringList UnknownCodes() const { return m_unknown; }
    // The name of each marked key (see TSearchListPick::NameField).
    QHash<QString, QString> MarkedNames() const;
    QLineEdit *FilterBox() const { return m_filter; }
    QTableView *Grid() const { return m_grid; }

protected:
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void UpdateCount();
    // Builds the lookups below on first use: a paste or a scripted mark.
    void IndexKeys();
    QStringList m_keys;
    QStringList m_names;
    QStringList m_shownKeys; // the text the key column shows
    bool m_indexed = false;
    QHash<QString, QList<int>> m_byKey;    // key -> rows
    QHash<QString, QList<int>> m_byText;   // key text and shown key text -> rows
    QHash<QString, QList<int>> m_byNumber; // numeric key without leading zeros -> rows
    QStringList m_unknown;
    QLabel *m_note;
    QLineEdit *m_filter;
    TSearchListModel *m_model;
    QTableView *m_grid;
    QLabel *m_count;
};

// Opens the data source's data set when it is closed, shows the search list and,
// when the user confirms, replaces codes with the marked keys. Returns whether
// the user confirmed; a cancel leaves codes as they were. With pick, a confirmed
// run also gives back the names of the marked rows.
bool PesquisaLista(TDataSource *source, const QString &keyField, const QString &title, bool flag, QString &codes,
                   TSearchListPick *pick = nullptr);
