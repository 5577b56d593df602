#include "app/DayView.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/DayFolder.h"
#include "app/LocalDay.h"
#include "app/RunGuarded.h"
#include "location/IteratorAdaptors.h"

CDayView::CDayView(CDayFolder& folder, QWidget* parent) : QWidget(parent), m_folder(folder) {
  setObjectName(QStringLiteral("206"));
  auto* label = new QLabel(QStringLiteral("日付(&D) :"), this);
  m_date = new QDateEdit(this);
  m_date->setObjectName(QString::number(IDC_DATE));
  m_date->setCalendarPopup(true);
  m_date->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
  m_date->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // A date typed in counts once it is complete, not at every key.
  m_date->setKeyboardTracking(false);
  label->setBuddy(m_date);
  m_previous = new QPushButton(QStringLiteral("前(&P)"), this);
  m_previous->setObjectName(QString::number(IDC_PREVIOUS_DAY));
  m_next = new QPushButton(QStringLiteral("次(&N)"), this);
  m_next->setObjectName(QString::number(IDC_NEXT_DAY));
  auto* placeholder = new QLabel(this);
  placeholder->setObjectName(QString::number(IDC_PLACEHOLDER));

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->addStretch(1);
  buttons->addWidget(m_previous);
  buttons->addWidget(m_next);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(3);
  layout->addWidget(label);
  layout->addWidget(m_date);
  layout->addLayout(buttons);
  layout->addWidget(placeholder, 1);

  m_list = new CRecordListDialog(this, this);
  ReplacePlaceholder(m_list, this, IDC_PLACEHOLDER);

  Refill();
  ShowDate(LocalDateOf(m_folder.GetDate()));
  SyncSelection();

  connect(m_date, &QDateEdit::dateChanged, this, [this](const QDate& date) {
    if (date.isValid() && !RunGuarded(this, [&] { OnDateChanged(date); })) {
      // The folder keeps its day; so does the picker.
      RunGuarded(this, [&] { ShowDate(LocalDateOf(m_folder.GetDate())); });
    }
  });
  connect(m_previous, &QPushButton::clicked, this,
          [this] { RunGuarded(this, [&] { StepDay(-1); }); });
  connect(m_next, &QPushButton::clicked, this, [this] { RunGuarded(this, [&] { StepDay(1); }); });
}

void CDayView::Refill() { FillFromSource(*m_list, m_folder); }

void CDayView::SyncSelection() { ShowSourceSelection(*m_list, m_folder); }

void CDayView::ShowDate(const QDate& date) {
  const QSignalBlocker quiet(m_date);
  m_date->setDate(date);
}

void CDayView::OnDateChanged(const QDate& date) {
  // Converted first: a date that cannot be shown changes nothing.
  const int32_t midnight = LocalMidnightOf(date);
  m_folder.SetSelection(MakeNullIntIterator(), MakeNullIntIterator());
  m_folder.SetDate(midnight);
}

void CDayView::StepDay(int days) {
  const QDate shown = m_date->date();
  if (!shown.isValid()) return;
  // A calendar step: a day with a daylight-saving change is not 24 hours long.
  const QDate date = shown.addDays(days);
  LocalMidnightOf(date);
  ShowDate(date);
  OnDateChanged(date);
}

void CDayView::OnListSelectionChanged() { PassSelectionToSource(*m_list, m_folder); }
