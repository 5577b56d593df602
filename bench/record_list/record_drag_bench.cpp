// A record dragged on the map in a location file of 1,000, 10,000 and
// 100,000 records, as a user drags it: the mouse moves reach the map view,
// whose select tool writes the moved record into the file's view; the list
// and the map follow, and the paints that come after are part of each move.
// Prints the median processor time of one move.
#include <QMouseEvent>
#include <QTest>
#include <cstdio>
#include <vector>

#include "app/FileFolder.h"
#include "app/LocationFileNode.h"
#include "app/RootFolder.h"
#include "bench/record_list/BenchProgram.h"
#include "location/IteratorAdaptors.h"
#include "location/RecordSource.h"
#include "mapview/MapTool.h"
#include "mapview/MapView.h"

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& point, Qt::MouseButtons buttons) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, point, widget->mapToGlobal(point), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

int main(int argc, char** argv) {
  CBenchProgram program(argc, argv);
  CAppCore& core = program.Core();
  CMapView* map = program.Frame().GetMapView();
  CFileFolder& files = core.GetRootFolder().GetFileFolder();
  bool failed = false;

  for (const int count : {1000, 10000, 100000}) {
    files.New();
    CLocationFileNode* node = files.Find(GetChildren(files).back());
    node->EditRecords() = MakeBenchRecords(count);
    // The record in the middle stands apart, so that its marker is the one
    // pressed; it is selected first.
    const int32_t dragged = count / 2;
    node->EditRecords()[dragged].position = CPosition({35.95, 140.03});
    core.SetCurrentNode(node);
    map->FitAllLocations();
    CBenchProgram::Settle();

    core.SetActiveSelection(MakeIntPtrIterator(&dragged), MakeIntPtrIterator(&dragged + 1));
    CBenchProgram::Settle();
    const QPoint press = map->LatLonToPixel(GetPositionDegrees(node->Records()[dragged].position));
    QWidget* viewport = map->viewport();
    SendMouse(viewport, QEvent::MouseButtonPress, press, Qt::LeftButton);
    CBenchProgram::Settle();

    const int moves = count >= 100000 ? 40 : 100;
    std::vector<double> times;
    const CLocationRecord before = node->Records()[dragged];
    for (int i = 0; i < moves; ++i) {
      const QPoint to = press + QPoint(12 + i % 30, 8 + i % 17);
      const double start = ProcessorMilliseconds();
      SendMouse(viewport, QEvent::MouseMove, to, Qt::LeftButton);
      CBenchProgram::Settle();
      times.push_back(ProcessorMilliseconds() - start);
    }
    SendMouse(viewport, QEvent::MouseButtonRelease, press + QPoint(20, 20), Qt::NoButton);
    CBenchProgram::Settle();
    if (node->Records()[dragged].position.latitude.ToDegrees() ==
        before.position.latitude.ToDegrees()) {
      std::printf("the record did not move\n");
      failed = true;
    }
    std::printf("drag %d records: %.2f ms per move\n", count, Median(times));
    std::fflush(stdout);
    core.SetCurrentNode(&core.GetRootFolder());
    files.Close(node);
    CBenchProgram::Settle();
  }
  return failed ? 1 : 0;
}
