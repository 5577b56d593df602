#include "mapview/MapViewState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "tests/support/MemorySettingsKey.h"

namespace {

class CTestState : public CMapViewState {
 public:
  using CMapViewState::CMapViewState;
  void ZoomIn() override {}
  void ZoomOut() override {}
  void StartRangeZoom() override {}
  void ZoomTo(double) override {}
  void StartRectanglePick(CPickCallback*) override {}
  void EndPick() override {}
};

class CCountingListener : public CMapViewStateListener {
 public:
  void OnViewStateChanged() override {
    ++calls;
    if (onChange) onChange();
  }
  int calls = 0;
  std::function<void()> onChange;
};

class MapViewStateTest : public ::testing::Test {
 protected:
  std::shared_ptr<CMemorySettingsStore> store = std::make_shared<CMemorySettingsStore>();
  CMemorySettingsKey key{store};
};

TEST_F(MapViewStateTest, FirstRunUsesDefaultsAndWritesThemBack) {
  {
    CTestState state(key);
    EXPECT_EQ(state.GetTopLeft(), LatLon(35.0, 135.0));
    EXPECT_EQ(state.GetScale(), 4e-05);
    EXPECT_FALSE(state.GetConnectLocations());
    EXPECT_FALSE(state.HasCursorPosition());
  }
  EXPECT_EQ(store->String("ViewTopLeftLatitude"), "35");
  EXPECT_EQ(store->String("ViewTopLeftLongitude"), "135");
  EXPECT_EQ(store->String("ViewScale"), "4e-05");
  EXPECT_EQ(std::get<std::vector<uint8_t>>(store->values.at("ConnectLocations")),
            std::vector<uint8_t>{0});
}

TEST_F(MapViewStateTest, ScaleIsClampedToItsLimits) {
  CTestState state(key);
  EXPECT_EQ(state.SetScale(1e-03), 0.00032);
  EXPECT_EQ(state.SetScale(0), 7.8125e-08);
  EXPECT_EQ(state.SetScale(-1), 7.8125e-08);
  EXPECT_EQ(state.SetScale(4e-05), 4e-05);
  double scale = 4e-05;
  for (int i = 0; i < 3; ++i) scale = state.SetScale(scale * 2);
  EXPECT_EQ(scale, 0.00032);
  EXPECT_EQ(state.SetScale(scale * 2), 0.00032);
  scale = state.SetScale(4e-05);
  for (int i = 0; i < 9; ++i) scale = state.SetScale(scale / 2);
  EXPECT_EQ(scale, 7.8125e-08);
  EXPECT_EQ(state.SetScale(scale / 2), 7.8125e-08);
}

TEST_F(MapViewStateTest, NanScaleKeepsThePreviousScale) {
  CTestState state(key);
  state.SetScale(1e-05);
  EXPECT_EQ(state.SetScale(std::numeric_limits<double>::quiet_NaN()), 1e-05);
}

TEST_F(MapViewStateTest, StoredValuesAreReadLikeAStream) {
  store->values["ViewScale"] = std::string("1");
  store->values["ViewTopLeftLatitude"] = std::string("  35.5abc");
  store->values["ViewTopLeftLongitude"] = std::string("east");
  store->values["ConnectLocations"] = std::vector<uint8_t>{1};
  CTestState state(key);
  EXPECT_EQ(state.GetScale(), 0.00032);
  EXPECT_EQ(state.GetTopLeft().first, 35.5);
  EXPECT_EQ(state.GetTopLeft().second, 135.0);  // no number: the default
  EXPECT_TRUE(state.GetConnectLocations());
}

TEST_F(MapViewStateTest, ValuesKeepSixSignificantDigitsAcrossARestart) {
  {
    CTestState state(key);
    state.SetTopLeft({35.6812345, 139.7671234});
    state.SetScale(7.8125e-08);
    state.SetConnectLocations(true);
  }
  EXPECT_EQ(store->String("ViewTopLeftLatitude"), "35.6812");
  EXPECT_EQ(store->String("ViewTopLeftLongitude"), "139.767");
  EXPECT_EQ(store->String("ViewScale"), "7.8125e-08");
  CTestState again(key);
  EXPECT_EQ(again.GetTopLeft(), LatLon(35.6812, 139.767));
  EXPECT_EQ(again.GetScale(), 7.8125e-08);
  EXPECT_TRUE(again.GetConnectLocations());
  EXPECT_EQ(FormatViewValue(0.00032), "0.00032");
  EXPECT_EQ(ParseViewValue("4e-05", 1.0), 4e-05);
  EXPECT_EQ(ParseViewValue("1e999", 2.0), 2.0);
}

TEST_F(MapViewStateTest, NumbersIgnoreTheUserLocale) {
  const char* old = setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
  {
    CTestState state(key);
    state.SetTopLeft({35.25, 139.5});
  }
  setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(store->String("ViewTopLeftLatitude"), "35.25");
}

TEST_F(MapViewStateTest, ListenersHearChangesButNotTheCursor) {
  CTestState state(key);
  CCountingListener listener;
  state.AddListener(&listener);
  state.AddListener(&listener);
  EXPECT_EQ(listener.GetViewState(), &state);
  state.SetCursorPosition({1.0, 2.0});
  EXPECT_TRUE(state.HasCursorPosition());
  EXPECT_EQ(state.GetCursorPosition(), LatLon(1.0, 2.0));
  state.ClearCursorPosition();
  EXPECT_FALSE(state.HasCursorPosition());
  EXPECT_EQ(listener.calls, 0);
  state.SetScale(1e-05);
  state.SetTopLeft({1.0, 2.0});
  state.SetConnectLocations(true);
  EXPECT_EQ(listener.calls, 3);  // once each, though added twice
  state.RemoveListener(&listener);
  EXPECT_EQ(listener.GetViewState(), nullptr);
  state.Notify();
  EXPECT_EQ(listener.calls, 3);
}

TEST_F(MapViewStateTest, UpdateBracketsNotifyOnceAtTheOutermostEnd) {
  CTestState state(key);
  CCountingListener listener;
  state.AddListener(&listener);
  state.EndUpdate();  // no open bracket: nothing
  EXPECT_EQ(listener.calls, 0);
  state.BeginUpdate();
  state.BeginUpdate();
  state.SetScale(2e-05);
  state.SetTopLeft({3.0, 4.0});
  state.EndUpdate();
  EXPECT_EQ(listener.calls, 0);
  state.EndUpdate();
  EXPECT_EQ(listener.calls, 1);
  {
    state.BeginUpdate();
    CMapViewUpdateGuard guard(&state);
  }
  EXPECT_EQ(listener.calls, 2);  // also when nothing changed
}

TEST_F(MapViewStateTest, AListenerMayRemoveAnotherWhileBeingTold) {
  CTestState state(key);
  CCountingListener first, second;
  CCountingListener* low = &first < &second ? &first : &second;
  CCountingListener* high = low == &first ? &second : &first;
  low->onChange = [&] { state.RemoveListener(high); };
  state.AddListener(low);
  state.AddListener(high);
  state.Notify();
  EXPECT_EQ(low->calls, 1);
  EXPECT_EQ(high->calls, 0);
}

TEST_F(MapViewStateTest, SaveReportsWriteFailuresAndTheDestructorStillLetsItsListenersGo) {
  CCountingListener listener;
  auto state = std::make_unique<CTestState>(key);
  state->AddListener(&listener);
  store->failWrites = true;
  EXPECT_THROW(state->SaveSettings(), std::runtime_error);
  // The save that fails in the destructor does not cut it short: a listener
  // left pointing at the gone state would call into it when it goes itself.
  state.reset();
  EXPECT_EQ(listener.GetViewState(), nullptr);
}

}  // namespace
