#pragma once
#include "criteria/Criteria.h"
#include "data/Params.h"

// The criteria value bound to a layout's parameters; only the parameters the layout
// declares are given a value.
namespace Binding {

// What the binding reads besides the criteria.
struct TInputs {
    QString OperatorCompanies; // the companies "Todas" stands for
    QString EmissionOption;    // the operator's emission option letter, "S" or "N"
};

// Every layout but the curve: the groups, kinds, dates, amounts, client types and the
// emission option; then every parameter still blank gets one space, whatever its type.
void MainPath(const TCriteria &c, const TInputs &in, TParams &params);
// Every layout, after the main path or the curve: statuses, billing reference,
// salesperson and budget numbers.
void FinalSteps(const TCriteria &c, TParams &params);

} // namespace Binding
