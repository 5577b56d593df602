// The About dialog: the program icon, its name and version, and the rights.
#pragma once

#include <QDialog>

class CAboutDialog : public QDialog {
 public:
  static constexpr const char* kVersionText = "Quor Lumo Folvane\nVersion 1.0.1";

  explicit CAboutDialog(QWidget* parent);
};
