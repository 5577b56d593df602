#include "app/RootFolder.h"

#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/HomePage.h"

namespace {
std::unique_ptr<CRootFolder> g_rootFolder;
}

CRootFolder::CRootFolder()
    : m_databaseFolder(std::make_unique<CDatabaseFolder>()),
      m_fileFolder(std::make_unique<CFileFolder>()) {}

CRootFolder::~CRootFolder() {
  m_fileFolder.reset();
  m_databaseFolder.reset();
}

std::string CRootFolder::GetTitle() const { return LoadAppString(IDS_TITLE); }

QIcon CRootFolder::GetIcon() const { return LoadAppIcon(IDI_PROGRAM); }

void CRootFolder::EnumChildren(CNodeOutputIteratorRef sink) {
  sink = sink.Put(m_databaseFolder.get());
  sink.Put(m_fileFolder.get());
}

void CRootFolder::Search(const CSearchCriteria&, CRecordOutputIteratorRef) {}

std::unique_ptr<CRecordSource> CRootFolder::CreateView(CRecordSourceObserver* observer) {
  auto view = std::make_unique<CHomePage>(*this);
  if (observer) view->AddObserver(observer);
  RegisterView(*view);
  return view;
}

CRootFolder& GetRootFolder() {
  if (!g_rootFolder) g_rootFolder = std::make_unique<CRootFolder>();
  return *g_rootFolder;
}

void ReleaseRootFolder() { g_rootFolder.reset(); }
