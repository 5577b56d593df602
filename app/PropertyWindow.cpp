#include "app/PropertyWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "app/AppCore.h"
#include "app/ConversionDialogs.h"
#include "app/DialogParts.h"
#include "app/RunGuarded.h"
#include "app/ScreenFit.h"
#include "location/CoordinateText.h"
#include "location/IteratorAdaptors.h"
#include "location/SettingsKey.h"

namespace {

// The user's short date, with the year written in full.
QString ShortDateFormat() {
  QString format = QLocale().dateFormat(QLocale::ShortFormat);
  if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  return format;
}

bool SameRecord(const CLocationRecord& a, const CLocationRecord& b) {
  const CPosition& p = a.position;
  const CPosition& q = b.position;
  return p.fixMode == q.fixMode && p.datum == q.datum && SameAngle(p.latitude, q.latitude) &&
         SameAngle(p.longitude, q.longitude) && p.altitude == q.altitude &&
         p.semiMajorAxisError == q.semiMajorAxisError &&
         p.semiMinorAxisError == q.semiMinorAxisError && p.verticalError == q.verticalError &&
         p.majorAxisAngle == q.majorAxisAngle && p.hasFixMode == q.hasFixMode &&
         p.hasAltitude == q.hasAltitude && p.hasSemiMajorAxisError == q.hasSemiMajorAxisError &&
         p.hasSemiMinorAxisError == q.hasSemiMinorAxisError &&
         p.hasVerticalError == q.hasVerticalError && p.hasMajorAxisAngle == q.hasMajorAxisAngle &&
         a.time == b.time && a.note == b.note && a.hasTime == b.hasTime && a.hasNote == b.hasNote;
}

}  // namespace

CPropertyWindow::CPropertyWindow(CAppCore& core, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), m_core(&core) {
  setObjectName(QStringLiteral("211"));
  setWindowTitle(QStringLiteral("位置記録のプロパティ"));
  setModal(false);
  BuildControls();
  RestorePosition();
  core.AddListener(this);
  m_reload = true;
  m_pendingEdit = 0;
  RunGuarded(this, [&] { Show(); });
}

CPropertyWindow::~CPropertyWindow() {
  // The controls go after this part of the window: what they send while they
  // go (a focused edit loses its focus) must not reach it.
  for (QObject* child : findChildren<QObject*>()) {
    child->removeEventFilter(this);
    child->disconnect(this);
  }
  try {
    Detach();
  } catch (...) {
    // The position is kept best effort when the window goes with its owner.
  }
}

