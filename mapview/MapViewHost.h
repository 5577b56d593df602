// What the map view needs of the program around it: the records of the
// active folder, the maps, the record commands and the guard for its
// handlers. The program's application core stands behind it; tests put
// their own records there.
#pragma once

#include <QCursor>
#include <QKeySequence>
#include <QPoint>
#include <cstdint>
#include <functional>

#include "location/Iterators.h"

class CMapSet;
class QWidget;

class CMapViewHost {
 public:
  // The tools' own cursors.
  enum ECursor : uint32_t {
    kRangePickCursor = 104,
    kSelectCursor = 105,
    kPointPickCursor = 216,
  };

  virtual ~CMapViewHost() = default;

  virtual int32_t GetActiveRecordCount() = 0;
  virtual void GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                CRecordOutputIteratorRef sink) = 0;
  virtual void ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                    CRecordIteratorRef records) = 0;
  virtual void SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last) = 0;
  // The selected indices, ascending.
  virtual void GetActiveSelection(CIntOutputIteratorRef sink) = 0;
  // The maps to draw under the records; never missing (an empty set when
  // there is no catalogue).
  virtual CMapSet& GetMapSet() = 0;

  // Shows the properties of the selected records.
  virtual void ShowProperties() = 0;
  // The record context menu at a screen point; its command goes to the main
  // window.
  virtual void ShowRecordMenu(const QPoint& screenPoint) = 0;
  // Runs the record command bound to keys; false when none is.
  virtual bool RunRecordKey(const QKeySequence& keys) = 0;
  virtual QCursor GetCursor(ECursor cursor) = 0;

  // Runs one handler of the view. An exception ends in an error box owned
  // by owner and goes no further.
  virtual void RunGuarded(QWidget* owner, const std::function<void()>& handler) = 0;
};
