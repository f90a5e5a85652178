#pragma once
#include "criteria/Criteria.h"
#include "server/AbcRequest.h"

// The curve's request for a criteria value; the emission option is the caller's, once stored.
TAbcRequest CurveRequest(const TCriteria &c);
// GetStatus's six values: the all flag, "A", "B", "D", "P" each when chosen, "A_B_D_P" for all.
QVariantList StatusArgs(const TCriteria &c);
