// What one line of the record list shows, and how high it is: the local time
// on one line and the note wrapped below it, or, for a record with neither,
// its coordinates on one line.
#pragma once

#include <QRect>
#include <QString>

#include "location/LocationRecord.h"

class QFontMetrics;
class QPainter;

struct CRecordItemText {
  bool hasTime = false;
  QString time;
  bool hasNote = false;
  QString note;
  bool hasCoordinates = false;
  QString coordinates;  // "latitude, longitude", each in its own unit
};

CRecordItemText MakeRecordItemText(const CLocationRecord& record);
// The item's height for a client width: the time line plus the wrapped note,
// or the coordinates line. A note is measured also when it is empty.
int MeasureRecordItem(const CRecordItemText& text, const QFontMetrics& metrics, int width);
// Draws the parts from the top of rect down, in the painter's pen.
void DrawRecordItem(QPainter& painter, const CRecordItemText& text, const QRect& rect);
