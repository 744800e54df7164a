#include "input/pe_version_resource.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "core/text.h"

namespace halvex::pe {
namespace {

constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kVersionInfoId = 1;
constexpr size_t kMaxSections = 96;
constexpr size_t kMaxDirectoryEntries = 4096;
constexpr size_t kMaxVersionBlock = 0xFFFF;  // its own length field is 16 bits

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::vector<std::u16string> SplitPath(const std::u16string& subBlock) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (const char16_t c : subBlock) {
    if (c == u'\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::optional<std::string> Accept(const std::optional<std::u16string>& value) {
  if (!value || value->size() <= 1 || (*value)[0] == 0) return std::nullopt;
  const size_t nul = value->find(u'\0');
  return text::Utf16ToUtf8(std::u16string_view(*value).substr(0, nul));
}

std::u16string SubBlock(std::string_view table, std::string_view key) {
  return text::Utf8ToUtf16("\\StringFileInfo\\" + std::string(table) + "\\" + std::string(key));
}

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, size_t count, uint8_t* out) const override {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    std::copy_n(bytes_.data() + offset, count, out);
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  FileSource(std::ifstream& file, uint64_t size) : file_(file), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, size_t count, uint8_t* out) const override {
    if (offset > size_ || count > size_ - offset) return false;
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
    return static_cast<size_t>(file_.gcount()) == count;
  }

 private:
  std::ifstream& file_;
  uint64_t size_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawPointer;
};

// The sections of a PE image, enough to turn a relative virtual address into a file offset.
class Image {
 public:
  explicit Image(const ByteSource& source) : source_(source) {}

  // Reads the headers; false when this is not a PE image. Gives the resource directory's RVA.
  bool Open(uint32_t& resourceRva) {
    std::array<uint8_t, 64> dos{};
    if (!source_.Read(0, dos.size(), dos.data()) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t peOffset = Le32(&dos[0x3C]);
    std::array<uint8_t, 24> pe{};
    if (!source_.Read(peOffset, pe.size(), pe.data())) return false;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
    const size_t sectionCount = Le16(&pe[6]);
    const size_t optionalSize = Le16(&pe[20]);
    if (sectionCount == 0 || sectionCount > kMaxSections) return false;
    std::vector<uint8_t> optional(optionalSize);
    if (optionalSize < 2 || !source_.Read(peOffset + 24, optionalSize, optional.data())) {
      return false;
    }
    size_t directories = 0;
    switch (Le16(optional.data())) {
      case 0x10B: directories = 96; break;   // PE32
      case 0x20B: directories = 112; break;  // PE32+
      default: return false;
    }
    constexpr size_t kResourceEntry = 2;
    if (optionalSize < directories + (kResourceEntry + 1) * 8) return false;
    if (Le32(&optional[directories - 4]) <= kResourceEntry) return false;
    resourceRva = Le32(&optional[directories + kResourceEntry * 8]);
    if (resourceRva == 0) return false;

    std::vector<uint8_t> table(sectionCount * 40);
    if (!source_.Read(peOffset + 24 + optionalSize, table.size(), table.data())) return false;
    for (size_t i = 0; i < sectionCount; ++i) {
      const uint8_t* s = &table[i * 40];
      sections_.push_back({Le32(s + 12), Le32(s + 16), Le32(s + 20)});
    }
    return true;
  }

  // `count` bytes at a relative virtual address, all inside one section's file data.
  bool ReadRva(uint64_t rva, size_t count, uint8_t* out) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const uint64_t into = rva - s.virtualAddress;
      if (into >= s.rawSize || count > s.rawSize - into) continue;
      return source_.Read(uint64_t{s.rawPointer} + into, count, out);
    }
    return false;
  }

 private:
  const ByteSource& source_;
  std::vector<Section> sections_;
};

struct DirectoryEntry {
  uint32_t name;    // high bit: a named entry
  uint32_t target;  // high bit: a subdirectory; offsets are from the resource directory's start
  bool Named() const { return (name & 0x80000000u) != 0; }
  bool Subdirectory() const { return (target & 0x80000000u) != 0; }
  uint32_t Offset() const { return target & 0x7FFFFFFFu; }
};

std::optional<std::vector<DirectoryEntry>> ReadDirectory(const Image& image, uint32_t base,
                                                         uint32_t offset) {
  std::array<uint8_t, 16> header{};
  if (!image.ReadRva(uint64_t{base} + offset, header.size(), header.data())) return std::nullopt;
  const size_t count = size_t{Le16(&header[12])} + Le16(&header[14]);
  if (count == 0 || count > kMaxDirectoryEntries) return std::nullopt;
  std::vector<uint8_t> raw(count * 8);
  if (!image.ReadRva(uint64_t{base} + offset + 16, raw.size(), raw.data())) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (size_t i = 0; i < count; ++i) entries.push_back({Le32(&raw[i * 8]), Le32(&raw[i * 8 + 4])});
  return entries;
}

const DirectoryEntry* FindId(const std::vector<DirectoryEntry>& entries, uint32_t id) {
  for (const DirectoryEntry& e : entries) {
    if (!e.Named() && e.name == id) return &e;
  }
  return nullptr;
}

}  // namespace

struct VersionBlock::Node {
  size_t end = 0;
  std::u16string key;
  uint16_t type = 0;
  size_t valueOffset = 0;
  size_t valueBytes = 0;
  size_t children = 0;
};