void CPropertyWindow::BuildControls() {
  m_hasTime = new QCheckBox(QStringLiteral("有効(&E)"), this);
  m_date = new CDatePicker(this);
  m_date->setDisplayFormat(ShortDateFormat());
  m_date->setDate(QDate::currentDate());
  m_time = new CTimePicker(this);
  m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  // A value counts once it is complete, not at every key.
  m_date->setKeyboardTracking(false);
  m_time->setKeyboardTracking(false);
  m_datum = new QComboBox(this);
  for (int i = 0; i < GetDatumCount(); ++i)
    m_datum->addItem(QString::fromStdString(GetDatumByIndex(i).GetName()));
  m_operations = new QPushButton(QStringLiteral("操作(&O)..."), this);
  m_operations->setObjectName(QString::number(IDC_PROPERTY_OPERATIONS));
  // Enter closes the window; it never opens the menu.
  m_operations->setAutoDefault(false);

  for (int id : kPropertyEdits) {
    QWidget* edit = nullptr;
    if (id == IDC_PROPERTY_NOTE) {
      auto* note = new QPlainTextEdit(this);
      note->setTabChangesFocus(true);
      connect(note, &QPlainTextEdit::textChanged, this, [this, id] {
        if (!m_filling) m_pendingEdit = id;
      });
      edit = note;
    } else {
      auto* line = new QLineEdit(this);
      connect(line, &QLineEdit::textEdited, this, [this, id] {
        if (!m_filling) m_pendingEdit = id;
      });
      if (id == IDC_PROPERTY_ALTITUDE) line->setAlignment(Qt::AlignRight);
      edit = line;
    }
    edit->setObjectName(QString::number(id));
    edit->installEventFilter(this);
    m_edits[id] = edit;
  }
  m_hasTime->setObjectName(QString::number(IDC_PROPERTY_HAS_TIME));
  m_date->setObjectName(QString::number(IDC_PROPERTY_DATE));
  m_time->setObjectName(QString::number(IDC_PROPERTY_TIME));
  m_datum->setObjectName(QString::number(IDC_PROPERTY_DATUM));
  m_valueControls = {m_hasTime,
                     m_date,
                     m_time,
                     m_edits.at(IDC_PROPERTY_ZONE),
                     m_edits.at(IDC_PROPERTY_LATITUDE),
                     m_edits.at(IDC_PROPERTY_LONGITUDE),
                     m_edits.at(IDC_PROPERTY_ALTITUDE),
                     m_datum,
                     m_edits.at(IDC_PROPERTY_FIX_MODE),
                     m_edits.at(IDC_PROPERTY_SEMI_MAJOR),
                     m_edits.at(IDC_PROPERTY_SEMI_MINOR),
                     m_edits.at(IDC_PROPERTY_VERTICAL),
                     m_edits.at(IDC_PROPERTY_MAJOR_AXIS_ANGLE),
                     m_edits.at(IDC_PROPERTY_NOTE)};

  auto* timeGroup = new QGroupBox(QStringLiteral("現地時刻"), this);
  auto* timeGrid = new QGridLayout(timeGroup);
  timeGrid->addWidget(m_hasTime, 0, 0, 1, 2);
  timeGrid->addWidget(BuddyLabel("日付(&A) :", m_date, timeGroup), 1, 0);
  timeGrid->addWidget(m_date, 1, 1);
  timeGrid->addWidget(BuddyLabel("時刻(&T) :", m_time, timeGroup), 2, 0);
  timeGrid->addWidget(m_time, 2, 1);
  timeGrid->addWidget(BuddyLabel("時差(&Z) :", m_edits.at(IDC_PROPERTY_ZONE), timeGroup), 3, 0);
  timeGrid->addWidget(m_edits.at(IDC_PROPERTY_ZONE), 3, 1);
  timeGrid->setRowStretch(4, 1);

  auto* positionGroup = new QGroupBox(QStringLiteral("位置"), this);
  auto* positionGrid = new QGridLayout(positionGroup);
  const std::pair<const char*, QWidget*> positionRows[] = {
      {"緯度(&B) :", m_edits.at(IDC_PROPERTY_LATITUDE)},
      {"経度(&L) :", m_edits.at(IDC_PROPERTY_LONGITUDE)},
      {"高度(&H) :", m_edits.at(IDC_PROPERTY_ALTITUDE)},
      {"測地系(&D) :", m_datum}};
  int row = 0;
  for (const auto& [text, control] : positionRows) {
    positionGrid->addWidget(BuddyLabel(text, control, positionGroup), row, 0);
    positionGrid->addWidget(control, row++, 1);
  }
  positionGrid->addWidget(m_operations, row, 1, Qt::AlignRight);

  auto* accuracyGroup = new QGroupBox(QStringLiteral("精度"), this);
  auto* accuracyGrid = new QGridLayout(accuracyGroup);
  const std::pair<const char*, int> accuracyRows[] = {
      {"測位法(&F) :", IDC_PROPERTY_FIX_MODE},
      {"長軸誤差半径(&1) :", IDC_PROPERTY_SEMI_MAJOR},
      {"短軸誤差半径(&2) :", IDC_PROPERTY_SEMI_MINOR},
      {"垂直誤差(&3) :", IDC_PROPERTY_VERTICAL},
      {"長軸角度(&4) :", IDC_PROPERTY_MAJOR_AXIS_ANGLE}};
  row = 0;
  for (const auto& [text, id] : accuracyRows) {
    accuracyGrid->addWidget(BuddyLabel(text, m_edits.at(id), accuracyGroup), row, 0);
    accuracyGrid->addWidget(m_edits.at(id), row++, 1);
  }

  auto* noteGroup = new QGroupBox(QStringLiteral("メモ(&M)"), this);
  auto* noteLayout = new QVBoxLayout(noteGroup);
  QWidget* note = m_edits.at(IDC_PROPERTY_NOTE);
  note->setMinimumHeight(fontMetrics().lineSpacing() * 3);
  noteLayout->addWidget(note);

  auto* grid = new QGridLayout(this);
  grid->addWidget(timeGroup, 0, 0);
  grid->addWidget(positionGroup, 0, 1);
  grid->addWidget(accuracyGroup, 1, 0);
  grid->addWidget(noteGroup, 1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  // Tab runs through the value controls in their order, which is the reading
  // order of the groups, with the operations button after the datum.
  std::vector<QWidget*> order = m_valueControls;
  order.insert(std::find(order.begin(), order.end(), m_datum) + 1, m_operations);
  for (std::size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

  connect(m_hasTime, &QCheckBox::clicked, this,
          [this] { RunGuarded(this, [&] { CommitTime(); }); });
  const auto pickerChanged = [this] {
    if (m_filling || !m_hasTime->isChecked()) return;
    RunGuarded(this, [&] { CommitTime(); });
  };
  connect(m_date, &QDateTimeEdit::dateTimeChanged, this, pickerChanged);
  connect(m_time, &QDateTimeEdit::dateTimeChanged, this, pickerChanged);
  connect(m_datum, &QComboBox::activated, this,
          [this](int index) { RunGuarded(this, [&] { CommitDatum(index); }); });
  connect(m_operations, &QPushButton::clicked, this, [this] {
    RunGuarded(this, [&] {
      QMenu* menu = CreateOperationsMenu(this);
      QAction* chosen = menu->exec(QCursor::pos());
      const uint32_t id = chosen ? chosen->data().toUInt() : 0;
      delete menu;
      if (id != 0) RunOperation(id);
    });
  });
}

void CPropertyWindow::RestorePosition() {
  CSettingsKey& settings = m_core->GetSettingsKey();
  // Without a stored place the window opens where the platform puts it.
  const uint32_t absent = 0xFFFFFFFFu;
  const uint32_t left = settings.ReadDword(kLeftValue, absent);
  const uint32_t top = settings.ReadDword(kTopValue, absent);
  if (left == absent && settings.ReadDword(kLeftValue, 0) == 0) return;
  if (top == absent && settings.ReadDword(kTopValue, 0) == 0) return;
  // The place is the client area's, as saved; the frame is the window
  // manager's. Screen positions left of or above the first screen are
  // negative. A place saved with other screens or another density may lie
  // off the screens there are now: the window then comes onto one.
  adjustSize();
  setGeometry(PlaceOnScreen(
      QRect(QPoint(static_cast<int32_t>(left), static_cast<int32_t>(top)), size())));
}

void CPropertyWindow::Detach() {
  if (m_detached) return;
  m_detached = true;
  if (m_core == nullptr) return;
  m_core->RemoveListener(this);
  const QPoint place = geometry().topLeft();
  CSettingsKey& settings = m_core->GetSettingsKey();
  settings.WriteDword(kLeftValue, static_cast<uint32_t>(place.x()));
  settings.WriteDword(kTopValue, static_cast<uint32_t>(place.y()));
}

QWidget* CPropertyWindow::GetControl(int id) const {
  switch (id) {
    case IDC_PROPERTY_HAS_TIME:
      return m_hasTime;
    case IDC_PROPERTY_DATE:
      return m_date;
    case IDC_PROPERTY_TIME:
      return m_time;
    case IDC_PROPERTY_DATUM:
      return m_datum;
    case IDC_PROPERTY_OPERATIONS:
      return m_operations;
    default: {
      const auto it = m_edits.find(id);
      return it == m_edits.end() ? nullptr : it->second;
    }
  }
}

QString CPropertyWindow::EditText(int control) const {
  QWidget* edit = m_edits.at(control);
  if (auto* note = qobject_cast<QPlainTextEdit*>(edit)) return note->toPlainText();
  return static_cast<QLineEdit*>(edit)->text();
}

void CPropertyWindow::SetEditText(int control, const QString& text) {
  QWidget* edit = m_edits.at(control);
  if (auto* note = qobject_cast<QPlainTextEdit*>(edit))
    note->setPlainText(text);
  else
    static_cast<QLineEdit*>(edit)->setText(text);
}

bool CPropertyWindow::IsEditReadOnly(int control) const {
  QWidget* edit = m_edits.at(control);
  if (auto* note = qobject_cast<QPlainTextEdit*>(edit)) return note->isReadOnly();
  return static_cast<QLineEdit*>(edit)->isReadOnly();
}

void CPropertyWindow::SetReadOnly(bool readOnly) {
  for (QWidget* control : {static_cast<QWidget*>(m_hasTime), static_cast<QWidget*>(m_date),
                           static_cast<QWidget*>(m_time), static_cast<QWidget*>(m_datum)})
    control->setEnabled(!readOnly);
  for (const auto& [id, edit] : m_edits) {
    if (auto* note = qobject_cast<QPlainTextEdit*>(edit))
      note->setReadOnly(readOnly);
    else
      static_cast<QLineEdit*>(edit)->setReadOnly(readOnly);
  }
}

void CPropertyWindow::EmptyControls() {
  const QScopedValueRollback<bool> filling(m_filling, true);
  for (QWidget* control : m_valueControls) control->setEnabled(false);
  m_hasTime->setChecked(false);
  m_date->ShowNoValue();
  m_time->ShowNoValue();
  m_datum->setCurrentIndex(-1);
  for (int id : kPropertyEdits) SetEditText(id, QString());
}

void CPropertyWindow::Show() {
  if (m_core == nullptr) return;
  std::vector<int32_t> selection;
  m_core->GetActiveSelection(MakeIntBackInserter(selection));
  if (selection.size() != 1) {
    EmptyControls();
    // The next single selection fills the controls again.
    m_reload = true;
    m_pendingEdit = 0;
    return;
  }
  for (QWidget* control : m_valueControls) control->setEnabled(true);
  SetReadOnly(m_core->IsActiveReadOnly());
  if (selection.front() != m_shownIndex) m_reload = true;
  // Without a reload the controls keep what they show, typed text included.
  if (!m_reload) return;

  std::vector<CLocationRecord> records;
  m_core->GetActiveRecords(MakeIntPtrIterator(selection.data()),
                           MakeIntPtrIterator(selection.data() + 1),
                           MakeRecordBackInserter(records));
  if (records.size() != 1) throw std::runtime_error("The selected record cannot be read");
  m_reload = false;
  m_shownIndex = selection.front();
  m_shownSource = &m_core->ActiveSource();
  m_record = records.front();
  Fill();
}

void CPropertyWindow::Fill() {
  const QScopedValueRollback<bool> filling(m_filling, true);
  if (m_record.hasTime) {
    m_hasTime->setChecked(true);
    const CWallClock wall = WallClockOf(m_record.time);
    const QDate date(wall.year, wall.month, wall.day);
    const QTime time(wall.hour, wall.minute, wall.second);
    m_date->ShowValue(QDateTime(date, QTime(0, 0), Qt::UTC));
    m_time->ShowValue(QDateTime(m_time->date(), time, Qt::UTC));
  } else {
    // The pickers and the zone keep what they showed.
    m_hasTime->setChecked(false);
  }
  for (int id : kPropertyEdits) {
    if (id == IDC_PROPERTY_ZONE && !m_record.hasTime) continue;
    QString text = QString::fromStdString(PropertyFieldText(m_record, id));
    // A line break is one line break in the edit.
    if (id == IDC_PROPERTY_NOTE) text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    SetEditText(id, text);
  }
  {
    const QSignalBlocker quiet(m_datum);
    m_datum->setCurrentIndex(GetDatumIndex(m_record.position.datum));
  }
  m_pendingEdit = 0;
}

void CPropertyWindow::Commit(const CLocationRecord& record) {
  const int32_t index = m_shownIndex;
  // The window hears of its own change and shows the record again.
  m_core->ReplaceActiveRecords(MakeIntPtrIterator(&index), MakeIntPtrIterator(&index + 1),
                               MakeRecordPtrIterator(&record));
}

void CPropertyWindow::CommitField(int control) {
  if (m_pendingEdit != control || IsEditReadOnly(control)) return;
  // Cleared first: a refused text is not tried again on the next leave.
  m_pendingEdit = 0;
  if (control == IDC_PROPERTY_ZONE && m_hasTime->isChecked()) {
    CommitTime();
    return;
  }
  Commit(ApplyPropertyFieldText(m_record, control, EditText(control).toStdString()));
}

void CPropertyWindow::CommitTime() {
  // Text typed elsewhere goes in first; the zone's own text is read here.
  if (m_pendingEdit == IDC_PROPERTY_ZONE)
    m_pendingEdit = 0;
  else
    CommitPendingEdit();
  CLocationRecord record = m_record;
  if (m_hasTime->isChecked()) {
    const QDate date = m_date->date();
    const QTime time = m_time->time();
    const CWallClock wall{date.year(), date.month(), date.day(),
                          time.hour(), time.minute(), time.second()};
    const int32_t offset = ParseZoneOffset(EditText(IDC_PROPERTY_ZONE).toStdString());
    record.time = ZonedTimeOfWallClock(wall, offset);
    record.hasTime = true;
  } else {
    // The time stays in the record, unused.
    record.hasTime = false;
  }
  Commit(record);
}

void CPropertyWindow::CommitDatum(int index) {
  // Choosing the datum already shown changes nothing.
  if (index < 0 || GetDatumByIndex(index) == m_record.position.datum) return;
  CommitPendingEdit();
  CLocationRecord record = m_record;
  record.position.datum = GetDatumByIndex(index);
  Commit(record);
}

void CPropertyWindow::CommitPendingEdit() {
  if (m_pendingEdit != 0) CommitField(m_pendingEdit);
}

void CPropertyWindow::CommitPendingIfStillShown() {
  if (m_pendingEdit == 0 || m_core == nullptr) return;
  std::vector<CLocationRecord> records;
  const int32_t index = m_shownIndex;
  if (&m_core->ActiveSource() == m_shownSource && index >= 0 &&
      index < m_core->GetActiveRecordCount()) {
    m_core->GetActiveRecords(MakeIntPtrIterator(&index), MakeIntPtrIterator(&index + 1),
                             MakeRecordBackInserter(records));
  }
  if (records.size() == 1 && SameRecord(records.front(), m_record)) {
    CommitPendingEdit();
  } else {
    // The record it was typed for is no longer there to take it.
    m_pendingEdit = 0;
  }
}

QMenu* CPropertyWindow::CreateOperationsMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("217"));
  QAction* datum = menu->addAction(QStringLiteral("測地系の変更(&D)..."));
  datum->setData(static_cast<uint>(ID_PROPERTY_CHANGE_DATUM));
  QAction* unit = menu->addAction(QStringLiteral("座標単位の変更(&U)..."));
  unit->setData(static_cast<uint>(ID_PROPERTY_CHANGE_UNIT));
  return menu;
}

