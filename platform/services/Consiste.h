#pragma once
#include <QString>
#include <QVariant>

class QWidget;

// Shows the text as an error message; with abort set, ends the running action.
void MensErro(const QString &text, bool abort);
// Reports a failed remote call (and ends the action); otherwise gives the payload.
QVariant CheckResultServ(const QVariant &result);
// True when the text is empty or holds only blanks.
bool EmptyString(const QString &text);
// Pads a non-blank code on the left with "0" to the width; a blank text stays blank.
QString Ajusta(const QString &text, int width);
// Refuses (clears key to the null character and returns false) a key stroke
// that would give more integer or decimal digits than allowed. Editing keys pass.
bool MaxNumber(const QString &text, int intDigits, int decDigits, QString &key, int selStart, int selLength);
// Registration-number mask for a person type: "F" individual, "J" company.
QString PictPess(const QString &personType);
// Enables or disables the container and every control inside it.
void SetChildEnabled(QWidget *container, bool enabled);
// Edit-mask formatting: "mask;save-literals;blank".
QString FormatMaskText(const QString &mask, const QString &value);
