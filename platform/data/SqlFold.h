// A fixed statement whose conditions are switched on and off by its bound values
// ("(:TCLIENTE = 'T' OR INSTR(:CLIENTE, '_' || R.CDCLIENTE || '_') <> 0)") with the
// conditions those values decide written out before the database plans it: a planner
// cannot drop a condition that only a parameter switches off, nor use an index through it.
#pragma once
#include "data/Database.h"
#include "data/Params.h"
#include <QString>

struct TFoldedStatement {
    QString Sql;
    TParams Params;
};

// Within every parenthesised AND/OR condition:
// - ":NAME = 'text'" is decided when NAME is bound to a non-null text, and
//   "DATE(:NAME) IS NULL" when NAME is null, blank or a date; what they decide is folded
//   (true OR x is true, false OR x is x, and so on);
// - "INSTR(:LIST, '_' || column || '_') <> 0" over a list with codes gains an equal
//   "column IN (codes)", the codes bound as a new parameter, that an index can serve.
// Every row keeps the value the statement gave it. A statement with a comment, a
// dollar quote or a parameter that is not bound comes back as it was.
TFoldedStatement FoldDecidedConditions(const QString &sql, const TParams &params, TDBKind kind);
