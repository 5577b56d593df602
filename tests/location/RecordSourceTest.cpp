#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "location/IteratorAdaptors.h"
#include "location/RecordListSource.h"
#include "location/RecordSource.h"

namespace {

struct Journal {
  std::vector<std::string> events;
};

struct RecordingObserver : CRecordSourceObserver {
  Journal* journal;
  std::string name;
  RecordingObserver(Journal* journal, std::string name) : journal(journal), name(std::move(name)) {}
  void OnSourceDestroyed(CRecordSource&) override { journal->events.push_back(name + ":gone"); }
  void OnRecordsChanged(CRecordSource&) override { journal->events.push_back(name + ":records"); }
  void OnSelectionChanged(CRecordSource&) override {
    journal->events.push_back(name + ":selection");
  }
};

// A minimal source over a vector, enough to raise notifications.
struct VectorSource : CRecordSource {
  std::vector<CLocationRecord> records;
  QWidget* CreateWindow(QWidget*) override { return nullptr; }
  void DestroyWindow() override {}
  void EnumerateAll(CRecordOutputIteratorRef) override {}
  int32_t Count() const override { return static_cast<int32_t>(records.size()); }
  void GetRecords(CIntIteratorRef, CIntIteratorRef, CRecordOutputIteratorRef) override {}
  void ReplaceRecords(CIntIteratorRef, CIntIteratorRef, CRecordIteratorRef) override {}
  void RemoveRecords(CIntIteratorRef, CIntIteratorRef) override {}
  void InsertRecords(int32_t, CRecordIteratorRef, CRecordIteratorRef) override {
    records.emplace_back();
    NotifyRecordsAndSelectionChanged();
  }
  void SetSelection(CIntIteratorRef, CIntIteratorRef) override { NotifySelectionChanged(); }
  void GetSelection(CIntOutputIteratorRef) override {}
  bool IsReadOnly() const override { return false; }
  void Refresh() override {}
};

void ExpectReadOnly(const std::function<void()>& edit) {
  try {
    edit();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "readonly");
  }
}

}  // namespace

TEST(EmptyRecordSource, RefusesEditsOfNonEmptyRanges) {
  CEmptyRecordSource& source = GetEmptyRecordSource();
  EXPECT_EQ(&source, &GetEmptyRecordSource());
  EXPECT_TRUE(source.IsReadOnly());
  EXPECT_EQ(source.Count(), 0);
  EXPECT_EQ(source.CreateWindow(nullptr), nullptr);

  const int32_t one[] = {0};
  source.RemoveRecords(MakeNullIntIterator(), MakeNullIntIterator());
  source.ReplaceRecords(MakeNullIntIterator(), MakeNullIntIterator(), MakeEmptyRecordIterator());
  ExpectReadOnly(
      [&] { source.RemoveRecords(MakeIntPtrIterator(one), MakeIntPtrIterator(one + 1)); });
  ExpectReadOnly([&] {
    source.ReplaceRecords(MakeIntPtrIterator(one), MakeIntPtrIterator(one + 1),
                          MakeEmptyRecordIterator());
  });
  ExpectReadOnly(
      [&] { source.InsertRecords(0, MakeEmptyRecordIterator(), MakeEmptyRecordIterator()); });

  std::vector<int32_t> selection;
  source.SetSelection(MakeIntPtrIterator(one), MakeIntPtrIterator(one + 1));
  source.GetSelection(MakeIntBackInserter(selection));
  EXPECT_TRUE(selection.empty());
  std::vector<CLocationRecord> records;
  source.EnumerateAll(MakeRecordBackInserter(records));
  EXPECT_TRUE(records.empty());
}

TEST(EmptyRecordSource, ReleasesHandlesAlsoWhenThrowing) {
  const int32_t one[] = {0};
  CIntIteratorRef first = MakeIntPtrIterator(one);
  EXPECT_THROW(GetEmptyRecordSource().RemoveRecords(first, MakeIntPtrIterator(one + 1)),
               std::runtime_error);
  EXPECT_EQ(first.GetObject()->GetRefCount(), 1);
}

TEST(RecordSource, DestructionTellsEachObserverOnceInPointerOrder) {
  Journal journal;
  std::vector<RecordingObserver> observers = {{&journal, "a"}, {&journal, "b"}, {&journal, "c"}};
  {
    VectorSource source;
    for (auto it = observers.rbegin(); it != observers.rend(); ++it) {
      source.AddObserver(&*it);
      source.AddObserver(&*it);  // held at most once
    }
  }
  // The vector's elements lie in ascending address order.
  EXPECT_EQ(journal.events, (std::vector<std::string>{"a:gone", "b:gone", "c:gone"}));
}

