#include "settings/ini_document.h"

#include "core/text.h"
#include "settings/profile_rules.h"

namespace halvex::settings {

using profile::IsBlankByte;
using profile::TrimBlanks;

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc.bom_ = bytes.substr(0, 3);
    bytes.remove_prefix(3);
  }
  bool eolKnown = false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    doc.lines_.push_back(ParseLine(std::string(bytes.substr(start, end - start))));
    if (end >= bytes.size()) break;
    size_t next = end + 1;
    const bool crlf = bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n';
    if (crlf) ++next;
    if (!eolKnown) {
      doc.eol_ = crlf ? "\r\n" : "\n";
      eolKnown = true;
    }
    start = next;
  }
  return doc;
}

bool IniDocument::HasSections() const {
  for (const Line& line : lines_)
    if (line.kind == Kind::kSection) return true;
  return false;
}

bool IniDocument::HasContent() const {
  for (const Line& line : lines_) {
    const std::string_view trimmed = TrimBlanks(line.text);
    if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') return true;
  }
  return false;
}

IniDocument::Line IniDocument::ParseLine(std::string text) {
  Line line;
  line.text = std::move(text);
  const std::string_view trimmed = TrimBlanks(line.text);
  if (trimmed.empty()) return line;
  if (trimmed.front() == '[') {
    const size_t close = trimmed.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      line.kind = Kind::kSection;
      line.name = std::string(TrimBlanks(trimmed.substr(1, close - 1)));
      return line;
    }
    // A "[" without "]" is read as a key line, as the system does.
  }
  line.kind = Kind::kKey;
  const size_t eq = line.text.find('=');
  if (eq == std::string::npos) {
    line.name = std::string(trimmed);
  } else {
    line.equals = eq;
    line.name = std::string(TrimBlanks(std::string_view(line.text).substr(0, eq)));
  }
  return line;
}

std::vector<IniDocument::Range> IniDocument::SectionsNamed(std::string_view section) const {
  section = TrimBlanks(section);
  std::vector<Range> out;
  size_t begin = 0;
  bool named = section.empty();  // the lines before the first header have the empty name
  for (size_t i = 0; i <= lines_.size(); ++i) {
    if (i == lines_.size() || lines_[i].kind == Kind::kSection) {
      if (named) out.push_back({begin, i});
      if (i == lines_.size()) break;
      begin = i;
      named = text::EqualsIgnoreAsciiCase(lines_[i].name, section);
    }
  }
  return out;
}

std::optional<size_t> IniDocument::FindKey(const Range& range, std::string_view key) const {
  key = TrimBlanks(key);
  for (size_t i = range.begin; i < range.end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::kKey && text::EqualsIgnoreAsciiCase(line.name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
  const std::vector<Range> sections = SectionsNamed(section);
  // Only the first section of a name counts for lookups.
  if (sections.empty()) return std::nullopt;
  const std::optional<size_t> at = FindKey(sections.front(), key);
  if (!at) return std::nullopt;
  const Line& line = lines_[*at];
  if (line.equals == std::string::npos) return std::nullopt;
  return std::string(TrimBlanks(std::string_view(line.text).substr(line.equals + 1)));
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  size_t skip = 0;
  while (skip < value.size() && IsBlankByte(value[skip])) ++skip;
  value.remove_prefix(skip);
  const std::string_view name = TrimBlanks(key);

  const std::vector<Range> sections = SectionsNamed(section);
  if (sections.empty()) {
    lines_.push_back(ParseLine("[" + std::string(TrimBlanks(section)) + "]"));
    lines_.push_back(ParseLine(std::string(name) + "=" + std::string(value)));
    return true;
  }
  const Range& range = sections.front();
  if (const std::optional<size_t> at = FindKey(range, name)) {
    Line& line = lines_[*at];
    std::string text;
    if (line.equals != std::string::npos) {
      const std::string_view old = TrimBlanks(std::string_view(line.text).substr(line.equals + 1));
      if (old == value) return false;
      text = line.text.substr(0, line.equals + 1);
    } else {
      text = std::string(TrimBlanks(line.text)) + "=";
    }
    text += value;
    line = ParseLine(std::move(text));
    return true;
  }
  // After the section's last non-blank line, so blank lines before the next header stay there.
  size_t insert = range.end;
  while (insert > range.begin && lines_[insert - 1].kind == Kind::kOther) --insert;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert),
                ParseLine(std::string(name) + "=" + std::string(value)));
  return true;
}

bool IniDocument::RemoveKey(std::string_view section, std::string_view key) {
  for (const Range& range : SectionsNamed(section)) {
    if (const std::optional<size_t> at = FindKey(range, key)) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
      return true;
    }
  }
  return false;
}

bool IniDocument::RemoveSection(std::string_view section) {
  const std::vector<Range> sections = SectionsNamed(section);
  bool changed = false;
  // Back to front so the earlier ranges stay valid.
  for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
    if (it->end == it->begin) continue;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->begin),
                 lines_.begin() + static_cast<std::ptrdiff_t>(it->end));
    changed = true;
  }
  return changed;
}

std::string IniDocument::Serialize() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.text;
    out += eol_;
  }
  return out;
}

}  // namespace halvex::settings
