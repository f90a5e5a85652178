#pragma once
#include "criteria/Criteria.h"
#include "data/DataSet.h"
#include <QHash>
#include <QStringList>

// What the "Opções de Emissão" block reads besides the criteria.
struct TEmissionSources {
    QHash<QString, const TDataSet *> Names; // by group name: the lookup that names its chosen codes
    QStringList KindCaptions;               // the entry kinds, as rdgTipo lists them
    QStringList StatusCaptions;             // "Em Aberto", "Baixada", "Descontada", "Planejada"
    bool BranchFixed = false;               // the host fixes the branch: no branch line
};

// The criteria that differ from the screen's defaults and that the report applies, in words.
QStringList EmissionOptionLines(const TCriteria &c, const TEmissionSources &sources);
