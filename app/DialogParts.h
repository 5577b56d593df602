// Small pieces the program's dialogs share.
#pragma once

#include <QString>

class QDialog;
class QHBoxLayout;
class QLabel;
class QWidget;

// The owner of a dialog shown now: the window the user works in, else fallback.
QWidget* ActiveWindowOr(QWidget* fallback);
// A label whose mnemonic moves the focus to buddy.
QLabel* BuddyLabel(const char* text, QWidget* buddy, QWidget* parent);
// OK (object name "1", the default button) and cancelText ("2"), right-aligned;
// they run the dialog's accept and reject.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog, const QString& cancelText);
