// Location files of 10k, 100k and 1M points: opening and decoding every
// record against pugixml's load_buffer of the same bytes (default flags), and
// saving against writing the same bytes to a temporary file, fsync, rename
// and fsync of the folder. Each side's run includes its teardown.
//
//   bench_location_file [points...]    (default 10000 100000 1000000)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "bench/common/RatioRounds.h"
#include "location/LocationFile.h"

namespace {

constexpr int kRounds = 7;

CLocationRecord Record(int i) {
  CLocationRecord record;
  record.position.datum = GetDatumByIndex(i % 2);
  if (i % 4 == 0) {
    record.position.latitude = CAngle::FromDms(DegreesToDms(35.0 + (i % 1000) * 0.001));
  } else {
    record.position.latitude = CAngle::FromDegrees(35.0 + (i % 1000) * 0.001);
  }
  record.position.longitude = CAngle::FromDegrees(139.0 + (i % 777) * 0.001);
  record.position.altitude = 10.0 + i % 50 + (i % 7) * 0.1;
  record.position.hasAltitude = true;
  if (i % 3 == 0) {
    record.position.fixMode = "3D";
    record.position.hasFixMode = true;
    record.position.semiMajorAxisError = 12.5;
    record.position.hasSemiMajorAxisError = true;
    record.position.semiMinorAxisError = 8;
    record.position.hasSemiMinorAxisError = true;
  }
  record.time = CZonedTime(1083406830 + i * 60, 32400);
  record.hasTime = true;
  if (i % 5 == 0) record.SetNote("受信 " + std::to_string(i));
  return record;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What every save does at the least: a temporary file, written, synced,
// renamed over the target, and the folder synced.
void WriteSyncRename(const std::string& folder, const std::string& path,
                     const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, std::min<std::size_t>(1 << 16, bytes.size() - done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) std::abort();
  if (::rename(temporary.c_str(), path.c_str()) != 0) std::abort();
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || ::fsync(dir) != 0) std::abort();
  ::close(dir);
}

bool RunSize(bench::CRatioTable& table, const std::string& folder, int points) {
  const std::string label = bench::SizeLabel(points);
  const std::string path = folder + "/points.xml";
  {
    auto file = LoadLocationFile(path, XmlOpenMode::kCreateOnSave);
    for (int i = 0; i < points; ++i) AppendToDocumentElement(*file, Record(i));
    file->SaveIfModified();
  }
  const std::string bytes = ReadBytes(path);
  std::printf("%s points: %.1f MB\n", label.c_str(), static_cast<double>(bytes.size()) / 1e6);

  std::size_t decoded = 0;
  double checksum = 0.0;
  const bench::CSide decode{nullptr, [&] {
                              auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
                              auto records = MakeChildElementEnumerator(*file);
                              decoded = 0;
                              while (records.HasMore()) {
                                const CLocationRecord& record = GetRecord(records.Next());
                                checksum += record.position.latitude.ToDegrees();
                                ++decoded;
                              }
                            }};
  std::size_t parsed = 0;
  const bench::CSide parse{nullptr, [&] {
                             pugi::xml_document document;
                             document.load_buffer(bytes.data(), bytes.size());
                             parsed = 0;
                             for (pugi::xml_node child = document.document_element().first_child();
                                  child; child = child.next_sibling()) {
                               ++parsed;
                             }
                           }};
  table.Compare("open and decode", label, kRounds, decode, parse);

  // The save: a loaded file, saved again as it is.
  auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  const std::string savedPath = folder + "/copy.xml";
  const bench::CSide save{[&] { file->SetModified(); }, [&] { file->SaveIfModified(); }};
  const bench::CSide write{nullptr, [&] { WriteSyncRename(folder, savedPath, bytes); }};
  table.Compare("save", label, kRounds, save, write, bench::EClock::kWall);
  const bool same = ReadBytes(path) == bytes;
  if (!same) std::printf("the saved file differs from the bytes it was loaded from\n");

  std::printf("  (%zu records decoded, checksum %.3f; %zu elements parsed)\n", decoded, checksum,
              parsed);
  std::filesystem::remove(path);
  std::filesystem::remove(savedPath);
  return same && decoded == static_cast<std::size_t>(points) &&
         parsed == static_cast<std::size_t>(points);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  std::string folder = (std::filesystem::temp_directory_path() / "qlf-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) return 1;
  bench::CRatioTable table;
  bool ok = true;
  for (const int points : sizes) ok = RunSize(table, folder, points) && ok;
  table.PrintSummary();
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}
