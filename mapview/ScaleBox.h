// The scale box of the toolbar: the map scale as a representative fraction
// ("25000分の1"), six preset scales to choose from, and a denominator typed
// and applied with Enter.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "mapview/MapViewState.h"

class QComboBox;

class CScaleBox final : public QWidget, public CMapViewStateListener {
 public:
  static constexpr int kComboId = 1012;

  // Runs one handler; an exception must not leave it.
  using Guard = std::function<void(QWidget* owner, const std::function<void()>& handler)>;

  // unitText follows the denominator ("分の1").
  CScaleBox(const QString& unitText, Guard guard, QWidget* parent = nullptr);
  ~CScaleBox() override;

  // The text form of scale: the denominator rounded half up, then the unit.
  QString ScaleText(double scale) const;
  QComboBox* GetComboBox() const { return m_combo; }
  const std::vector<double>& GetPresets() const { return m_presets; }

  void OnViewStateChanged() override;
  // A preset chosen from the list.
  void OnSelChange(int index);
  // Enter in the text: the number the text starts with is the denominator;
  // 0, or text that does not start with a number, changes nothing.
  void OnApply();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString m_unitText;
  Guard m_guard;
  QComboBox* m_combo;
  std::vector<double> m_presets;
};
