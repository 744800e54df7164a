#pragma once
// A program's friendly name from the version resource of a Windows executable, read without the
// Windows loader (so that Linux can name a Wine game). Every offset and length in the file is
// checked; a malformed or truncated file has no name.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace halvex::pe {

// (language, code page) pairs of "\VarFileInfo\Translation".
using Translation = std::pair<uint16_t, uint16_t>;

// What the naming rule needs from a version resource: its translation table and the text value
// (in UTF-16 units, as stored, terminator included when present) of a sub-block such as
// "\StringFileInfo\040904b0\ProductName". The Windows loader's version API and the reader below
// both answer it.
struct VersionQuery {
  std::function<std::optional<std::vector<Translation>>()> translations;
  std::function<std::optional<std::u16string>(const std::u16string& subBlock)> text;
};

// ProductName then FileDescription for each translation in order, then ProductName under the
// code pages 040904B0, 041D04B0 and 000004B0. A value counts when it is longer than its
// terminator and does not begin with a zero unit.
std::optional<std::string> ChooseVersionName(const VersionQuery& query);

// A parsed VS_VERSIONINFO block.
class VersionBlock {
 public:
  explicit VersionBlock(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // Case-insensitive path of keys below the root, separated by "\".
  std::optional<std::u16string> Text(const std::u16string& subBlock) const;
  std::optional<std::vector<Translation>> Translations() const;
  std::optional<std::string> Name() const;

 private:
  struct Node;
  std::optional<Node> Find(const std::u16string& subBlock) const;
  std::vector<uint8_t> bytes_;
};

// Random access to the bytes of an executable.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly `count` bytes at `offset`, or false.
  virtual bool Read(uint64_t offset, size_t count, uint8_t* out) const = 0;
};

// The RT_VERSION resource (the first name, the first language) of a PE image, nullopt when the
// image is not a PE file, has no such resource, or any structure points outside the file.
std::optional<VersionBlock> FindVersionBlock(const ByteSource& image);

std::optional<std::string> VersionNameFromImage(std::span<const uint8_t> image);
// Reads only the headers and the resource structures, never the whole file.
std::optional<std::string> VersionNameFromFile(const std::filesystem::path& path);

}  // namespace halvex::pe
