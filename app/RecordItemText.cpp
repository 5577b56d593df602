#include "app/RecordItemText.h"

#include <QFontMetrics>
#include <QPainter>
#include <climits>
#include <sstream>

#include "location/CoordinateText.h"
#include "location/qt/LocalDateText.h"

namespace {

QString AngleText(const CAngle& angle) {
  std::ostringstream out;
  FormatAngleText(out, angle);
  return QString::fromStdString(out.str());
}

int LineHeight(const QFontMetrics& metrics) { return metrics.height(); }

int NoteHeight(const QString& note, const QFontMetrics& metrics, int width) {
  const QRect bounds =
      metrics.boundingRect(QRect(0, 0, std::max(1, width), INT_MAX / 2), Qt::TextWordWrap, note);
  // An empty note still takes its line, as it is drawn whenever it is present.
  return std::max(bounds.height(), LineHeight(metrics));
}

// Word-wrapped text cut to the lines that fit, the last one ending in "…"
// when text was left over.
void DrawWrapped(QPainter& painter, const QString& text, const QRect& rect) {
  const QFontMetrics metrics = painter.fontMetrics();
  const QRect needed = metrics.boundingRect(QRect(0, 0, rect.width(), INT_MAX / 2),
                                            Qt::TextWordWrap, text);
  if (needed.height() <= rect.height()) {
    painter.drawText(rect, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    return;
  }
  const int lines = std::max(1, rect.height() / LineHeight(metrics));
  const QRect head(rect.left(), rect.top(), rect.width(), (lines - 1) * LineHeight(metrics));
  painter.drawText(head, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
  const QString last = metrics.elidedText(text, Qt::ElideRight, rect.width());
  painter.drawText(QRect(rect.left(), head.bottom() + 1, rect.width(), LineHeight(metrics)),
                   Qt::AlignLeft | Qt::AlignTop, last);
}

}  // namespace

CRecordItemText MakeRecordItemText(const CLocationRecord& record) {
  CRecordItemText text;
  if (record.hasTime) {
    text.hasTime = true;
    text.time = QString::fromStdString(FormatLocalDateTime(record.time));
  }
  if (record.hasNote) {
    text.hasNote = true;
    text.note = QString::fromStdString(record.note);
  }
  if (!record.hasTime && !record.hasNote) {
    text.hasCoordinates = true;
    text.coordinates = AngleText(record.position.latitude) + QStringLiteral(", ") +
                       AngleText(record.position.longitude);
  }
  return text;
}

int MeasureRecordItem(const CRecordItemText& text, const QFontMetrics& metrics, int width) {
  int height = 0;
  if (text.hasTime) height += LineHeight(metrics);
  if (text.hasNote) height += NoteHeight(text.note, metrics, width);
  if (text.hasCoordinates) height += LineHeight(metrics);
  return height;
}

void DrawRecordItem(QPainter& painter, const CRecordItemText& text, const QRect& rect) {
  const QFontMetrics metrics = painter.fontMetrics();
  QRect area = rect;
  const auto line = [&](const QString& value) {
    const QRect lineRect(area.left(), area.top(), area.width(), LineHeight(metrics));
    painter.drawText(lineRect, Qt::AlignLeft | Qt::AlignTop,
                     metrics.elidedText(value, Qt::ElideRight, area.width()));
    area.setTop(area.top() + LineHeight(metrics));
  };
  if (text.hasTime) line(text.time);
  if (text.hasNote) DrawWrapped(painter, text.note, area);
  if (text.hasCoordinates) line(text.coordinates);
}
