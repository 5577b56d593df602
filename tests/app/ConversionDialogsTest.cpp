// The datum and coordinate-unit dialogs on a file's selection: what they open
// with, what OK converts, and what Cancel and an unchosen unit leave alone.
// (A read-only source's refusal is in the property window's tests.)
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/ConversionDialogs.h"
#include "app/FileFolder.h"
#include "tests/app/AppTestSupport.h"

namespace {

CLocationRecord At(double latitude, double longitude, int datumIndex) {
  CLocationRecord record = NoteRecord("at");
  record.position = CPosition({latitude, longitude});
  record.position.datum = GetDatumByIndex(datumIndex);
  return record;
}

// The record with its angles replaced.
CLocationRecord WithAngles(CLocationRecord record, const CAngle& latitude, const CAngle& longitude) {
  record.position.latitude = latitude;
  record.position.longitude = longitude;
  return record;
}

class ConversionDialogsTest : public ActiveViewTest {
 protected:
  // The datum dialog opens with openIndex selected and closes with chosen
  // selected by button ("1" OK, "2" Cancel).
  static void AnswerDatum(int openIndex, int chosen, const char* button = "1") {
    AnswerNextModalDialog([=](QDialog& dialog) {
      auto* combo = dynamic_cast<CDatumDialog&>(dialog).GetCombo();
      EXPECT_EQ(dialog.windowTitle(), QStringLiteral("測地系の変更"));
      EXPECT_EQ(combo->count(), 3);
      EXPECT_EQ(combo->currentIndex(), openIndex);
      combo->setCurrentIndex(chosen);
      dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
    });
  }
  // The unit dialog opens with the checked buttons and closes after check.
  static void AnswerUnit(bool degreesChecked, bool dmsChecked, QRadioButton* (CUnitDialog::*check)() const,
                         const char* button = "1") {
    AnswerNextModalDialog([=](QDialog& dialog) {
      auto& units = dynamic_cast<CUnitDialog&>(dialog);
      EXPECT_EQ(units.GetDegreesButton()->isChecked(), degreesChecked);
      EXPECT_EQ(units.GetDmsButton()->isChecked(), dmsChecked);
      if (check) (units.*check)()->setChecked(true);
      dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
    });
  }
};

TEST_F(ConversionDialogsTest, TheDatumDialogOpensWithTheCommonDatumAndConvertsEverySelectedRecord) {
  std::vector<CLocationRecord> records = {At(35, 139, 0), At(36, 140, 0), At(35, 139, 1),
                                          At(34, 135, 1)};
  records[0].position.altitude = 10;
  records[0].position.hasAltitude = true;
  records[2].position.latitude = CAngle::FromDms(DegreesToDms(35));
  CRecordSource& view = StartWithFile(records);

  // Nothing selected: no datum, and OK without one changes nothing.
  AnswerDatum(-1, -1);
  ChangeDatum(*core);
  EXPECT_FALSE(node->IsModified());
  // One datum shared; Cancel keeps everything.
  Select(view, {0, 1});
  AnswerDatum(0, 2, "2");
  ChangeDatum(*core);
  EXPECT_FALSE(node->IsModified());

  Select(view, {0, 1, 2});
  AnswerDatum(-1, 2);
  ChangeDatum(*core);
  // Each angle keeps its unit; only a present altitude takes part.
  for (std::size_t i = 0; i < 3; ++i) {
    CLocationRecord expected = records[i];
    expected.position = ConvertPositionDatum(records[i].position, GetDatumByIndex(2));
    EXPECT_EQ(RecordXml(node->Records()[i]), RecordXml(expected)) << i;
  }
  EXPECT_EQ(node->Records()[2].position.latitude.unit, kAngleUnitDms);
  EXPECT_FALSE(node->Records()[1].position.hasAltitude);
  EXPECT_NEAR(node->Records()[2].position.longitude.degrees, 138.996943, 1e-6);
  EXPECT_EQ(RecordXml(node->Records()[3]), RecordXml(records[3]));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(ConversionDialogsTest, TheUnitDialogOpensWithTheCommonUnitAndRewritesBothAngles) {
  std::vector<CLocationRecord> records = {At(35.5, 139.75, 0), At(-35.5, 10, 0)};
  records[1].position.latitude = CAngle::FromDms(DegreesToDms(-35.5));
  CRecordSource& view = StartWithFile(records);
  // Mixed units: neither button, and OK without one changes nothing.
  Select(view, {0, 1});
  AnswerUnit(false, false, nullptr);
  ChangeUnit(*core);
  EXPECT_FALSE(node->IsModified());

  Select(view, {0});
  AnswerUnit(true, false, &CUnitDialog::GetDmsButton);
  ChangeUnit(*core);
  EXPECT_EQ(RecordXml(node->Records()[0]),
            RecordXml(WithAngles(records[0], CAngle::FromDms(MakeDmsAngle(1, 35, 30, 0, 0)),
                                 CAngle::FromDms(MakeDmsAngle(1, 139, 45, 0, 0)))));

  Select(view, {0, 1});
  AnswerUnit(false, false, &CUnitDialog::GetDegreesButton);
  ChangeUnit(*core);
  EXPECT_EQ(node->Records()[0].position.latitude.degrees, 35.5);
  EXPECT_EQ(RecordXml(node->Records()[0]), RecordXml(records[0]));
  EXPECT_EQ(RecordXml(node->Records()[1]),
            RecordXml(WithAngles(records[1], CAngle::FromDegrees(-35.5), CAngle::FromDegrees(10))));
}

}  // namespace
