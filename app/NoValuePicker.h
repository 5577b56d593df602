// A date or time picker that can show no value at all, as the property
// window's pickers do while no single record with a time is shown.
#pragma once

#include <QDateEdit>
#include <QSignalBlocker>
#include <QTimeEdit>

// Base is QDateEdit or QTimeEdit.
template <class Base>
class CNoValuePicker : public Base {
 public:
  // The value is a wall clock reading, never converted between zones: a
  // time the machine's clocks skipped is still shown as it is.
  explicit CNoValuePicker(QWidget* parent) : Base(parent) { this->setTimeSpec(Qt::UTC); }

  // Empties the text; the value underneath stays, and is what the picker
  // shows again once the user steps into it.
  void ShowNoValue() {
    m_noValue = true;
    Refresh();
  }
  // Shows value, telling nobody.
  void ShowValue(const QDateTime& value) {
    m_noValue = false;
    const QSignalBlocker quiet(this);
    this->setDateTime(value);
    Refresh();
  }
  bool HasNoValue() const { return m_noValue; }

 protected:
  QString textFromDateTime(const QDateTime& value) const override {
    return m_noValue ? QString() : Base::textFromDateTime(value);
  }
  void focusInEvent(QFocusEvent* event) override {
    ShowHiddenValue();
    Base::focusInEvent(event);
  }
  void stepBy(int steps) override {
    ShowHiddenValue();
    Base::stepBy(steps);
  }

 private:
  void ShowHiddenValue() {
    if (!m_noValue) return;
    m_noValue = false;
    Refresh();
  }
  // Setting the same value writes the text again.
  void Refresh() {
    const QSignalBlocker quiet(this);
    this->setDateTime(this->dateTime());
  }

  bool m_noValue = false;
};

using CDatePicker = CNoValuePicker<QDateEdit>;
using CTimePicker = CNoValuePicker<QTimeEdit>;
