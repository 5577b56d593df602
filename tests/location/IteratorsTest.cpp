#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

#include "location/IteratorAdaptors.h"
#include "location/IteratorRanges.h"
#include "location/MemberCallSink.h"
#include "location/RecordCollection.h"

namespace {

// Counts live instances and clones, to check sharing and deletion.
struct CountingIterator final : CIterator<int32_t> {
  static inline int live = 0;
  static inline int clones = 0;
  int32_t value = 0;
  explicit CountingIterator(int32_t value) : value(value) { ++live; }
  CountingIterator(const CountingIterator& other) : CIterator(other), value(other.value) {
    ++live;
    ++clones;
  }
  ~CountingIterator() override { --live; }
  void Increment() override { ++value; }
  const int32_t* Get() const override { return &value; }
  bool Equals(const CIterator<int32_t>& other) const override {
    auto* same = dynamic_cast<const CountingIterator*>(&other);
    return same && same->value == value;
  }
  CRef<CIterator<int32_t>> Clone() const override {
    return CRef<CIterator<int32_t>>::Adopt(new CountingIterator(*this));
  }
};

CIntIteratorRef MakeCounting(int32_t value) {
  return CIntIteratorRef(CRef<CIterator<int32_t>>::Adopt(new CountingIterator(value)));
}

CLocationRecord RecordWithNote(const std::string& note) {
  CLocationRecord record;
  record.SetNote(note);
  return record;
}

std::vector<int32_t> Collect(CIntIteratorRef first, const CIntIteratorRef& last) {
  std::vector<int32_t> values;
  ForEachInIteratorRange(std::move(first), last, [&](int32_t v) { values.push_back(v); });
  return values;
}

}  // namespace

TEST(Iterators, HandlesShareAndReleaseExactlyOnce) {
  CountingIterator::live = 0;
  {
    CIntIteratorRef a = MakeCounting(5);
    EXPECT_EQ(a.GetObject()->GetRefCount(), 1);
    {
      CIntIteratorRef b = a;
      EXPECT_EQ(a.GetObject(), b.GetObject());
      EXPECT_EQ(a.GetObject()->GetRefCount(), 2);
    }
    EXPECT_EQ(CountingIterator::live, 1);
    EXPECT_EQ(a.GetObject()->GetRefCount(), 1);
    CIntIteratorRef c;
    a.CopyTo(c);
    EXPECT_EQ(c.GetObject()->GetRefCount(), 2);
  }
  EXPECT_EQ(CountingIterator::live, 0);
}

TEST(Iterators, CopyOnWriteClonesOnlyWhenShared) {
  CountingIterator::clones = 0;
  CIntIteratorRef a = MakeCounting(1);
  ++a;  // unshared: advanced in place
  EXPECT_EQ(CountingIterator::clones, 0);
  CIntIteratorRef b = a;
  ++b;
  EXPECT_EQ(CountingIterator::clones, 1);
  EXPECT_EQ(*a, 2);
  EXPECT_EQ(*b, 3);
  EXPECT_NE(a.GetObject(), b.GetObject());

  CIntIteratorRef old = b++;  // it++ keeps the old position in the returned handle
  EXPECT_EQ(*old, 3);
  EXPECT_EQ(*b, 4);
  EXPECT_EQ(CountingIterator::clones, 2);
}

TEST(Iterators, ArrayRangesAndEmptyRanges) {
  const int32_t values[] = {7, 8, 9};
  EXPECT_EQ(Collect(MakeIntPtrIterator(values), MakeIntPtrIterator(values + 3)),
            (std::vector<int32_t>{7, 8, 9}));
  EXPECT_TRUE(Collect(MakeNullIntIterator(), MakeNullIntIterator()).empty());
  EXPECT_TRUE(MakeEmptyRecordIterator().Equals(MakeEmptyRecordIterator()));
  // Iterators of different kinds never compare equal.
  EXPECT_FALSE(MakeCounting(0).Equals(MakeNullIntIterator()));
  EXPECT_FALSE(MakeNullIntIterator().Equals(MakeCounting(0)));

  const std::vector<CLocationRecord> records = {RecordWithNote("a"), RecordWithNote("b")};
  std::vector<std::string> notes;
  ForEachInIteratorRange(MakeRecordPtrIterator(records.data()),
                         MakeRecordPtrIterator(records.data() + records.size()),
                         [&](const CLocationRecord& r) { notes.push_back(r.note); });
  EXPECT_EQ(notes, (std::vector<std::string>{"a", "b"}));
}

TEST(Iterators, SetsFromIndexRanges) {
  const int32_t indices[] = {3, 1, 3};
  std::set<int32_t> ascending = {9};
  InsertRangeIntoSet(MakeIntPtrIterator(indices), MakeIntPtrIterator(indices + 3), ascending);
  EXPECT_EQ(ascending, (std::set<int32_t>{1, 3, 9}));

  const int32_t more[] = {1, 3, 2};
  std::set<int32_t, std::greater<int32_t>> descending;
  InsertRangeIntoContainer(MakeIntPtrIterator(more), MakeIntPtrIterator(more + 3), descending);
  EXPECT_EQ(std::vector<int32_t>(descending.begin(), descending.end()),
            (std::vector<int32_t>{3, 2, 1}));
}

