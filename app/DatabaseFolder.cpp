#include "app/DatabaseFolder.h"

#include <stdexcept>

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/EmptyView.h"
#include "location/SettingsKey.h"

namespace {
const char kDatabaseFileValue[] = "LocationDatabaseFile";
[[noreturn]] void ThrowNotReady() { throw std::runtime_error("Database Not Ready"); }
}  // namespace

CDatabaseFolder::CDatabaseFolder() = default;

std::string CDatabaseFolder::GetTitle() const { return LoadAppString(IDS_DATABASE_FOLDER); }

QIcon CDatabaseFolder::GetIcon() const { return LoadAppIcon(IDI_DATABASE); }

void CDatabaseFolder::EnumChildren(CNodeOutputIteratorRef) {}

void CDatabaseFolder::Search(const CSearchCriteria&, CRecordOutputIteratorRef) { ThrowNotReady(); }

std::unique_ptr<CRecordSource> CDatabaseFolder::CreateView(CRecordSourceObserver* observer) {
  auto view = std::make_unique<CEmptyView>();
  if (observer) view->AddObserver(observer);
  RegisterView(*view);
  return view;
}

std::string CDatabaseFolder::GetDatabasePath() const {
  return GetAppCore()->GetSettingsKey().ReadPath(kDatabaseFileValue, std::string());
}

void CDatabaseFolder::SetDatabasePath(const std::string&) { ThrowNotReady(); }

int32_t CDatabaseFolder::ReceiveLocationMessages() { ThrowNotReady(); }
