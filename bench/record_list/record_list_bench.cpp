// A search that finds every record, as a user runs it from the search pane:
// the results of 10,000, 100,000 and 1,000,000 records handed to the search
// folder by a tree like the program's, the folder filling the pane's list and
// the map. Prints for each size the
// processor time from the hand-over until the list has been painted, and the
// median processor time of a resize (the window and the pane beside the map
// both change size; layouts, also those put off on a timer, and paints
// included); then the median processor time of a Page Down in the list.
#include <QAbstractItemView>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "app/SearchFolder.h"
#include "app/SearchPane.h"
#include "app/TreeNode.h"
#include "bench/record_list/BenchProgram.h"

namespace {

// Longer than any layout a widget puts off after a resize.
constexpr int kSettleMs = 150;

// A folder of the tree the search walks: the records its search finds, and
// its children. It notes the processor time when it has handed its last
// record over.
class CBenchFolder : public CTreeNode {
 public:
  explicit CBenchFolder(std::vector<CLocationRecord> records = {},
                        std::vector<CTreeNode*> children = {})
      : m_records(std::move(records)), m_children(std::move(children)) {}
  std::string GetTitle() const override { return "folder"; }
  QIcon GetIcon() const override { return QIcon(); }
  void EnumChildren(CNodeOutputIteratorRef sink) override {
    for (CTreeNode* child : m_children) sink = sink.Put(child);
  }
  void Search(const CSearchCriteria&, CRecordOutputIteratorRef sink) override {
    for (const CLocationRecord& record : m_records) sink = sink.Put(record);
    handedOver.store(ProcessorMilliseconds());
  }
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver*) override { return nullptr; }

  std::atomic<double> handedOver{0.0};

 private:
  std::vector<CLocationRecord> m_records;
  std::vector<CTreeNode*> m_children;
};

// Counts the paints of a widget.
class CPaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

}  // namespace

int main(int argc, char** argv) {
  CBenchProgram program(argc, argv);
  CMainFrame& frame = program.Frame();
  frame.ShowPane(CMainFrame::kPaneSearch);
  CBenchProgram::Settle();
  auto* search = dynamic_cast<CSearchFolder*>(&program.Core().GetSearchSource());
  if (search == nullptr || search->GetPane() == nullptr) {
    std::printf("no search pane\n");
    return 1;
  }
  QAbstractItemView* list = search->GetPane()->GetList()->GetList();
  CPaintCounter painted;
  list->viewport()->installEventFilter(&painted);
  std::printf("window %d x %d, list %d x %d; processor time\n", frame.width(), frame.height(),
              list->width(), list->height());

  std::vector<std::string> scrolls;
  bool failed = false;
  for (const int count : {10000, 100000, 1000000}) {
    // As the program's tree: the database, which holds every record, and the
    // file folder, with no file open, below the root. The search folder
    // refreshes after each of the three.
    auto database = std::make_unique<CBenchFolder>(MakeBenchRecords(count));
    CBenchFolder files;
    CBenchFolder root({}, {database.get(), &files});
    const int paintsBefore = painted.paints;
    search->RunQuery(CSearchCriteria{}, root);
    CBenchProgram::Settle();
    const double fill = ProcessorMilliseconds() - database->handedOver.load();
    database.reset();
    CBenchProgram::SettleFor(kSettleMs);
    if (list->model()->rowCount() != count || painted.paints == paintsBefore) {
      std::printf("the list shows %d rows and was %spainted\n", list->model()->rowCount(),
                  painted.paints == paintsBefore ? "not " : "");
      failed = true;
    }

    // Narrower and wider by turns: the notes wrap differently each time.
    const int runs = count >= 1000000 ? 5 : 11;
    std::vector<double> resizes;
    QSplitter* splitter = frame.GetMainSplitter();
    for (int i = 0; i < runs; ++i) {
      const int step = i % 2 == 0 ? -40 : 40;
      const int listWidth = list->width();
      const double start = ProcessorMilliseconds();
      QList<int> sizes = splitter->sizes();
      sizes[0] += step;
      sizes[1] -= step;
      splitter->setSizes(sizes);
      frame.resize(frame.width() + step, frame.height() + step);
      CBenchProgram::SettleFor(kSettleMs);
      resizes.push_back(ProcessorMilliseconds() - start);
      if (list->width() == listWidth) {
        std::printf("the list kept its width\n");
        failed = true;
      }
    }
    std::printf("record list %d records: fill %.0f ms, resize %.1f ms\n", count, fill,
                Median(resizes));
    std::fflush(stdout);

    list->setFocus();
    list->setCurrentIndex(list->model()->index(0, 0));
    CBenchProgram::SettleFor(kSettleMs);
    std::vector<double> pages;
    const int top = list->verticalScrollBar()->value();
    for (int i = 0; i < runs; ++i) {
      const double start = ProcessorMilliseconds();
      QTest::keyClick(list, Qt::Key_PageDown);
      CBenchProgram::Settle();
      pages.push_back(ProcessorMilliseconds() - start);
    }
    if (list->verticalScrollBar()->value() == top) {
      std::printf("page down did not scroll\n");
      failed = true;
    }
    char line[160];
    std::snprintf(line, sizeof line, "record list %d records: page down %.1f ms", count,
                  Median(pages));
    scrolls.push_back(line);
  }
  for (const std::string& line : scrolls) std::printf("%s\n", line.c_str());
  return failed ? 1 : 0;
}