void CPropertyWindow::RunOperation(uint32_t id) {
  if (m_core == nullptr) return;
  CommitPendingEdit();
  if (id == ID_PROPERTY_CHANGE_DATUM) ChangeDatum(*m_core);
  if (id == ID_PROPERTY_CHANGE_UNIT) ChangeUnit(*m_core);
}

void CPropertyWindow::OnRecordsChanged() {
  RunGuarded(this, [&] { CommitPendingIfStillShown(); });
  m_reload = true;
  RunGuarded(this, [&] { Show(); });
}

void CPropertyWindow::OnSelectionChanged() {
  RunGuarded(this, [&] {
    // Typed text belongs to the record it was typed for, not the next one.
    std::vector<int32_t> selection;
    m_core->GetActiveSelection(MakeIntBackInserter(selection));
    if (!(selection.size() == 1 && selection.front() == m_shownIndex)) CommitPendingIfStillShown();
  });
  RunGuarded(this, [&] { Show(); });
}

void CPropertyWindow::OnCoreDestroyed() {
  if (m_core) m_core->RemoveListener(this);
  m_core = nullptr;
  m_detached = true;
  m_pendingEdit = 0;
}

void CPropertyWindow::done(int result) {
  // Typed text goes in before the window does; a refused text keeps it open.
  if (!RunGuarded(this, [&] { CommitPendingEdit(); })) return;
  RunGuarded(this, [&] { Detach(); });
  QDialog::done(result);
  deleteLater();
}

void CPropertyWindow::keyPressEvent(QKeyEvent* event) {
  // Enter closes the window as Esc does; no button is its default.
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      accept();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

bool CPropertyWindow::eventFilter(QObject* watched, QEvent* event) {
  const int id = watched->objectName().toInt();
  if (event->type() == QEvent::FocusOut && m_edits.count(id) != 0) {
    RunGuarded(this, [&] { CommitField(id); });
  } else if (event->type() == QEvent::KeyPress && id == IDC_PROPERTY_NOTE) {
    // Enter closes the window from the note too; Ctrl+Enter starts a new line.
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (key->modifiers() & Qt::ControlModifier) {
        static_cast<QPlainTextEdit*>(watched)->insertPlainText(QStringLiteral("\n"));
      } else {
        accept();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}
