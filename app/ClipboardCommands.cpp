#include "app/ClipboardCommands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <stdexcept>
#include <vector>

#include "app/AppCore.h"
#include "app/RecordClipboardText.h"
#include "location/IteratorAdaptors.h"
#include "location/XmlWriter.h"

namespace {

std::vector<int32_t> ActiveSelection(CAppCore& core) {
  std::vector<int32_t> selection;
  core.GetActiveSelection(MakeIntBackInserter(selection));
  return selection;
}

CIntIteratorRef Begin(const std::vector<int32_t>& indices) {
  return MakeIntPtrIterator(indices.data());
}
CIntIteratorRef End(const std::vector<int32_t>& indices) {
  return MakeIntPtrIterator(indices.data() + indices.size());
}

}  // namespace

void PutClipboardText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString unicode = QString::fromStdString(text);
  clipboard->setText(unicode, QClipboard::Clipboard);
  // Cut removes the records only once they are safely on the clipboard.
  const QMimeData* held = clipboard->mimeData(QClipboard::Clipboard);
  if (held == nullptr || !held->hasText() || held->text() != unicode)
    throw std::runtime_error("The clipboard did not take the records");
}

bool CClipboardCommands::IsCurrentViewReadOnly() const {
  const CRecordSource* view = m_core.GetCurrentView();
  return view == nullptr || view->IsReadOnly();
}

std::string CClipboardCommands::RecordsAsXml(const std::vector<int32_t>& selection) {
  const auto document = MakePointsDocument();
  m_core.GetActiveRecords(Begin(selection), End(selection),
                          CRecordOutputIteratorRef(CRef<CRecordOutputIterator>::Adopt(
                              new CXmlRecordSink(document, document->document_element()))));
  return SerializeXmlDocument(*document, false);
}

void CClipboardCommands::Cut() {
  if (IsCurrentViewReadOnly()) return;
  // The search results refuse the removal: refused before the clipboard
  // loses what it held.
  if (m_core.IsActiveReadOnly()) throw std::runtime_error("readonly");
  const std::vector<int32_t> selection = ActiveSelection(m_core);
  PutClipboardText(RecordsAsXml(selection));
  m_core.ActiveSource().RemoveRecords(Begin(selection), End(selection));
}

void CClipboardCommands::Copy() { PutClipboardText(RecordsAsXml(ActiveSelection(m_core))); }

void CClipboardCommands::CopyAsText() {
  const std::vector<int32_t> selection = ActiveSelection(m_core);
  const auto text = std::make_shared<std::string>();
  m_core.GetActiveRecords(
      Begin(selection), End(selection),
      CRecordOutputIteratorRef(CRef<CRecordOutputIterator>::Adopt(new CTextRecordSink(text))));
  PutClipboardText(*text);
}

void CClipboardCommands::Paste() {
  if (IsCurrentViewReadOnly()) return;
  const QMimeData* held = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (held == nullptr || !held->hasText()) return;
  const QString unicode = held->text();
  // Each UTF-16 unit is at least one byte of UTF-8: a text this long is too
  // large before it is converted.
  CheckPasteSize(static_cast<std::size_t>(unicode.size()));
  const std::vector<CLocationRecord> records = ReadPastedRecords(unicode.toStdString());
  CRecordSource& source = m_core.ActiveSource();
  const std::vector<int32_t> selection = ActiveSelection(m_core);
  const int32_t position = selection.empty() ? source.Count() : selection.front();
  source.InsertRecords(position, MakeRecordPtrIterator(records.data()),
                       MakeRecordPtrIterator(records.data() + records.size()));
}

void CClipboardCommands::Delete() {
  if (IsCurrentViewReadOnly()) return;
  const std::vector<int32_t> selection = ActiveSelection(m_core);
  m_core.ActiveSource().RemoveRecords(Begin(selection), End(selection));
}

void CClipboardCommands::NewRecord() {
  if (IsCurrentViewReadOnly()) return;
  m_core.BroadcastNewRecord();
}
