#pragma once
#include <QStringList>

// Every report parameter name that the screen's binding assigns to a layout.
QStringList BindingParamNames();
