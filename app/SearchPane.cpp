#include "app/SearchPane.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <sstream>

#include "app/RunGuarded.h"
#include "app/SearchFolder.h"
#include "location/Angle.h"
#include "location/CoordinateText.h"
#include "location/IteratorAdaptors.h"
#include "mapview/PickCallback.h"

namespace {

CSearchPane* g_searchPane = nullptr;

// The callback of one rectangle pick. The map may hold it longer than the
// pane lives (a pane destroyed while its pick runs): it reaches the pane only
// through the shared slot that the pane empties when it goes, and it deletes
// itself in whichever operation the tool calls.
class CSearchPickCallback final : public CPickCallback {
 public:
  explicit CSearchPickCallback(std::shared_ptr<CSearchPane*> pane) : m_pane(std::move(pane)) {}

  void OnPickCancelled() override {
    CSearchPane* pane = *m_pane;
    delete this;
    if (pane) RunGuarded(pane, [&] { pane->OnPickCancelled(); });
  }

  void OnPicked(const void* result) override {
    CSearchPane* pane = *m_pane;
    const CGeoRect rectangle = *static_cast<const CGeoRect*>(result);
    delete this;
    if (pane) RunGuarded(pane, [&] { pane->OnPicked(rectangle); });
  }

 private:
  std::shared_ptr<CSearchPane*> m_pane;
};

QPushButton* MakeButton(const char* text, int id, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::number(id));
  return button;
}

}  // namespace

std::string FormatSearchRange(const CGeoRect& range) {
  std::ostringstream text;
  FormatDms(text, DegreesToDms(range.top)) << '\n';
  FormatDms(text, DegreesToDms(range.left)) << '\n';
  FormatDms(text, DegreesToDms(range.bottom)) << '\n';
  FormatDms(text, DegreesToDms(range.right));
  return text.str();
}

