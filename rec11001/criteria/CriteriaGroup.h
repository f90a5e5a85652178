#pragma once
#include "criteria/GroupRules.h"
#include "ui/Controls.h"
#include <QVector>

class TfrmRelLancContReceber;
class TADOIBQuery;
class TDataSource;

// A parameter the picker gives its lookup query before opening it; no text clears it.
struct TLookupParam {
    const char *Name;
    const QString *Text;
};
// The texts lookup parameters take: the all flag, and the empty list that goes with it.
inline const QString kAllFlag = QStringLiteral("T");
inline const QString kEmptyList = QString();

// How the search button's tooltip counts the chosen codes: "1 cliente escolhido",
// "3 clientes escolhidos", "Nenhum cliente escolhido".
struct TChosenWords {
    const char *One = "", *Many = "", *None = ""; // UTF-8
};

// Everything about one all-or-list criterion, in one entry of the form's table.
struct TCriteriaGroup {
    using Handler = void (TfrmRelLancContReceber::*)(QObject *);
    using KeyHandler = void (TfrmRelLancContReceber::*)(QObject *, int &, Qt::KeyboardModifiers);
    const char *Name = nullptr; // in the criteria snapshot; the code list is "lst" + Name
    TGroupBox *Group = nullptr;
    TRadioButton *All = nullptr, *List = nullptr;
    TButtonFlat *Search = nullptr;
    TTabSheet *Page = nullptr;
    QString *Codes = nullptr;
    const char *MissingKey = nullptr; // ValidaCampos: "Lista" with an empty list (focus on the "Lista" radio)
    // The picker: search list source, key column and title; the lookup it reopens with its parameters,
    // refusing an empty one with EmptyKey (none: no such test).
    TDataSource *Source = nullptr;
    const char *KeyField = nullptr, *TitleKey = nullptr;
    TADOIBQuery *Lookup = nullptr;
    QVector<TLookupParam> LookupParams = {};
    const char *EmptyKey = nullptr;
    // The column whose text names a chosen code in the search button's tooltip, and its counting words.
    const char *NameField = nullptr;
    TChosenWords Chosen = {};
    // The handlers its controls' events are bound to.
    Handler AllClick = nullptr, ListClick = nullptr, SearchClick = nullptr;
    KeyHandler KeyDown = nullptr;
    // What the group means to the layouts and the curve.
    const TGroupRule *Rule = nullptr;
};

// The screen's name for the controls part of an entry.
using TAllOrList = TCriteriaGroup;
