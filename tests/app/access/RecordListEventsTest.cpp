// What the record list tells assistive tools as the user works in it: the
// current row as the focus, rows selected and deselected one by one, a large
// change at once, and fresh items after a refill. The tools' side is switched
// on as a screen reader switches it on: a session bus of the tests' own with
// the accessibility bus service on it, and the program on a real X server,
// whose platform starts the accessibility bridge. What the list tells is
// caught before it reaches the bridge.

#include <QAbstractListModel>
#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/RecordListDialog.h"
#include "location/qt/LocalDateText.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/x11/XServer.h"

namespace {

// A dbus-daemon of its own, as the session bus; it goes with the process.
std::string StartSessionBus() {
  const std::string program =
      QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).toStdString();
  if (program.empty()) throw std::runtime_error("dbus-daemon is not installed");
  // It writes its address once it listens.
  return StartReportingChild("dbus-daemon", program,
                             {"--session", "--nofork", "--nopidfile", "--print-address=3"})
      .line;
}

// The X server and the session bus, before the application object is made.
class CAccessibilityEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static CXvfbServer* server = new CXvfbServer();
    static const std::string bus = StartSessionBus();
    setenv("DISPLAY", server->GetDisplay().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    // The bus service tells no screen reader's wish; this stands for it.
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
  }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CAccessibilityEnvironment);

// The accessibility bus service: the bus the tools listen on is the
// session bus itself.
class CAccessibilityBusService : public QDBusVirtualObject {
 public:
  explicit CAccessibilityBusService(QString address) : m_address(std::move(address)) {}
  QString introspect(const QString&) const override { return QString(); }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("GetAddress")) return false;
    connection.send(message.createReply(m_address));
    return true;
  }

 private:
  const QString m_address;
};

// Switches the tools' side on once: the service registers on a connection
// of its own, and the bridge finds it on the session bus and connects.
bool AccessibilityActive() {
  static const bool active = [] {
    TestApplication();
    const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("service"));
    static CAccessibilityBusService bus(address);
    if (!service.registerVirtualObject(QStringLiteral("/org/a11y/bus"), &bus) ||
        !service.registerService(QStringLiteral("org.a11y.Bus")))
      return false;
    return QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000);
  }();
  return active;
}

struct CTold {
  QAccessible::Event type;
  int row;
  QString name;  // of the item the tool is told about
  bool operator==(const CTold&) const = default;
  bool operator<(const CTold& other) const {
    return type != other.type ? type < other.type : row < other.row;
  }
};

std::ostream& operator<<(std::ostream& out, const CTold& told) {
  return out << std::hex << told.type << std::dec << " row " << told.row << " \""
             << told.name.toStdString() << '"';
}

QObject* g_watched = nullptr;
std::vector<CTold> g_told;

void Catch(QAccessibleEvent* event) {
  const QAccessible::Event type = event->type();
  if (event->object() != g_watched ||
      (type != QAccessible::Focus && type != QAccessible::Selection &&
       type != QAccessible::SelectionAdd && type != QAccessible::SelectionRemove &&
       type != QAccessible::SelectionWithin))
    return;
  QAccessibleInterface* told = event->accessibleInterface();
  g_told.push_back({type, event->child(), told ? told->text(QAccessible::Name) : QString()});
}

class RecordListEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AccessibilityActive());
    QAccessible::installUpdateHandler(&Catch);
  }
  void TearDown() override {
    QAccessible::installUpdateHandler(nullptr);
    g_watched = nullptr;
    g_told.clear();
  }
  // Shows the list in a window of its own with the keyboard focus.
  void Show(QAbstractItemView& view, QWidget& window) {
    window.resize(240, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view.setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }, 5000));
    g_watched = &view;
    g_told.clear();
  }
  static void Click(QAbstractItemView& view, int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers,
                      view.visualRect(view.model()->index(row, 0)).center());
  }
  // What the list told since the last call, in order of kind and row.
  static std::vector<CTold> Told() {
    std::vector<CTold> told = std::exchange(g_told, {});
    std::sort(told.begin(), told.end());
    return told;
  }
  // Sorted as Told sorts.
  static std::vector<CTold> Sorted(std::vector<CTold> told) {
    std::sort(told.begin(), told.end());
    return told;
  }
};

