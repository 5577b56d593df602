#include "mapview/ScaleBox.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <cmath>
#include <utility>

#include "location/NumberText.h"

CScaleBox::CScaleBox(const QString& unitText, Guard guard, QWidget* parent)
    : QWidget(parent),
      m_unitText(unitText),
      m_guard(std::move(guard)),
      m_combo(new QComboBox(this)),
      m_presets{0.0001, 4e-05, 2e-05, 1e-05, 5e-06, 2e-06} {
  setObjectName(QStringLiteral("ScaleBox"));
  m_combo->setObjectName(QString::number(kComboId));
  m_combo->setEditable(true);
  // What is typed is applied, never added to the list.
  m_combo->setInsertPolicy(QComboBox::NoInsert);
  // No completion from the list: a typed 1000 must not become 10000分の1.
  m_combo->setCompleter(nullptr);
  m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (const double preset : m_presets) m_combo->addItem(ScaleText(preset));
  // Room for the longest text the box can show.
  m_combo->setMinimumWidth(m_combo->fontMetrics().horizontalAdvance(ScaleText(7.8125e-08)) +
                           m_combo->fontMetrics().averageCharWidth() * 6);
  // Enter reaches the combo box, which has the focus, or its line edit when
  // sent there; either way it applies the text and goes no further.
  m_combo->installEventFilter(this);
  m_combo->lineEdit()->installEventFilter(this);
  connect(m_combo, &QComboBox::activated, this,
          [this](int index) { m_guard(this, [&] { OnSelChange(index); }); });
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_combo);
}

CScaleBox::~CScaleBox() {
  // The children go after this part of the box: nothing of theirs may call
  // back into it on the way (a focus leaving the line edit, for one).
  m_combo->disconnect(this);
  m_combo->removeEventFilter(this);
  m_combo->lineEdit()->removeEventFilter(this);
}

QString CScaleBox::ScaleText(double scale) const {
  const double denominator = std::floor(1.0 / scale + 0.5);
  // Scales of the view state lie within its limits; anything else shows as
  // it can.
  if (!std::isfinite(denominator)) return m_unitText;
  return QString::number(static_cast<qlonglong>(denominator)) + m_unitText;
}

void CScaleBox::OnViewStateChanged() {
  const CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  m_combo->setEditText(ScaleText(state->GetScale()));
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && (focus == m_combo || m_combo->isAncestorOf(focus)))
    m_combo->lineEdit()->selectAll();
}

void CScaleBox::OnSelChange(int index) {
  CMapViewState* state = GetViewState();
  if (state == nullptr || index < 0 || static_cast<std::size_t>(index) >= m_presets.size()) return;
  state->ZoomTo(m_presets[static_cast<std::size_t>(index)]);
}

void CScaleBox::OnApply() {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  const std::string text = m_combo->currentText().left(256).toStdString();
  std::size_t used = 0;
  const double denominator = ParseDouble(text, &used);
  if (used == 0 || denominator == 0.0 || !std::isfinite(denominator)) return;
  state->ZoomTo(1.0 / denominator);
}

bool CScaleBox::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == m_combo || watched == m_combo->lineEdit()) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      m_guard(this, [&] { OnApply(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
