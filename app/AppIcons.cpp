#include "app/AppIcons.h"

#include <QString>
#include <stdexcept>
#include <string>

// Resources of a static library are registered on first use, since nothing
// else would make the linker keep them.
static void EnsureAppResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(app);
    return true;
  }();
  (void)registered;
}

namespace {

QIcon FromResource(const char* name) {
  EnsureAppResources();
  return QIcon(QStringLiteral(":/app/icons/") + QString::fromLatin1(name));
}

}  // namespace

QIcon LoadAppIcon(uint32_t id) {
  switch (id) {
    case IDI_PROGRAM:
      return FromResource("program.svg");
    case IDI_DATABASE:
      return FromResource("database.svg");
    case IDI_FILE_FOLDER:
      return FromResource("file-folder.svg");
    case IDI_FILE:
      return FromResource("file.svg");
    default:
      throw std::out_of_range("Icon Resource Not Found: " + std::to_string(id));
  }
}

QIcon CommandIcon(uint32_t commandId) {
  switch (commandId) {
    case 32784:
      return FromResource("receive.svg");
    case 32779:
      return FromResource("folders.svg");
    case 32780:
      return FromResource("search.svg");
    case 32774:
      return FromResource("zoom-out.svg");
    case 32773:
      return FromResource("zoom-in.svg");
    case 32772:
      return FromResource("fit.svg");
    case 32797:
      return FromResource("center.svg");
    case 32778:
      return FromResource("range-zoom.svg");
    default:
      return QIcon();
  }
}

QCursor LoadAppCursor(uint32_t id) {
  // Drawn at 32 x 32 with their hot spots: the arrow's tip, the cross hairs'
  // centres.
  const char* name = nullptr;
  QPoint hotSpot;
  switch (id) {
    case IDC_SELECT:
      name = "select.svg";
      hotSpot = QPoint(2, 2);
      break;
    case IDC_RANGE_PICK:
      name = "range-pick.svg";
      hotSpot = QPoint(15, 15);
      break;
    case IDC_POINT_PICK:
      name = "point-pick.svg";
      hotSpot = QPoint(15, 15);
      break;
    default:
      throw std::out_of_range("Cursor Resource Not Found: " + std::to_string(id));
  }
  EnsureAppResources();
  const QIcon image(QStringLiteral(":/app/cursors/") + QString::fromLatin1(name));
  return QCursor(image.pixmap(QSize(32, 32)), hotSpot.x(), hotSpot.y());
}