TEST(Iterators, SinksReceiveValuesInOrder) {
  std::vector<int32_t> ints;
  CIntOutputIteratorRef out =
      CopySetToOutputIterator(std::set<int32_t>{4, 2}, MakeIntBackInserter(ints));
  out.Put(6);  // the returned sink continues where the copy stopped
  EXPECT_EQ(ints, (std::vector<int32_t>{2, 4, 6}));

  const std::vector<CLocationRecord> source = {RecordWithNote("x"), RecordWithNote("y")};
  std::vector<CLocationRecord> copies;
  CopyRecordsToOutputIterator(source, MakeRecordBackInserter(copies));
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[1].note, "y");

  // A pre-sized array is filled element by element; a copied sink writes on
  // from its own position.
  std::vector<CLocationRecord> slots(3);
  CRecordOutputIteratorRef filler = MakeRecordOutputIterator(slots.data());
  CRecordOutputIteratorRef rest = CopyRecordsToOutputIterator(source, filler);
  rest.Put(RecordWithNote("z"));
  filler.Put(RecordWithNote("first"));
  EXPECT_EQ(slots[0].note, "first");
  EXPECT_EQ(slots[1].note, "y");
  EXPECT_EQ(slots[2].note, "z");

  const int32_t values[] = {5, 6};
  std::vector<int32_t> listed;
  ForEachInRange(values, values + 2, MakeIntBackInserter(listed));
  CopyRangeToOutputIterator<int32_t>(nullptr, nullptr, MakeIntBackInserter(listed));
  EXPECT_EQ(listed, (std::vector<int32_t>{5, 6}));
}

TEST(Iterators, EmptyRecordArrayPutsNothingAndKeepsTheSink) {
  std::vector<CLocationRecord> slots(1);
  CRecordOutputIteratorRef out = MakeRecordOutputIterator(slots.data());
  CRecordOutputIteratorRef after = CopyRecordsToOutputIterator({}, out);
  EXPECT_EQ(after.GetObject(), out.GetObject());
  EXPECT_FALSE(slots[0].hasNote);
}

TEST(Iterators, InsertRecordsAtKeepsOrderAndMayReadItsOwnVector) {
  std::vector<CLocationRecord> records = {RecordWithNote("a"), RecordWithNote("d")};
  const std::vector<CLocationRecord> middle = {RecordWithNote("b"), RecordWithNote("c")};
  InsertRecordsAt(MakeRecordPtrIterator(middle.data()), MakeRecordPtrIterator(middle.data() + 2),
                  records, 1);
  InsertRecordsAt(MakeRecordPtrIterator(records.data()), MakeRecordPtrIterator(records.data() + 2),
                  records, records.size());
  std::string notes;
  for (const auto& r : records) notes += r.note;
  EXPECT_EQ(notes, "abcdab");
}

namespace {
struct Listener {
  std::vector<int32_t> seen;
  int calls = 0;
  std::set<Listener*>* owner = nullptr;
  void Take(int32_t value) { seen.push_back(value); }
  void Ping() {
    ++calls;
    if (owner) owner->clear();  // changing the set while it is walked
  }
};
}  // namespace

TEST(Iterators, MemberCallSinks) {
  Listener listener;
  CIntOutputIteratorRef sink = MakeMemberCallSink(BindMemberCall(&listener, &Listener::Take));
  CopySetToOutputIterator(std::set<int32_t>{1, 2}, sink);
  EXPECT_EQ(listener.seen, (std::vector<int32_t>{1, 2}));

  Listener a, b;
  std::set<Listener*> listeners = {&a, &b};
  a.owner = &listeners;
  b.owner = &listeners;
  ApplyToEach(listeners, MakeMemberCallSink(BindFunction(&Listener::Ping)));
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);

  std::set<Listener*> nodes = {&a, &b};
  auto [first, last] = MakePointerSetRange(nodes);
  std::vector<Listener*> listed;
  COutputIteratorRef<Listener*> out = MakeNodeBackInserter(listed);
  ForEachInIteratorRange(first, last, [&](Listener* node) { out.Put(node); });
  EXPECT_EQ(listed, std::vector<Listener*>(nodes.begin(), nodes.end()));
}

TEST(RecordCollection, EnumeratesTheVectorItViews) {
  std::vector<CLocationRecord> records = {RecordWithNote("p"), RecordWithNote("q")};
  CRecordVectorCollection collection(records);
  EXPECT_FALSE(collection.IsEmpty());
  EXPECT_EQ(collection.Count(), 2u);
  auto enumerator = collection.MakeIterator();
  CLocationRecord record;
  std::string notes;
  while (enumerator->HasNext()) {
    enumerator->Next(record);
    notes += record.note;
  }
  EXPECT_EQ(notes, "pq");

  std::vector<CLocationRecord> none;
  CRecordVectorCollection empty(none);
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_FALSE(empty.MakeIterator()->HasNext());
}