TEST(RecordSource, ChangesRaiseRecordsThenSelectionOnEveryObserver) {
  Journal journal;
  std::vector<RecordingObserver> observers = {{&journal, "a"}, {&journal, "b"}};
  VectorSource source;
  source.AddObserver(&observers[0]);
  source.AddObserver(&observers[1]);
  source.InsertRecords(0, MakeEmptyRecordIterator(), MakeEmptyRecordIterator());
  source.SetSelection(MakeNullIntIterator(), MakeNullIntIterator());
  EXPECT_EQ(journal.events,
            (std::vector<std::string>{"a:records", "b:records", "a:selection", "b:selection",
                                      "a:selection", "b:selection"}));
  source.RemoveObserver(&observers[0]);
  source.RemoveObserver(&observers[1]);
}

namespace {
// Removes another observer (or itself) while being told.
struct RemovingObserver : CRecordSourceObserver {
  CRecordSourceObserver* victim = nullptr;
  int told = 0;
  void OnSourceDestroyed(CRecordSource&) override { ++told; }
  void OnRecordsChanged(CRecordSource& source) override {
    ++told;
    source.RemoveObserver(victim);
  }
  void OnSelectionChanged(CRecordSource&) override { ++told; }
};

struct ThrowingObserver : CRecordSourceObserver {
  int told = 0;
  void OnSourceDestroyed(CRecordSource&) override {
    ++told;
    throw std::runtime_error("observer failed");
  }
  void OnRecordsChanged(CRecordSource&) override {}
  void OnSelectionChanged(CRecordSource&) override {}
};
}  // namespace

TEST(RecordSource, ObserversRemovedDuringAWalkAreNotCalledAgain) {
  RemovingObserver pair[2];
  pair[0].victim = &pair[1];
  pair[1].victim = &pair[0];
  VectorSource source;
  source.AddObserver(&pair[0]);
  source.AddObserver(&pair[1]);
  source.InsertRecords(0, MakeEmptyRecordIterator(), MakeEmptyRecordIterator());
  // The first observer told removes the second, which then hears nothing more.
  EXPECT_EQ(pair[0].told + pair[1].told, 2);
  EXPECT_EQ(pair[0].told, 2);
  source.RemoveObserver(&pair[0]);
  EXPECT_FALSE(source.HasObserver(&pair[0]));
}

TEST(RecordSource, ThrowingObserverEndsTheDestructionWalkQuietly) {
  ThrowingObserver throwing[2];
  {
    VectorSource source;
    source.AddObserver(&throwing[0]);
    source.AddObserver(&throwing[1]);
  }
  EXPECT_EQ(throwing[0].told + throwing[1].told, 1);
}

namespace {
// A list over its own records whose pane writes to the journal.
struct ListSource : CReadOnlyRecordListSource {
  Journal* journal;
  std::vector<CLocationRecord> records;
  explicit ListSource(Journal* journal) : journal(journal) {}
  QWidget* CreateWindow(QWidget*) override { return nullptr; }
  void DestroyWindow() override {}
  void Refresh() override {}
  const std::vector<CLocationRecord>& ListedRecords() const override { return records; }
  void ShowSelection() override { journal->events.push_back("pane:selection"); }
};

CLocationRecord Noted(const std::string& note) {
  CLocationRecord record;
  record.SetNote(note);
  return record;
}
}  // namespace

TEST(RecordListSource, ReadsItsRecordsAndKeepsTheSelectionBelowTheirCountPaneFirst) {
  Journal journal;
  RecordingObserver observer(&journal, "a");
  ListSource source(&journal);
  source.records = {Noted("zero"), Noted("one"), Noted("two")};
  source.AddObserver(&observer);
  EXPECT_EQ(source.Count(), 3);

  const int32_t indices[] = {2, 0, 2};
  std::vector<CLocationRecord> got;
  source.GetRecords(MakeIntPtrIterator(indices), MakeIntPtrIterator(indices + 3),
                    MakeRecordBackInserter(got));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].note + got[1].note + got[2].note, "twozerotwo");
  const int32_t past[] = {3};
  try {
    source.GetRecords(MakeIntPtrIterator(past), MakeIntPtrIterator(past + 1),
                      MakeRecordBackInserter(got));
    ADD_FAILURE() << "an index past the end was read";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Invalid Record Index: 3");
  }

  const int32_t picked[] = {5, 1, -1, 1, 0, 3};
  source.SetSelection(MakeIntPtrIterator(picked), MakeIntPtrIterator(picked + 6));
  std::vector<int32_t> selection;
  source.GetSelection(MakeIntBackInserter(selection));
  EXPECT_EQ(selection, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(journal.events, (std::vector<std::string>{"pane:selection", "a:selection"}));
  source.RemoveObserver(&observer);
}
