// The folder tree pane: shows the folder tree and makes the selected folder
// current.
#pragma once

#include <QWidget>

#include "app/AppEvents.h"

class CTreeNode;
class QTreeWidget;
class QTreeWidgetItem;

class CFolderTree : public QWidget, public CAppEventListener {
 public:
  enum { IDC_TREE = 1047 };

  explicit CFolderTree(QWidget* parent);
  ~CFolderTree() override;

  // Builds the items anew from the root folder, all expanded.
  void Rebuild();
  // Selects the item of node, when there is one.
  void SelectNode(CTreeNode* node);
  QTreeWidget* GetTree() const { return m_tree; }
  // The node an item stands for.
  static CTreeNode* NodeOf(const QTreeWidgetItem* item);

  void OnTreeChanged() override;
  void OnCurrentNodeChanged() override;

 private:
  void Insert(CTreeNode& node, QTreeWidgetItem* parent);
  void OnSelectionChanged(QTreeWidgetItem* current);

  QTreeWidget* m_tree;
  bool m_rebuilding = false;
};
