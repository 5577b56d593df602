// The scale box: the representative fraction it shows, the presets, and the
// denominator typed and applied with Enter, through the view state to the
// map view.
#include <QComboBox>
#include <QLineEdit>

#include "mapview/ScaleBox.h"
#include "tests/mapview/MapViewTestSupport.h"

namespace {

class ScaleBoxTest : public MapViewFixture {
 protected:
  ScaleBoxTest()
      : box(QStringLiteral("分の1"), [this](QWidget* owner, const std::function<void()>& handler) {
          host.RunGuarded(owner, handler);
        }) {
    state->AddListener(&box);
    box.show();
    state->Notify();
  }
  ~ScaleBoxTest() override { state->RemoveListener(&box); }

  QString Text() const { return box.GetComboBox()->currentText(); }
  void Type(const QString& text) {
    // Enter goes where the keys go: the combo box has the focus.
    box.GetComboBox()->lineEdit()->setText(text);
    QTest::keyClick(box.GetComboBox(), Qt::Key_Return);
  }

  CScaleBox box;
};

TEST_F(ScaleBoxTest, ShowsTheScaleAsARepresentativeFraction) {
  EXPECT_EQ(box.ScaleText(4e-05), QStringLiteral("25000分の1"));
  EXPECT_EQ(box.ScaleText(7.8125e-08), QStringLiteral("12800000分の1"));
  EXPECT_EQ(box.ScaleText(0.00032), QStringLiteral("3125分の1"));
  EXPECT_EQ(box.ScaleText(3e-05), QStringLiteral("33333分の1"));

  QComboBox* combo = box.GetComboBox();
  EXPECT_EQ(combo->objectName(), QStringLiteral("1012"));
  ASSERT_EQ(combo->count(), 6);
  EXPECT_EQ(combo->itemText(0), QStringLiteral("10000分の1"));
  EXPECT_EQ(combo->itemText(5), QStringLiteral("500000分の1"));
  // The text follows every change of the view state.
  EXPECT_EQ(Text(), QStringLiteral("25000分の1"));
  view->ZoomIn();
  EXPECT_EQ(Text(), QStringLiteral("12500分の1"));
  state->SetScale(1.0);
  EXPECT_EQ(Text(), QStringLiteral("3125分の1"));
}

TEST_F(ScaleBoxTest, EnterAppliesTheNumberTheTextStartsWith) {
  state->SetScale(1e-05);
  Type(QStringLiteral("25000分の1"));
  EXPECT_EQ(state->GetScale(), 4e-05);
  EXPECT_EQ(Text(), QStringLiteral("25000分の1"));
  // "1/25000" is 1: the largest scale.
  Type(QStringLiteral("1/25000"));
  EXPECT_EQ(state->GetScale(), CMapViewState::kMaxScale);
  EXPECT_EQ(Text(), QStringLiteral("3125分の1"));
  Type(QStringLiteral("-25000"));
  EXPECT_EQ(state->GetScale(), CMapViewState::kMinScale);
  EXPECT_EQ(Text(), QStringLiteral("12800000分の1"));
  Type(QStringLiteral(" 50000"));
  EXPECT_EQ(state->GetScale(), 2e-05);
  // Typed key by key: what is typed is applied, nothing completed from the
  // list ("1000" is not "10000分の1"), clamped to the largest scale.
  box.GetComboBox()->lineEdit()->clear();
  QTest::keyClicks(box.GetComboBox(), QStringLiteral("1000"));
  QTest::keyClick(box.GetComboBox(), Qt::Key_Return);
  EXPECT_EQ(Text(), QStringLiteral("3125分の1"));
  state->SetScale(2e-05);
  // 0 and text without a number change nothing.
  Type(QStringLiteral("0"));
  Type(QStringLiteral("abc"));
  EXPECT_EQ(state->GetScale(), 2e-05);
  EXPECT_EQ(box.GetComboBox()->count(), 6);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(ScaleBoxTest, APresetZoomsAroundTheCentreAndTheFocusedTextIsSelected) {
  const CGeoRect before = view->GetViewRect();
  QComboBox* combo = box.GetComboBox();
  emit combo->activated(3);
  EXPECT_EQ(state->GetScale(), 1e-05);
  const CGeoRect after = view->GetViewRect();
  EXPECT_NEAR((after.top + after.bottom) / 2, (before.top + before.bottom) / 2, 1e-12);
  EXPECT_NEAR((after.left + after.right) / 2, (before.left + before.right) / 2, 1e-12);

  box.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
  combo->setFocus();
  QWidget* focus = QApplication::focusWidget();
  if (focus != combo && !combo->isAncestorOf(focus)) GTEST_SKIP() << "no keyboard focus here";
  view->ZoomIn();
  EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("50000分の1"));
}

}  // namespace
