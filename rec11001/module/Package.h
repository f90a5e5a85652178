#pragma once
#include "forms/PackageInfo.h"
#include <QString>

class TfrmRelLancContReceber;

// The module's exported entry points and data.
extern "C" {
extern TfrmRelLancContReceber *frmRelLancContReceber;
extern QString stFilial;
extern QString stFilialUso;

extern const TPackageDescription PackageDescription;

void CriaRelLancContReceber();
void IniProc();
void Initialize();
void Finalize();
const TPackageInfoTable *GetPackageInfoTable();
}

// True while a form instance exists.
bool FormCriado();
void SetFormCriado(bool created);
