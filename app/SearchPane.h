// The search pane (dialog 207): a position range picked on the map, a note
// text and the Search button above the list of the search results.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "app/RecordListDialog.h"
#include "location/LocationQuery.h"
#include "mapview/MapViewState.h"

class CSearchFolder;
class QLabel;
class QLineEdit;
class QPushButton;

class CSearchPane : public QWidget, public CRecordListOwner {
 public:
  enum {
    IDC_SEARCH = 1021,
    IDC_NOTE = 1023,
    IDC_RANGE_TOGGLE = 1024,
    IDC_RANGE_TEXT = 1025,
    IDC_CLEAR_RANGE = 1026,
    IDC_PLACEHOLDER = 1027,
  };

  CSearchPane(CSearchFolder& folder, QWidget* parent);
  // Ends a pick that is still running and leaves the view state.
  ~CSearchPane() override;

  // The pane that exists, if any; the main frame registers its view-state
  // listener through it.
  static CSearchPane* GetInstance();
  // Links the pane to the map view state, which starts and ends its picks.
  CMapViewStateListener& GetViewStateListener() { return m_viewStateListener; }

  // The range shown as four lines, top, left, bottom, right, in degrees,
  // minutes and seconds; none shows nothing.
  void SetRange(const std::optional<CGeoRect>& range);
  const std::optional<CGeoRect>& GetRange() const { return m_range; }
  // The criteria of the pane's input: the range when there is one, the note
  // text as one word when it is not empty, no date range, newest first.
  CSearchCriteria MakeCriteria() const;

  // Button 1021: clears the selection and searches the whole tree.
  void OnSearch();
  // Button 1024: checked starts a rectangle pick on the map, unchecked ends it.
  void OnRangeToggled(bool checked);
  // Button 1026: forgets the range; a running pick goes on.
  void OnClearRange();
  // What the map's pick tool delivers.
  void OnPicked(const CGeoRect& rectangle);
  void OnPickCancelled();
  // Ends a running pick, unchecking the toggle; nothing when none runs.
  void CancelPick();
  bool IsPicking() const { return m_picking; }

  // The folder's results and selection into the list.
  void Refill();
  void SyncSelection();
  void OnListSelectionChanged() override;

  QLabel* GetRangeText() const { return m_rangeText; }
  QPushButton* GetRangeToggle() const { return m_rangeToggle; }
  QPushButton* GetClearRangeButton() const { return m_clearRange; }
  QLineEdit* GetNoteEdit() const { return m_note; }
  QPushButton* GetSearchButton() const { return m_search; }
  CRecordListDialog* GetList() const { return m_list; }

 protected:
  // Escape and close requests do not close the pane; Enter searches.
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // A pane hidden (another pane shown, the left pane closed) ends its pick.
  void hideEvent(QHideEvent* event) override;

 private:
  class CViewStateLink : public CMapViewStateListener {
   public:
    // The pane only uses the state to start and end its picks.
    void OnViewStateChanged() override {}
  };

  // Asks the map to install its select tool again.
  void EndPickOnMap();

  CSearchFolder& m_folder;
  QLabel* m_rangeText;
  QPushButton* m_rangeToggle;
  QPushButton* m_clearRange;
  QLineEdit* m_note;
  QPushButton* m_search;
  CRecordListDialog* m_list;
  std::optional<CGeoRect> m_range;
  CViewStateLink m_viewStateListener;
  bool m_picking = false;
  // Shared with the callback of a running pick, which may outlive the pane:
  // it points to the pane while the pane exists, and to nothing after.
  std::shared_ptr<CSearchPane*> m_self;
};

// "+35,30,00.00\n+139,45,00.00\n...": the range text of the pane.
std::string FormatSearchRange(const CGeoRect& range);
