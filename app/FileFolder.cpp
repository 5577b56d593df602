#include "app/FileFolder.h"

#include <algorithm>
#include <stdexcept>

#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/EmptyView.h"

namespace {
[[noreturn]] void ThrowUnavailable() {
  throw std::runtime_error("Location files are not available in this build");
}
}  // namespace

CFileFolder::CFileFolder() = default;

CFileFolder::~CFileFolder() = default;

std::string CFileFolder::GetTitle() const { return LoadAppString(IDS_FILE_FOLDER); }

QIcon CFileFolder::GetIcon() const { return LoadAppIcon(IDI_FILE_FOLDER); }

void CFileFolder::EnumChildren(CNodeOutputIteratorRef sink) {
  for (const auto& child : m_children) sink = sink.Put(child.get());
}

void CFileFolder::Search(const CSearchCriteria&, CRecordOutputIteratorRef) {}

std::unique_ptr<CRecordSource> CFileFolder::CreateView(CRecordSourceObserver*) {
  auto view = std::make_unique<CEmptyView>();
  RegisterView(*view);
  return view;
}

void CFileFolder::New() { ThrowUnavailable(); }

void CFileFolder::Open() { ThrowUnavailable(); }

void CFileFolder::Close(CLocationFileNode* node) {
  const auto it = std::find_if(m_children.begin(), m_children.end(),
                               [&](const auto& child) { return child.get() == node; });
  if (it == m_children.end()) return;
  auto closing = std::move(*it);
  m_children.erase(it);
  closing.reset();
  NotifyChildrenChanged();
}

CLocationFileNode* CFileFolder::Find(CTreeNode* node) const {
  for (const auto& child : m_children)
    if (child.get() == node) return child.get();
  return nullptr;
}
