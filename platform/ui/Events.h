#pragma once
#include <QChar>
#include <QPoint>
#include <QString>
#include <QObject>
#include <functional>

// Event types of the host's controls.
using TNotifyEvent = std::function<void(QObject *sender)>;
// key holds the virtual key code (F9 is 120); setting it to 0 swallows the key.
using TKeyEvent = std::function<void(QObject *sender, int &key, Qt::KeyboardModifiers shift)>;
// key holds the typed character; setting it to the null character swallows it.
using TKeyPressEvent = std::function<void(QObject *sender, QChar &key)>;
using TChangingEvent = std::function<void(QObject *sender, bool &allowChange)>;

// Runs an event that Qt reports (a click, a key, a focus move): it runs as a
// user action inside the action runner and no error ever leaves it.
bool FireEvent(const std::function<void()> &event);
// Runs an event that code causes (a Checked set in code): inside a running
// handler its errors pass to that handler; on its own it is a user action.
void CallEvent(const std::function<void()> &event);

// The host's virtual key code of a Qt key (F1 = 112 ... F12 = 123).
int VirtualKey(int qtKey);

class QWidget;
// A user's input sent to a control, for scripted runs. A click gives the focus
// to a control that takes it on a click, as the mouse does, then presses and
// releases the left button at pos.
void SendClick(QWidget *control, const QPoint &pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A key pressed and released on a control; text is what the key types.
void SendKey(QWidget *control, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString &text = {});
// Each character typed as its own key.
void SendText(QWidget *control, const QString &text);
