#pragma once
#include <QStringList>

// The lines of the screen's message table msgPadrao, "key|text", in stored order.
QStringList MensagensPadrao();
