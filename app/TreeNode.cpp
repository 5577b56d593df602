#include "app/TreeNode.h"

#include <vector>

#include "location/IteratorAdaptors.h"

CTreeNode::CTreeNode() = default;

CTreeNode::~CTreeNode() {
  const std::vector<CTreeNodeObserver*> observers(m_observers.begin(), m_observers.end());
  for (CTreeNodeObserver* observer : observers) {
    if (m_observers.count(observer) == 0) continue;
    try {
      observer->OnNodeDestroyed(*this);
    } catch (...) {
      // A destructor never throws; the remaining observers still hear of it.
    }
  }
  for (CRecordSource* view : m_viewLinks.views) view->RemoveObserver(&m_viewLinks);
}

void CTreeNode::AddObserver(CTreeNodeObserver* observer) { m_observers.insert(observer); }

void CTreeNode::RemoveObserver(CTreeNodeObserver* observer) { m_observers.erase(observer); }

bool CTreeNode::HasObserver(CTreeNodeObserver* observer) const {
  return m_observers.count(observer) != 0;
}

void CTreeNode::NotifyChildrenChanged() {
  const std::vector<CTreeNodeObserver*> observers(m_observers.begin(), m_observers.end());
  for (CTreeNodeObserver* observer : observers) {
    if (m_observers.count(observer) != 0) observer->OnChildrenChanged(*this);
  }
}

void CTreeNode::RegisterView(CRecordSource& view) {
  view.AddObserver(&m_viewLinks);
  m_viewLinks.views.insert(&view);
}

std::vector<CTreeNode*> GetChildren(CTreeNode& node) {
  std::vector<CTreeNode*> children;
  node.EnumChildren(MakeBackInserter(children));
  return children;
}
