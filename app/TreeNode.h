// The folders the user browses form a tree of nodes; each node can create a
// view, the record source that the record list and the map show while the
// node is current.
#pragma once

#include <QIcon>
#include <memory>
#include <set>
#include <string>

#include "location/Iterators.h"
#include "location/RecordSource.h"

struct CSearchCriteria;
class CTreeNode;

using CNodeOutputIteratorRef = COutputIteratorRef<CTreeNode*>;

class CTreeNodeObserver {
 public:
  virtual ~CTreeNodeObserver() = default;
  // The node's list of children changed (a file was opened, created or closed).
  virtual void OnChildrenChanged(CTreeNode& node) = 0;
  virtual void OnNodeDestroyed(CTreeNode& node) = 0;
};

class CTreeNode {
 public:
  CTreeNode();
  CTreeNode(const CTreeNode&) = delete;
  CTreeNode& operator=(const CTreeNode&) = delete;
  // Tells every observer OnNodeDestroyed, then unlinks the node's live views.
  virtual ~CTreeNode();

  virtual std::string GetTitle() const = 0;
  virtual QIcon GetIcon() const = 0;
  // The node's children, in order.
  virtual void EnumChildren(CNodeOutputIteratorRef sink) = 0;
  // Puts the node's records that match the criteria into the sink. The search
  // folder calls it on a worker thread while the user-interface thread waits
  // (painting, taking no input): it touches nothing but the node's own data.
  virtual void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) = 0;
  // A new view that reports to observer; the caller owns it.
  virtual std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) = 0;
  // Whether the node may go away now; may ask the user.
  virtual bool CanClose() { return true; }

  // An observer is held at most once.
  void AddObserver(CTreeNodeObserver* observer);
  void RemoveObserver(CTreeNodeObserver* observer);
  bool HasObserver(CTreeNodeObserver* observer) const;

 protected:
  // Each walks a copy of the observer set, skipping observers removed meanwhile.
  void NotifyChildrenChanged();

  // The node's live views: a registered view stays in the set until it is
  // destroyed; a node destroyed first unlinks itself from its views.
  void RegisterView(CRecordSource& view);
  const std::set<CRecordSource*>& GetLiveViews() const { return m_viewLinks.views; }

 private:
  struct CViewLinks final : CRecordSourceObserver {
    void OnSourceDestroyed(CRecordSource& source) override { views.erase(&source); }
    void OnRecordsChanged(CRecordSource&) override {}
    void OnSelectionChanged(CRecordSource&) override {}
    std::set<CRecordSource*> views;
  };

  std::set<CTreeNodeObserver*> m_observers;
  CViewLinks m_viewLinks;
};

// The node's children as a list.
std::vector<CTreeNode*> GetChildren(CTreeNode& node);
