#include "app/FolderTree.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "app/RootFolder.h"
#include "app/RunGuarded.h"

namespace {

QTreeWidgetItem* FindItem(QTreeWidgetItem* item, const CTreeNode* node) {
  if (CFolderTree::NodeOf(item) == node) return item;
  for (int i = 0; i < item->childCount(); ++i)
    if (QTreeWidgetItem* found = FindItem(item->child(i), node)) return found;
  return nullptr;
}

}  // namespace

CFolderTree::CFolderTree(QWidget* parent) : QWidget(parent), m_tree(new QTreeWidget(this)) {
  setObjectName(QStringLiteral("102"));
  m_tree->setObjectName(QString::number(IDC_TREE));
  m_tree->setHeaderHidden(true);
  m_tree->setRootIsDecorated(true);
  m_tree->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_tree);
  connect(m_tree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnSelectionChanged(current); });
  Rebuild();
  GetAppCore()->AddListener(this);
}

CFolderTree::~CFolderTree() {
  if (CAppCore* core = GetAppCore()) core->RemoveListener(this);
}

CTreeNode* CFolderTree::NodeOf(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<CTreeNode*>(item->data(0, Qt::UserRole).value<quintptr>())
              : nullptr;
}

void CFolderTree::Rebuild() {
  // Emptying and refilling the tree is no choice of the user's.
  m_rebuilding = true;
  m_tree->clear();
  Insert(GetAppCore()->GetRootFolder(), nullptr);
  m_rebuilding = false;
}

void CFolderTree::Insert(CTreeNode& node, QTreeWidgetItem* parent) {
  const std::vector<CTreeNode*> children = GetChildren(node);
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
  item->setText(0, QString::fromStdString(node.GetTitle()));
  item->setIcon(0, node.GetIcon());
  item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
  item->setChildIndicatorPolicy(children.empty() ? QTreeWidgetItem::DontShowIndicator
                                                 : QTreeWidgetItem::ShowIndicator);
  for (CTreeNode* child : children) Insert(*child, item);
  item->setExpanded(true);
}

void CFolderTree::SelectNode(CTreeNode* node) {
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    if (QTreeWidgetItem* item = FindItem(m_tree->topLevelItem(i), node)) {
      if (m_tree->currentItem() != item) m_tree->setCurrentItem(item);
      return;
    }
  }
}

void CFolderTree::OnSelectionChanged(QTreeWidgetItem* current) {
  if (m_rebuilding || current == nullptr) return;
  RunGuarded(this, [&] { GetAppCore()->SetCurrentNode(NodeOf(current)); });
}

void CFolderTree::OnTreeChanged() {
  Rebuild();
  SelectNode(GetAppCore()->GetCurrentNode());
}

void CFolderTree::OnCurrentNodeChanged() { SelectNode(GetAppCore()->GetCurrentNode()); }
