#pragma once
// Small PE images with a version resource, written byte by byte for the reader's tests.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "input/pe_version_resource.h"

namespace halvex::pe::testing {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
inline void Pad4(Bytes& b) {
  while (b.size() % 4 != 0) b.push_back(0);
}

// One version-resource node: {wLength, wValueLength, wType, key, pad, value, pad, children}.
inline Bytes Node(const std::u16string& key, uint16_t type, const Bytes& value,
                  uint16_t valueLength, const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  for (const char16_t c : key) b.insert(b.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
  b.insert(b.end(), {0, 0});
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, static_cast<uint16_t>(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, type);
  return b;
}

inline Bytes String(const std::u16string& key, const std::u16string& value) {
  Bytes v;
  for (const char16_t c : value) v.insert(v.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
  v.insert(v.end(), {0, 0});
  return Node(key, 1, v, static_cast<uint16_t>(value.size() + 1));
}

struct Strings {
  std::u16string table;
  std::vector<std::pair<std::u16string, std::u16string>> values;
};

inline Bytes VersionInfo(const std::vector<Strings>& tables,
                         const std::vector<Translation>& translations,
                         bool withTranslation = true) {
  std::vector<Bytes> stringTables;
  for (const Strings& t : tables) {
    std::vector<Bytes> strings;
    for (const auto& [k, v] : t.values) strings.push_back(String(k, v));
    stringTables.push_back(Node(t.table, 1, {}, 0, strings));
  }
  std::vector<Bytes> children{Node(u"StringFileInfo", 1, {}, 0, stringTables)};
  if (withTranslation) {
    Bytes pairs;
    for (const auto& [language, codePage] : translations) {
      pairs.insert(pairs.end(), {uint8_t(language & 0xFF), uint8_t(language >> 8),
                                 uint8_t(codePage & 0xFF), uint8_t(codePage >> 8)});
    }
    children.push_back(Node(u"VarFileInfo", 1, {}, 0,
                            {Node(u"Translation", 0, pairs, static_cast<uint16_t>(pairs.size()))}));
  }
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  return Node(u"VS_VERSION_INFO", 0, fixed, 52, children);
}

constexpr size_t kResourceFileOffset = 0x200;
constexpr uint32_t kResourceRva = 0x1000;
constexpr size_t kSectionTable = 0x40 + 24 + 240;

// A minimal PE32+ image with one ".rsrc" section holding `version` as RT_VERSION id 1, language
// 0x409. Without `version`, the only resource is an icon group.
inline Bytes Image(const std::optional<Bytes>& version, bool pe32 = false) {
  const size_t optionalSize = pe32 ? 224 : 240;
  Bytes b(kResourceFileOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  b[0x40] = 'P';
  b[0x41] = 'E';
  Put16(b, 0x44, 0x8664);
  Put16(b, 0x46, 1);
  Put16(b, 0x54, static_cast<uint16_t>(optionalSize));
  const size_t opt = 0x58;
  const size_t dirs = pe32 ? 96 : 112;
  Put16(b, opt, pe32 ? 0x10B : 0x20B);
  Put32(b, opt + dirs - 4, 16);
  const size_t table = opt + optionalSize;

  // Resource tree: root at 0, names at 0x18, languages at 0x30, data entry at 0x48, data at 0x58.
  Bytes r(0x58, 0);
  Put16(r, 0x0E, 1);
  Put32(r, 0x10, version ? 16 : 14);
  Put32(r, 0x14, 0x80000000u | 0x18);
  Put16(r, 0x18 + 0x0E, 1);
  Put32(r, 0x18 + 0x10, 1);
  Put32(r, 0x18 + 0x14, 0x80000000u | 0x30);
  Put16(r, 0x30 + 0x0E, 1);
  Put32(r, 0x30 + 0x10, 0x409);
  Put32(r, 0x30 + 0x14, 0x48);
  const Bytes data = version.value_or(Bytes(16, 0));
  Put32(r, 0x48, kResourceRva + 0x58);
  Put32(r, 0x4C, static_cast<uint32_t>(data.size()));
  r.insert(r.end(), data.begin(), data.end());

  Put32(b, opt + dirs + 16, kResourceRva);
  Put32(b, opt + dirs + 20, static_cast<uint32_t>(r.size()));
  std::copy_n(".rsrc", 5, b.begin() + table);
  Put32(b, table + 8, static_cast<uint32_t>(r.size()));
  Put32(b, table + 12, kResourceRva);
  Put32(b, table + 16, static_cast<uint32_t>(r.size()));
  Put32(b, table + 20, kResourceFileOffset);
  b.insert(b.end(), r.begin(), r.end());
  return b;
}

// An image whose only version string is ProductName under 0409/04B0.
inline Bytes ImageNamed(const std::u16string& productName) {
  return Image(VersionInfo({{u"040904B0", {{u"ProductName", productName}}}}, {{0x0409, 0x04B0}}));
}

}  // namespace halvex::pe::testing
