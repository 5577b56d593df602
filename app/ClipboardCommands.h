// The record editing commands: cut, copy, copy as text, paste, delete and new
// record. They work on the application core's active source; the clipboard
// holds records as Unicode text (see RecordClipboardText.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CAppCore;

class CClipboardCommands {
 public:
  explicit CClipboardCommands(CAppCore& core) : m_core(core) {}

  // Copy, then remove the copied records. Nothing is removed when the
  // clipboard does not take the text; a read-only active source throws
  // "readonly" and the clipboard keeps what it held.
  void Cut();
  // The selected records as the XML of a "points" document.
  void Copy();
  // The selected records as text lines.
  void CopyAsText();
  // The clipboard's records, all or none, before the first selected record
  // or at the end. Does nothing when the clipboard holds no text.
  void Paste();
  // Removes the selected records; the clipboard is left alone.
  void Delete();
  // Asks the listeners of the core to let the user place a new record.
  void NewRecord();

  // Cut, Paste, Delete and NewRecord do nothing while this holds: the current
  // folder's view cannot be edited (or there is none).
  bool IsCurrentViewReadOnly() const;

 private:
  // The XML of the active source's records at the indices.
  std::string RecordsAsXml(const std::vector<int32_t>& indices);

  CAppCore& m_core;
};

// Puts text on the clipboard; throws std::runtime_error when the clipboard
// does not hold it afterwards.
void PutClipboardText(const std::string& text);
