// The "point" elements of one location file by their written form, hashed, so
// that filing finds a record that is already there without a scan.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include <pugixml.hpp>

class CXmlFile;

class CWrittenPointSet {
 public:
  // Every "point" under the file's root element.
  explicit CWrittenPointSet(const CXmlFile& file);

  // Whether an element of the set is written as `form`.
  bool Contains(std::string_view form) const;
  // Enters an element of the file written as `form`.
  void Add(std::string_view form, pugi::xml_node element);

 private:
  // Elements by the hash of their form; a hit is confirmed by writing the
  // element again, so only the hashes are kept.
  std::unordered_multimap<std::size_t, pugi::xml_node> m_elements;
};

// The form an element is written in, without indentation: for "point"
// elements equal exactly when every field the records store is equal.
std::string WrittenElementForm(pugi::xml_node element);
