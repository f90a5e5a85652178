#pragma once
#include <QString>

namespace Dbgeral {
// The companies the operator may see, as a code list ("_01__03_").
QString ListaEmpresaOper(const QString &operatorCode);
}