CSearchPane::CSearchPane(CSearchFolder& folder, QWidget* parent)
    : QWidget(parent), m_folder(folder), m_self(std::make_shared<CSearchPane*>(this)) {
  setObjectName(QStringLiteral("207"));
  auto* rangeLabel = new QLabel(QStringLiteral("位置 :"), this);
  m_rangeText = new QLabel(this);
  m_rangeText->setObjectName(QString::number(IDC_RANGE_TEXT));
  m_rangeText->setTextFormat(Qt::PlainText);
  m_rangeText->setAlignment(Qt::AlignRight | Qt::AlignTop);
  m_rangeText->setMinimumHeight(m_rangeText->fontMetrics().lineSpacing() * 4);
  m_rangeToggle = MakeButton("範囲指定(&A)", IDC_RANGE_TOGGLE, this);
  m_rangeToggle->setCheckable(true);
  m_clearRange = MakeButton("範囲クリア(&C)", IDC_CLEAR_RANGE, this);
  auto* noteLabel = new QLabel(QStringLiteral("メモ(&O) :"), this);
  m_note = new QLineEdit(this);
  m_note->setObjectName(QString::number(IDC_NOTE));
  noteLabel->setBuddy(m_note);
  m_search = MakeButton("検索(&S)", IDC_SEARCH, this);
  m_search->setDefault(true);
  auto* placeholder = new QLabel(this);
  placeholder->setObjectName(QString::number(IDC_PLACEHOLDER));

  // The buttons share one width and keep it: they stay at the right edge
  // while the range text, the note and the list take the rest.
  int buttonWidth = 0;
  for (QPushButton* button : {m_rangeToggle, m_clearRange, m_search})
    buttonWidth = std::max(buttonWidth, button->sizeHint().width());
  for (QPushButton* button : {m_rangeToggle, m_clearRange, m_search})
    button->setFixedWidth(buttonWidth);

  auto* note = new QHBoxLayout;
  note->setContentsMargins(0, 0, 0, 0);
  note->addWidget(noteLabel);
  note->addWidget(m_note, 1);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(3);
  layout->addWidget(rangeLabel, 0, 0, 1, 2);
  layout->addWidget(m_rangeText, 1, 0, 2, 1);
  layout->addWidget(m_rangeToggle, 1, 1);
  layout->addWidget(m_clearRange, 2, 1, Qt::AlignTop);
  layout->addLayout(note, 3, 0, 1, 2);
  layout->addWidget(m_search, 4, 1);
  layout->addWidget(placeholder, 5, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(5, 1);

  m_list = new CRecordListDialog(this, this);
  ReplacePlaceholder(m_list, this, IDC_PLACEHOLDER);
  SetRange(std::nullopt);
  Refill();
  SyncSelection();

  connect(m_search, &QPushButton::clicked, this, [this] { RunGuarded(this, [&] { OnSearch(); }); });
  connect(m_rangeToggle, &QPushButton::clicked, this,
          [this](bool checked) { RunGuarded(this, [&] { OnRangeToggled(checked); }); });
  connect(m_clearRange, &QPushButton::clicked, this,
          [this] { RunGuarded(this, [&] { OnClearRange(); }); });
  g_searchPane = this;
}

CSearchPane::~CSearchPane() {
  if (g_searchPane == this) g_searchPane = nullptr;
  try {
    CancelPick();
  } catch (...) {
    // The pick's callback no longer reaches this pane either way.
  }
  *m_self = nullptr;
}

CSearchPane* CSearchPane::GetInstance() { return g_searchPane; }

void CSearchPane::SetRange(const std::optional<CGeoRect>& range) {
  m_range = range;
  m_rangeText->setText(range ? QString::fromStdString(FormatSearchRange(*range)) : QString());
}

CSearchCriteria CSearchPane::MakeCriteria() const {
  CSearchCriteria criteria;
  criteria.rect = m_range;
  const std::string text = m_note->text().toStdString();
  if (!text.empty()) criteria.words.push_back(text);
  criteria.oldestFirst = false;
  return criteria;
}

void CSearchPane::OnSearch() {
  m_folder.SetSelection(MakeNullIntIterator(), MakeNullIntIterator());
  m_folder.RunQuery(MakeCriteria());
}

void CSearchPane::OnRangeToggled(bool checked) {
  CMapViewState* state = m_viewStateListener.GetViewState();
  if (!checked) {
    if (!m_picking) return;
    m_picking = false;
    EndPickOnMap();
    return;
  }
  if (m_picking) return;
  if (state == nullptr) {
    // No map to pick on.
    m_rangeToggle->setChecked(false);
    return;
  }
  m_picking = true;
  try {
    state->StartRectanglePick(new CSearchPickCallback(m_self));
  } catch (...) {
    m_picking = false;
    m_rangeToggle->setChecked(false);
    throw;
  }
}

void CSearchPane::OnClearRange() { SetRange(std::nullopt); }

void CSearchPane::OnPicked(const CGeoRect& rectangle) {
  if (!m_picking) return;
  m_picking = false;
  SetRange(NormalizeGeoRect(rectangle));
  m_rangeToggle->setChecked(false);
  EndPickOnMap();
}

void CSearchPane::OnPickCancelled() {
  // A cancel that follows the pane's own end of the pick changes nothing.
  if (!m_picking) return;
  m_picking = false;
  m_rangeToggle->setChecked(false);
  EndPickOnMap();
}

void CSearchPane::CancelPick() {
  if (!m_picking) return;
  m_picking = false;
  m_rangeToggle->setChecked(false);
  EndPickOnMap();
}

void CSearchPane::EndPickOnMap() {
  if (CMapViewState* state = m_viewStateListener.GetViewState()) state->EndPick();
}

void CSearchPane::Refill() { FillFromSource(*m_list, m_folder); }

void CSearchPane::SyncSelection() { ShowSourceSelection(*m_list, m_folder); }

void CSearchPane::OnListSelectionChanged() { PassSelectionToSource(*m_list, m_folder); }

void CSearchPane::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // The default button's key, wherever the focus is in the pane.
      if (m_search->isEnabled()) m_search->click();
      event->accept();
      return;
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CSearchPane::closeEvent(QCloseEvent* event) { event->ignore(); }

void CSearchPane::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // A window minimised keeps its pick; a pane taken away does not.
  if (!event->spontaneous()) RunGuarded(this, [&] { CancelPick(); });
}
