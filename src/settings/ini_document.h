#pragma once
// An INI file held as its lines, looked up and edited with the rules of the Windows
// private-profile functions. Lines that an edit does not touch are kept byte for byte, so
// comments, blank lines and the user's own layout survive a write.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::settings {

class IniDocument {
 public:
  // Any bytes parse: lines end at CR, LF or CR LF; a UTF-8 byte order mark is kept aside.
  static IniDocument Parse(std::string_view bytes);

  // The value after "=" (blanks around it removed) of the first matching key in the first
  // matching section; nullopt when missing or when the line has no "=". Names are compared
  // without regard to ASCII case after trimming blanks. Lines before any section header form a
  // section with the empty name.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // Replaces the key in place or appends it to its section (a missing section is appended to the
  // document). Returns whether the document changed.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  bool RemoveKey(std::string_view section, std::string_view key);
  // Removes every section of that name with its lines.
  bool RemoveSection(std::string_view section);

  std::string Serialize() const;

  // True when some line is a section header: a file without one holds no settings at all.
  bool HasSections() const;
  // True when some line is neither blank nor a comment (";" or "#").
  bool HasContent() const;

 private:
  enum class Kind { kOther, kSection, kKey };
  struct Line {
    std::string text;  // as in the file, without the line break
    Kind kind = Kind::kOther;
    std::string name;                     // section or key name, blanks trimmed
    size_t equals = std::string::npos;    // position of "=" in a key line
  };
  struct Range {
    size_t begin;  // header line, or 0 for the lines before the first header
    size_t end;    // one past the last line of the section
  };

  static Line ParseLine(std::string text);
  std::vector<Range> SectionsNamed(std::string_view section) const;
  std::optional<size_t> FindKey(const Range& range, std::string_view key) const;

  std::vector<Line> lines_;
  std::string bom_;
  std::string eol_ = "\n";
};

}  // namespace halvex::settings
