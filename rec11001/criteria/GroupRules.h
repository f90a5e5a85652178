#pragma once
#include "criteria/Criteria.h"
#include "server/AbcRequest.h"
#include <QStringView>
#include <vector>

// What an all-or-list criterion means to the reports, apart from its controls.
struct TGroupRule {
    const char *Name;                  // in the criteria value ("Cliente"); the form's code list is "lst" + Name
    const char *ListParam, *FlagParam; // the layouts' parameters for its list and its all flag
    const char *ListFlag;              // the flag a list gives: empty, or one space for the posting branch
    TAbcChoice TAbcRequest::*Abc;      // its pair in the curve's request
};

// The thirteen groups, in the order ValidaCampos checks them.
const std::vector<TGroupRule> &GroupRules();
// Throws std::out_of_range for a name no group has.
const TGroupRule &GroupRule(QStringView name);
// A group's list and flag as the layouts and the curve take them: all gives no codes and "T",
// a list its codes and the rule's list flag.
TAbcChoice ChoiceFor(const TGroupRule &rule, const TCriteriaChoice &choice);
