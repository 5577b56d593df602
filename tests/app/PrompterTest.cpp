// The message boxes behind the prompt interface.
#include "app/Prompter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include "tests/app/AppTestSupport.h"

TEST(Prompter, ABoxWithAShortTextIsStillWideEnoughForItsWholeCaption) {
  TestApplication();
  const QString title = QStringLiteral("Quor Lumo Folvane");
  for (const EPromptKind kind :
       {EPromptKind::Error, EPromptKind::YesNoInformation, EPromptKind::YesNoCancelWarning}) {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, kind, "x", title.toStdString());
    box->show();
    QApplication::processEvents();
    QFont bold = box->font();
    bold.setBold(true);
    // The title's text, the window's icon and three buttons.
    const int needed = QFontMetrics(bold).horizontalAdvance(title) +
                       4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, box.get());
    EXPECT_GE(box->width(), needed);
    EXPECT_EQ(box->windowTitle(), title);
    box->hide();
  }
  // A long text still wraps within the screen.
  const std::unique_ptr<QMessageBox> box =
      MakeMessageBox(nullptr, EPromptKind::Error, std::string(2000, 'w') + " end", "t");
  box->show();
  QApplication::processEvents();
  EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
}
