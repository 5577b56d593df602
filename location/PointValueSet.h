// The "point" elements of one location file by the values they hold, hashed,
// so that filing finds a record that is already there without a scan.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include <pugixml.hpp>

class CXmlFile;

class CPointValueSet {
 public:
  // Every "point" under the file's root element.
  explicit CPointValueSet(const CXmlFile& file);

  // Whether an element of the set has the key `key` (PointValueKey).
  bool Contains(std::string_view key) const;
  // Enters an element of the file whose key is `key`.
  void Add(std::string_view key, pugi::xml_node element);

 private:
  // Elements by the hash of their key; a hit is confirmed by reading the
  // element again, so only the hashes are kept.
  std::unordered_multimap<std::size_t, pugi::xml_node> m_elements;
};

// The key that compares stored records: equal for two "point" elements
// exactly when the records read from them are identical in every field.
// Comments, instructions and the way a value is written (a CDATA section,
// references, number forms, element order) do not count. A point that cannot
// be read is keyed by its written form, which no readable point shares.
std::string PointValueKey(pugi::xml_node point);
