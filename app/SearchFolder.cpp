#include "app/SearchFolder.h"

CSearchFolder::CSearchFolder(CRecordSourceObserver* observer) {
  if (observer) AddObserver(observer);
}
