// Loads and decodes a location file of 100,000 points and compares the time
// with pugixml's bare parse of the same bytes. Prints the best of several runs.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <pugixml.hpp>

#include "location/LocationFile.h"

namespace {

constexpr int kPoints = 100000;
constexpr int kRuns = 7;

CLocationRecord Record(int i) {
  CLocationRecord record;
  record.position.datum = GetDatumByIndex(i % 2);
  if (i % 4 == 0) {
    record.position.latitude = CAngle::FromDms(DegreesToDms(35.0 + (i % 1000) * 0.001));
  } else {
    record.position.latitude = CAngle::FromDegrees(35.0 + (i % 1000) * 0.001);
  }
  record.position.longitude = CAngle::FromDegrees(139.0 + (i % 777) * 0.001);
  record.position.altitude = 10.0 + i % 50;
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

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

template <class F>
double Best(F&& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(best, Milliseconds(std::chrono::steady_clock::now() - start));
  }
  return best;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "qlf-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) return 1;
  const std::string path = folder + "/points.xml";
  {
    auto file = LoadLocationFile(path, XmlOpenMode::kCreateOnSave);
    for (int i = 0; i < kPoints; ++i) AppendToDocumentElement(*file, Record(i));
    file->SaveIfModified();
  }
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  std::size_t parsedChildren = 0;
  const double bare = Best([&] {
    pugi::xml_document document;
    document.load_buffer(bytes.data(), bytes.size());
    parsedChildren = static_cast<std::size_t>(
        std::distance(document.document_element().begin(), document.document_element().end()));
  });

  double checksum = 0;
  std::size_t decoded = 0;
  const double full = Best([&] {
    auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
    auto records = MakeChildElementEnumerator(*file);
    decoded = 0;
    while (records.HasMore()) {
      checksum += GetRecord(records.Next()).position.latitude.ToDegrees();
      ++decoded;
    }
  });

  const double loadOnly =
      Best([&] { LoadLocationFile(path, XmlOpenMode::kOpenExisting); });

  std::filesystem::remove_all(folder);
  std::printf("file: %d points, %.1f MB\n", kPoints, bytes.size() / 1e6);
  std::printf("pugixml bare parse:     %8.1f ms (%zu elements)\n", bare, parsedChildren);
  std::printf("load and decode:        %8.1f ms (%zu records, checksum %.3f)\n", full, decoded,
              checksum);
  std::printf("  of which file load:     %8.1f ms\n", loadOnly);
  std::printf("ratio: %.2fx (target under 3x)\n", full / bare);
  return decoded == static_cast<std::size_t>(kPoints) ? 0 : 1;
}