QString TimeText(int32_t time) {
  return QString::fromStdString(FormatLocalDateTime(CZonedTime(time, 0)));
}

TEST_F(RecordListEventsTest, TheCurrentRowAndEachRowSelectedOrDeselectedAreTold) {
  CRecordListDialog dialog(nullptr, nullptr);
  std::vector<CLocationRecord> records;
  for (int i = 0; i < 3000; ++i)
    records.push_back(TestRecordAt(1700000000 + i * 60, "note " + std::to_string(i)));
  dialog.Fill(records.data(), records.data() + records.size());
  CRecordListView& view = *dialog.GetList();
  Show(view, dialog);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
  ASSERT_EQ(list->childCount(), 3000);
  const auto name = [&](int row) { return list->child(row)->text(QAccessible::Name); };
  using A = QAccessible;

  Click(view, 2, Qt::NoModifier);
  EXPECT_EQ(Told(),
            Sorted(std::vector<CTold>{{A::Focus, 2, name(2)}, {A::SelectionAdd, 2, name(2)}}));
  Click(view, 5, Qt::ShiftModifier);
  EXPECT_EQ(Told(), Sorted(std::vector<CTold>{{A::Focus, 5, name(5)},
                                              {A::SelectionAdd, 3, name(3)},
                                              {A::SelectionAdd, 4, name(4)},
                                              {A::SelectionAdd, 5, name(5)}}));
  Click(view, 3, Qt::ControlModifier);
  EXPECT_EQ(Told(),
            Sorted(std::vector<CTold>{{A::Focus, 3, name(3)}, {A::SelectionRemove, 3, name(3)}}));
  QTest::keyClick(&view, Qt::Key_Down);
  EXPECT_EQ(Told(), Sorted(std::vector<CTold>{{A::SelectionRemove, 2, name(2)},
                                              {A::SelectionRemove, 5, name(5)},
                                              {A::Focus, 4, name(4)}}));

  // Thousands of rows at once are one change of the list.
  QTest::keyClick(&view, Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(Told(), Sorted(std::vector<CTold>{{A::SelectionWithin, -1, list->text(A::Name)},
                                              {A::Focus, 2999, name(2999)}}));
  const std::vector<int32_t> one{7};
  dialog.SetSelection(one.data(), one.data() + one.size());
  EXPECT_EQ(Told(), Sorted(std::vector<CTold>{{A::SelectionWithin, -1, list->text(A::Name)}}));

  // After a refill the rows are asked for afresh: the items the tool had
  // stood for other records.
  const QAccessible::Id before = QAccessible::uniqueId(list->child(2));
  dialog.Fill(records.data() + 1, records.data() + records.size());
  EXPECT_NE(QAccessible::uniqueId(list->child(2)), before);
  EXPECT_EQ(name(2), TimeText(1700000180) + QStringLiteral("\nnote 3"));
}

// A million rows of one line each.
class CMillionRows : public QAbstractListModel {
 public:
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 1000000; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) return QStringLiteral("row %1").arg(index.row());
    if (role == Qt::SizeHintRole) return QSize(8, 17);
    return QVariant();
  }
};

TEST_F(RecordListEventsTest, SelectingAMillionRowsIsOneChange) {
  CMillionRows rows;
  CRecordListView view(nullptr);
  view.setModel(&rows);
  Show(view, view);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
  using A = QAccessible;
  view.selectAll();
  EXPECT_EQ(Told(), (std::vector<CTold>{{A::SelectionWithin, -1, list->text(A::Name)}}));
  // A click on a selected row leaves it alone selected when released.
  Click(view, 4, Qt::NoModifier);
  EXPECT_EQ(Told(), Sorted(std::vector<CTold>{{A::Focus, 4, QStringLiteral("row 4")},
                                              {A::SelectionWithin, -1, list->text(A::Name)}}));
}

}  // namespace
