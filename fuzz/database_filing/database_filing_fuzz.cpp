// A database opened from any index and section files: records are filed into
// it and saved as receiving does, and then everything must open again, every
// index entry and record that read before must read the same, the filed
// records must be where their times belong, and saving any of the files again
// unedited must write the same bytes.
//
// Input: the index, the section file a.xml and the section file b.xml, and
// lines of record times (seconds), separated by lines "%%".
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "location/FilePath.h"
#include "location/LocationDatabase.h"
#include "location/PointXml.h"
#include "location/RecordCollection.h"
#include "location/XmlWriter.h"

namespace {

constexpr std::size_t kMaxRecords = 16;

// The parts between lines "%%" (an empty part is no line at all).
std::vector<std::string_view> SplitInput(std::string_view input) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t line = 0; line < input.size();) {
    const std::size_t end = std::min(input.find('\n', line), input.size());
    if (input.substr(line, end - line) == "%%") {
      // Without the line feed that ends the part's last line.
      parts.push_back(input.substr(start, line > start ? line - 1 - start : 0));
      start = end + 1;
    }
    line = end + 1;
  }
  parts.push_back(input.substr(std::min(start, input.size())));
  return parts;
}

std::vector<CLocationRecord> Records(std::string_view lines) {
  std::vector<CLocationRecord> records;
  while (!lines.empty() && records.size() < kMaxRecords) {
    const std::size_t end = lines.find('\n');
    const std::string line(lines.substr(0, end));
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    char* rest = nullptr;
    const long long seconds = std::strtoll(line.c_str(), &rest, 10);
    if (rest == line.c_str() || seconds < INT32_MIN || seconds > INT32_MAX) continue;
    CLocationRecord record;
    record.position = CPosition({35.0 + records.size(), 139.0});
    record.time = CZonedTime(static_cast<int32_t>(seconds), records.size() % 2 ? 32400 : 0);
    record.hasTime = true;
    record.SetNote(std::string(1, 'r').append(std::to_string(records.size())));
    records.push_back(record);
  }
  return records;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

std::string RecordForm(const CLocationRecord& record) {
  pugi::xml_document document;
  std::string form;
  AppendXmlElementText(form, WritePointXml(document, record));
  return form + (record.hasNote ? "" : "(no note)") + (record.hasTime ? "" : "(no time)");
}

template <class F>
std::string FormOrError(F&& read) {
  try {
    return read();
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

struct CSectionState {
  std::string entry;  // href, begin and end, or the decoding error
  int32_t begin = 0;
  int32_t end = 0;  // an empty range when the entry did not decode
  std::string path;
  std::optional<std::vector<std::string>> records;  // when the file loads
};

// Everything the index and its section files read as.
struct CDatabaseState {
  std::vector<CSectionState> sections;
};

std::optional<std::vector<std::string>> ReadRecordForms(const std::string& path) {
  std::unique_ptr<CLocationFile> file;
  try {
    file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::vector<std::string> forms;
  CXmlNodeEnumerator records = MakeChildElementEnumerator(*file);
  while (records.HasMore()) {
    const CXmlElementRef proxy = records.Next();
    forms.push_back(FormOrError([&] { return RecordForm(GetRecord(proxy)); }));
  }
  return forms;
}

// Nothing when the index does not open.
std::optional<CDatabaseState> ReadState(const std::string& indexPath) {
  std::unique_ptr<CLocationDatabase> database;
  try {
    database = OpenLocationDatabase(indexPath, false);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  CDatabaseState state;
  CXmlNodeEnumerator sections = MakeChildElementEnumerator(*database);
  while (sections.HasMore()) {
    const CXmlElementRef proxy = sections.Next();
    CSectionState section;
    try {
      const CDatabaseSection& decoded = GetSection(proxy);
      section.entry = decoded.GetHref() + " " + std::to_string(decoded.GetBegin()) + " " +
                      std::to_string(decoded.GetEnd());
      section.begin = decoded.GetBegin();
      section.end = decoded.GetEnd();
      section.path = decoded.GetPath();
      section.records = ReadRecordForms(section.path);
    } catch (const std::exception& e) {
      section.entry = std::string("error: ") + e.what();
    }
    state.sections.push_back(std::move(section));
  }
  return state;
}

// The bytes of the index and of every section file that loads, by path.
std::map<std::string, std::string> Files(const std::string& indexPath,
                                         const CDatabaseState& state) {
  std::map<std::string, std::string> files = {{indexPath, ReadBytes(indexPath)}};
  for (const CSectionState& section : state.sections) {
    if (section.records) files.emplace(section.path, ReadBytes(section.path));
  }
  return files;
}

// Saves the file as it is loaded, unedited.
void SaveUnedited(const std::string& path, bool index) {
  try {
    std::unique_ptr<CXmlFile> file;
    if (index) {
      file = OpenLocationDatabase(path, false);
    } else {
      file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
    }
    file->SetModified();
    file->SaveIfModified();
  } catch (const std::exception&) {
    std::abort();  // it loaded a moment ago, and the folder is writable
  }
}

class CFolder {
 public:
  CFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qlf-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    m_path = pattern;
  }
  ~CFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  CFolder(const CFolder&) = delete;
  CFolder& operator=(const CFolder&) = delete;
  std::string operator/(const char* name) const { return m_path + "/" + name; }
  // Whether the path is a file directly in the folder: the only files the
  // target may write.
  bool Holds(const std::string& path) const {
    const std::filesystem::path normal = std::filesystem::path(path).lexically_normal();
    return normal.has_filename() && normal.parent_path() == m_path;
  }

 private:
  std::string m_path;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts =
      SplitInput(std::string_view(reinterpret_cast<const char*>(data), size));
  CFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath, parts[0]);
  if (parts.size() > 1) WriteBytes(folder / "a.xml", parts[1]);
  if (parts.size() > 2) WriteBytes(folder / "b.xml", parts[2]);
  const std::vector<CLocationRecord> records =
      Records(parts.size() > 3 ? parts[3] : std::string_view());

  const std::optional<CDatabaseState> before = ReadState(indexPath);
  if (!before) return 0;
  for (const CSectionState& section : before->sections) {
    if (!section.path.empty() && !folder.Holds(section.path)) return 0;
  }
  const std::map<std::string, std::string> bytesBefore = Files(indexPath, *before);

  // Filing as receiving does it.
  bool filed = false;
  {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    try {
      const CRecordVectorCollection collection(records);
      CAddRecordsOperation adding(collection);
      ExecuteDatabaseOperation(*database, adding);
      SaveModifiedSections(*database);
      filed = true;
    } catch (const std::exception&) {
      DiscardUnsavedChanges(*database);
    }
    LocationDatabaseRelease(std::move(database));
  }

  const std::optional<CDatabaseState> after = ReadState(indexPath);
  Check(after.has_value());
  Check(after->sections.size() >= before->sections.size());
  for (std::size_t i = 0; i < before->sections.size(); ++i) {
    const CSectionState& was = before->sections[i];
    const CSectionState& is = after->sections[i];
    Check(is.entry == was.entry);
    if (!was.records) continue;
    // Records are only ever added, at the end.
    Check(is.records.has_value() && is.records->size() >= was.records->size());
    Check(std::equal(was.records->begin(), was.records->end(), is.records->begin()));
  }
  for (std::size_t i = before->sections.size(); i < after->sections.size(); ++i) {
    Check(after->sections[i].records.has_value());
  }
  if (filed) {
    // The first section that holds a record's time has it.
    for (const CLocationRecord& record : records) {
      const auto section =
          std::find_if(after->sections.begin(), after->sections.end(), [&](const CSectionState& s) {
            return s.begin <= record.time.seconds && record.time.seconds < s.end;
          });
      Check(section != after->sections.end() && section->records.has_value());
      Check(std::find(section->records->begin(), section->records->end(), RecordForm(record)) !=
            section->records->end());
    }
  }

  // What the program saved is what a save of it writes again; what it did not
  // save is written the same by every save.
  for (const auto& [path, saved] : Files(indexPath, *after)) {
    const bool index = path == indexPath;
    SaveUnedited(path, index);
    const std::string once = ReadBytes(path);
    const auto was = bytesBefore.find(path);
    if (was == bytesBefore.end() || was->second != saved) {
      Check(once == saved);
    } else {
      SaveUnedited(path, index);
      Check(ReadBytes(path) == once);
    }
  }
  const std::optional<CDatabaseState> resaved = ReadState(indexPath);
  Check(resaved.has_value() && resaved->sections.size() == after->sections.size());
  for (std::size_t i = 0; i < after->sections.size(); ++i) {
    Check(resaved->sections[i].entry == after->sections[i].entry);
    Check(resaved->sections[i].records == after->sections[i].records);
  }
  return 0;
}
