#include "app/LocationFileNode.h"

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/FileDialogs.h"
#include "app/FileFolder.h"
#include "app/LocationFileView.h"
#include "app/Prompter.h"
#include "location/LocationFile.h"

namespace {

// The save question with the file's title in place of %1.
std::string SaveQuestion(const std::string& title) {
  std::string text = LoadAppString(IDS_ASK_SAVE_CHANGES);
  const auto at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, title);
  return text;
}

}  // namespace

CLocationFileNode::CLocationFileNode() = default;

CLocationFileNode::CLocationFileNode(const std::string& path) : m_path(path) {
  const CLocationFile file(path, XmlOpenMode::kOpenExisting);
  CXmlNodeEnumerator points = MakeChildElementEnumerator(file);
  m_records.reserve(points.GetCount());
  while (points.HasMore()) m_records.push_back(GetRecord(points.Next()));
}

CLocationFileNode::~CLocationFileNode() = default;

std::string CLocationFileNode::GetTitle() const {
  if (m_path.empty()) return LoadAppString(IDS_NEW_FILE);
  return m_path.substr(m_path.rfind('/') + 1);  // npos + 1 is 0
}

QIcon CLocationFileNode::GetIcon() const { return LoadAppIcon(IDI_FILE); }

void CLocationFileNode::EnumChildren(CNodeOutputIteratorRef) {}

void CLocationFileNode::Search(const CSearchCriteria&, CRecordOutputIteratorRef) {}

std::unique_ptr<CRecordSource> CLocationFileNode::CreateView(CRecordSourceObserver* observer) {
  auto view = std::make_unique<CLocationFileView>(*this, observer);
  RegisterView(*view);
  return view;
}

bool CLocationFileNode::CanClose() {
  if (!m_modified) return true;
  CAppCore* core = GetAppCore();
  QWidget* owner = core ? core->GetMainWindow() : nullptr;
  const std::string caption = core ? core->GetTitle() : LoadAppString(IDS_TITLE);
  switch (GetPrompter().Show(owner, EPromptKind::YesNoCancelWarning, SaveQuestion(GetTitle()),
                             caption)) {
    case EPromptAnswer::Cancel:
      return false;
    case EPromptAnswer::Yes:
      return Save();
    default:
      return true;
  }
}

bool CLocationFileNode::Save() {
  if (m_path.empty()) return SaveAs();
  Write(m_path);
  return true;
}

bool CLocationFileNode::SaveAs() {
  CAppCore* core = GetAppCore();
  const std::string path = GetFileDialogs().GetSaveFileName(core ? core->GetMainWindow() : nullptr,
                                                            LoadAppString(IDS_FILE_FILTER), "xml");
  if (path.empty()) return false;
  Write(path);
  m_path = path;
  NotifyChildrenChanged();
  return true;
}

void CLocationFileNode::Write(const std::string& path) {
  // The whole document is built first and replaces the file in one step, so
  // a failure anywhere leaves the old file whole and the changes unsaved.
  CLocationFile file(path, XmlOpenMode::kCreateOnSave);
  for (const CLocationRecord& record : m_records) AppendToDocumentElement(file, record);
  file.SaveIfModified();
  m_modified = false;
  if (m_folder) m_folder->OnFileWritten(*this, path);
}

std::vector<CLocationRecord>& CLocationFileNode::EditRecords() {
  m_modified = true;
  return m_records;
}
