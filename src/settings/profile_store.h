#pragma once
// The settings file as a key/value store with the lookup and write rules of the Windows
// private-profile functions. Windows uses those functions; Linux has its own INI store with the
// same rules, so both builds read and write the same files the same way.
//
// Encoding: on Windows a file the program creates starts with a UTF-16 byte order mark, which
// makes the functions keep it in UTF-16, so any text round-trips; a file that already exists
// without the mark stays in the ANSI code page, where text outside that page comes back as "?".
// On Linux the file is UTF-8 (a UTF-8 or UTF-16 mark is understood when reading; bytes that are not
// UTF-8 read as U+FFFD).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace halvex::settings {

// A handle on one settings file. Calls are independent: each one sees the file as it is now (the
// Linux store keeps the parsed file and reads it again when it changes) and each write reaches the
// file before the call returns. A file that exists but cannot be read is reported once in an
// "AVISO: " line. Text is UTF-8.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;

  // The value of `key` in `section` (both compared without regard to ASCII case; the first
  // section and the first key of that name win), or `fallback` when the file, the section or the
  // key is missing or the line has no "=". Surrounding blanks and one pair of matching quotes
  // are removed; the result holds at most `maxUnits` UTF-16 units (a buffer of maxUnits + 1).
  virtual std::string GetString(std::string_view section, std::string_view key,
                                std::string_view fallback, size_t maxUnits) const = 0;

  // An integer as the system reads one: `fallback` when the value is missing or empty, otherwise
  // its leading number (blanks, sign and a 0x/0o/0b prefix allowed; 0 when there is none).
  virtual int32_t GetInt(std::string_view section, std::string_view key,
                         int32_t fallback) const = 0;

  // Replaces the key in place or adds it at the end of its section (the section at the end of the
  // file when missing). Leading blanks of the value are dropped. A key or value that would break
  // the line structure (line breaks, NUL, "=" in the key) is refused. False when nothing was
  // written; the file then holds what it held before.
  virtual bool WriteString(std::string_view section, std::string_view key,
                           std::string_view value) const = 0;

  // Removes the first key of that name (a write with a null value).
  virtual bool DeleteKey(std::string_view section, std::string_view key) const = 0;

  // Removes the whole section, every copy of it if the file holds several (a write with a null
  // key).
  virtual bool DeleteSection(std::string_view section) const = 0;
};

// The platform's store over `file`: the private-profile functions on Windows, the INI store on
// Linux.
std::unique_ptr<ProfileStore> OpenProfileStore(const std::filesystem::path& file);

// The store over the user's settings file; the path is built afresh on every call, so a change of
// the environment is seen at once.
const ProfileStore& UserSettings();

}  // namespace halvex::settings
