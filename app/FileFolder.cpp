#include "app/FileFolder.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/FileDialogs.h"
#include "app/FilePane.h"

CFileFolder::CFileFolder() = default;

CFileFolder::~CFileFolder() = default;

std::string CFileFolder::GetTitle() const { return LoadAppString(IDS_FILE_FOLDER); }

QIcon CFileFolder::GetIcon() const { return LoadAppIcon(IDI_FILE_FOLDER); }

void CFileFolder::EnumChildren(CNodeOutputIteratorRef sink) {
  for (const auto& child : m_children) sink = sink.Put(child.get());
}

void CFileFolder::Search(const CSearchCriteria&, CRecordOutputIteratorRef) {}

std::unique_ptr<CRecordSource> CFileFolder::CreateView(CRecordSourceObserver*) {
  auto view = std::make_unique<CFilePane>(*this);
  RegisterView(*view);
  return view;
}

void CFileFolder::Append(std::unique_ptr<CLocationFileNode> node) {
  node->SetFolder(this);
  m_children.push_back(std::move(node));
  NotifyChildrenChanged();
}

void CFileFolder::New() { Append(std::make_unique<CLocationFileNode>()); }

void CFileFolder::Open() {
  CAppCore* core = GetAppCore();
  const std::vector<std::string> paths = GetFileDialogs().GetOpenFileNames(
      core ? core->GetMainWindow() : nullptr, LoadAppString(IDS_FILE_FILTER), "xml");
  for (const std::string& path : paths) OpenFile(path);
}

void CFileFolder::OpenFile(const std::string& path) {
  Append(std::make_unique<CLocationFileNode>(path));
}

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

void CFileFolder::OnFileWritten(const CLocationFileNode& writer, const std::string& path) {
  struct stat written {};
  if (::stat(path.c_str(), &written) != 0) return;
  for (const auto& child : m_children) {
    if (child.get() == &writer || child->GetPath().empty()) continue;
    struct stat other {};
    if (::stat(child->GetPath().c_str(), &other) == 0 && other.st_dev == written.st_dev &&
        other.st_ino == written.st_ino) {
      child->MarkReplacedOnDisk();
    }
  }
}