namespace {

// One node {wLength, wValueLength, wType, key, padding, value, padding, children} starting at
// `offset` and ending before `limit`; alignment is relative to the block's start.
template <typename Node>
std::optional<Node> ParseNode(const std::vector<uint8_t>& b, size_t offset, size_t limit) {
  if (offset > limit || limit - offset < 6) return std::nullopt;
  const size_t length = Le16(&b[offset]);
  const size_t valueLength = Le16(&b[offset + 2]);
  Node node;
  node.type = Le16(&b[offset + 4]);
  if (length < 6 || length > limit - offset) return std::nullopt;
  node.end = offset + length;
  size_t p = offset + 6;
  for (;;) {
    if (node.end - p < 2) return std::nullopt;
    const char16_t c = Le16(&b[p]);
    p += 2;
    if (c == 0) break;
    node.key.push_back(c);
  }
  p = std::min(Align4(p), node.end);
  // Text values count UTF-16 units, binary ones bytes; a length that overstates is cut short.
  node.valueOffset = p;
  node.valueBytes = std::min(node.type == 1 ? valueLength * 2 : valueLength, node.end - p);
  node.children = std::min(Align4(p + node.valueBytes), node.end);
  return node;
}

}  // namespace

std::optional<VersionBlock::Node> VersionBlock::Find(const std::u16string& subBlock) const {
  auto node = ParseNode<Node>(bytes_, 0, bytes_.size());
  if (!node || !EqualsIgnoreCase(node->key, u"VS_VERSION_INFO")) return std::nullopt;
  for (const std::u16string& part : SplitPath(subBlock)) {
    std::optional<Node> found;
    for (size_t at = node->children; at < node->end;) {
      auto child = ParseNode<Node>(bytes_, at, node->end);
      if (!child) break;
      if (EqualsIgnoreCase(child->key, part)) {
        found = std::move(child);
        break;
      }
      at = Align4(child->end);
    }
    if (!found) return std::nullopt;
    node = std::move(found);
  }
  return node;
}

std::optional<std::u16string> VersionBlock::Text(const std::u16string& subBlock) const {
  const auto node = Find(subBlock);
  if (!node) return std::nullopt;
  std::u16string value;
  for (size_t i = 0; i + 1 < node->valueBytes; i += 2) {
    value.push_back(Le16(&bytes_[node->valueOffset + i]));
  }
  return value;
}

std::optional<std::vector<Translation>> VersionBlock::Translations() const {
  const auto node = Find(u"\\VarFileInfo\\Translation");
  if (!node) return std::nullopt;
  std::vector<Translation> pairs;
  for (size_t i = 0; i + 3 < node->valueBytes; i += 4) {
    const uint8_t* p = &bytes_[node->valueOffset + i];
    pairs.emplace_back(Le16(p), Le16(p + 2));
  }
  return pairs;
}

std::optional<std::string> VersionBlock::Name() const {
  return ChooseVersionName({[this] { return Translations(); },
                            [this](const std::u16string& sub) { return Text(sub); }});
}

std::optional<std::string> ChooseVersionName(const VersionQuery& query) {
  if (const auto pairs = query.translations ? query.translations() : std::nullopt) {
    for (const auto& [language, codePage] : *pairs) {
      char table[9];
      std::snprintf(table, sizeof table, "%04x%04x", language, codePage);
      for (const char* key : {"ProductName", "FileDescription"}) {
        if (auto name = Accept(query.text(SubBlock(table, key)))) return name;
      }
    }
  }
  for (const char* table : {"040904B0", "041D04B0", "000004B0"}) {
    if (auto name = Accept(query.text(SubBlock(table, "ProductName")))) return name;
  }
  return std::nullopt;
}

std::optional<VersionBlock> FindVersionBlock(const ByteSource& source) {
  Image image(source);
  uint32_t base = 0;
  if (!image.Open(base)) return std::nullopt;
  const auto types = ReadDirectory(image, base, 0);
  if (!types) return std::nullopt;
  const DirectoryEntry* type = FindId(*types, kRtVersion);
  if (type == nullptr || !type->Subdirectory()) return std::nullopt;
  const auto names = ReadDirectory(image, base, type->Offset());
  if (!names) return std::nullopt;
  // The loader asks for id 1; any other id is still better than no name.
  const DirectoryEntry* name = FindId(*names, kVersionInfoId);
  if (name == nullptr) name = &names->front();
  if (!name->Subdirectory()) return std::nullopt;
  const auto languages = ReadDirectory(image, base, name->Offset());
  if (!languages) return std::nullopt;
  const auto data = std::find_if(languages->begin(), languages->end(),
                                 [](const DirectoryEntry& e) { return !e.Subdirectory(); });
  if (data == languages->end()) return std::nullopt;
  std::array<uint8_t, 16> entry{};
  if (!image.ReadRva(uint64_t{base} + data->Offset(), entry.size(), entry.data())) {
    return std::nullopt;
  }
  const uint32_t dataRva = Le32(&entry[0]);
  const size_t size = std::min<size_t>(Le32(&entry[4]), kMaxVersionBlock);
  if (size < 6) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  if (!image.ReadRva(dataRva, size, bytes.data())) return std::nullopt;
  return VersionBlock(std::move(bytes));
}

std::optional<std::string> VersionNameFromImage(std::span<const uint8_t> image) {
  const auto block = FindVersionBlock(SpanSource(image));
  return block ? block->Name() : std::nullopt;
}

std::optional<std::string> VersionNameFromFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const uint64_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const auto block = FindVersionBlock(FileSource(file, size));
  return block ? block->Name() : std::nullopt;
}

}  // namespace halvex::pe
