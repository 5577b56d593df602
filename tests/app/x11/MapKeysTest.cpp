// The map keys of the frame (Ctrl with keypad +, -, / and *) pressed on a
// real keyboard of a real X server, with the focus in the record list and on
// the map. Key events made up inside the program carry the keypad modifier
// straight to Qt's shortcut matching; those of the X server reach it through
// the keyboard layer, which drops that modifier, so only real presses show
// whether the keys work.
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandTable.h"
#include "app/LocalDay.h"
#include "app/MainFrame.h"
#include "app/PropertyWindow.h"
#include "app/RecordListDialog.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/RecordCollection.h"
#include "mapview/MapView.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/x11/XServer.h"

namespace {

// One server for the whole run, started before the first test makes the
// application object. It is never stopped here: the application object
// keeps its connection to the end, and the server goes with the process.
class CXServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static CXvfbServer* server = new CXvfbServer();
    setenv("DISPLAY", server->GetDisplay().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
};

const ::testing::Environment* const g_xServer =
    ::testing::AddGlobalTestEnvironment(new CXServerEnvironment);

class MapKeysTest : public AppTest {
 protected:
  ~MapKeysTest() override {
    frame.reset();
    core.reset();
    FlushDeletes();
  }
  void Start() {
    core = MakeCore();
    const std::vector<CLocationRecord> today = {
        TodayAt(35.001, 135.001, 60), TodayAt(35.004, 135.006, 120), TodayAt(35.002, 135.010, 180)};
    const CRecordVectorCollection records(today);
    CAddRecordsOperation adding(records);
    core->GetRootFolder().GetDatabaseFolder().RunQuery(adding);
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    map = frame->GetMapView();
    list = frame->GetViewSlot()->findChild<CRecordListView*>();
    ASSERT_NE(list, nullptr);
  }
  // The keys go to the X server; true once the program has done what they ask.
  static bool Press(const std::string& keys, const std::function<bool()>& done) {
    PressKeys(keys);
    return QTest::qWaitFor(done, 5000);
  }
  static bool Focus(QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([widget] { return QApplication::focusWidget() == widget; }, 5000);
  }
  bool Shows(double latitude, double longitude) const {
    const CGeoRect& view = map->GetViewRect();
    return view.bottom <= latitude && latitude <= view.top && view.left <= longitude &&
           longitude <= view.right;
  }
  bool Centred(double latitude, double longitude) const {
    const CGeoRect& view = map->GetViewRect();
    return std::abs((view.top + view.bottom) / 2 - latitude) < 1e-9 &&
           std::abs((view.left + view.right) / 2 - longitude) < 1e-9;
  }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
  CMapView* map = nullptr;
  CRecordListView* list = nullptr;
};

TEST_F(MapKeysTest, TheKeypadMapKeysZoomFitAndCentreFromTheRecordListAndTheMap) {
  // Every key of the tables that needs the keypad is one pressed below.
  int keypadKeys = 0;
  for (const auto* table : {&FrameAccelerators(), &RecordAccelerators()}) {
    for (const CAccelerator& accelerator : *table)
      keypadKeys += (accelerator.keys[0].keyboardModifiers() & Qt::KeypadModifier) ? 1 : 0;
  }
  EXPECT_EQ(keypadKeys, 4);

  Start();
  for (QWidget* focus : {static_cast<QWidget*>(list), static_cast<QWidget*>(map)}) {
    SCOPED_TRACE(focus == list ? "focus in the record list" : "focus on the map");
    ASSERT_TRUE(Focus(focus));
    frame->SetScale(4e-05);
    // The minus of the main keyboard is no map key: the zoom in after it
    // shows that it changed nothing.
    EXPECT_TRUE(Press("ctrl+minus ctrl+KP_Add", [&] { return frame->GetScale() != 4e-05; }));
    EXPECT_EQ(frame->GetScale(), 8e-05);
    EXPECT_TRUE(Press("ctrl+KP_Subtract", [&] { return frame->GetScale() == 4e-05; }));

    frame->SetTopLeft({10.0, 100.0});
    EXPECT_TRUE(Press("ctrl+KP_Divide", [&] {
      return Shows(35.001, 135.001) && Shows(35.004, 135.006) && Shows(35.002, 135.010);
    }));

    const int32_t third = 2;
    core->SetActiveSelection(MakeIntPtrIterator(&third), MakeIntPtrIterator(&third + 1));
    frame->SetTopLeft({10.0, 100.0});
    EXPECT_TRUE(Press("ctrl+KP_Multiply", [&] { return Centred(35.002, 135.010); }));
    EXPECT_EQ(QApplication::focusWidget(), focus);
  }

  // The frame's keys also work from its property window, as its other keys do.
  core->BroadcastShowProperties();
  QWidget* properties = frame->GetPropertyWindow();
  ASSERT_NE(properties, nullptr);
  properties->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == properties; }, 5000));
  frame->SetScale(4e-05);
  EXPECT_TRUE(Press("ctrl+KP_Add", [&] { return frame->GetScale() == 8e-05; }));
}

}  // namespace
