// The settings file on Linux: the INI rules of IniDocument over a plain file. A write goes to a
// temporary file in the same folder, is flushed to disk and then renamed over the old file, so a
// crash or a full disk leaves either the old file or the new one, never half of one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>

#include "core/log.h"
#include "core/text.h"
#include "settings/ini_document.h"
#include "settings/profile_rules.h"
#include "settings/profile_store.h"

namespace halvex::settings {

namespace {

namespace fs = std::filesystem;

// One lock for every file, as the system's private-profile functions serialise all callers.
std::mutex& StoreMutex() {
  static std::mutex m;
  return m;
}

enum class LoadResult { kLoaded, kMissing, kFailed };

LoadResult ReadWholeFile(const fs::path& file, std::string& bytes, int& error) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::kMissing : LoadResult::kFailed;
  }
  bytes.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      ::close(fd);
      return LoadResult::kFailed;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return LoadResult::kLoaded;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A file written by the Windows build starts with a UTF-16 byte order mark; it is read as text
// and the next write stores it as UTF-8, which this store keeps from then on.
std::string DecodeText(std::string bytes) {
  if (bytes.size() < 2) return bytes;
  const unsigned char b0 = static_cast<unsigned char>(bytes[0]);
  const unsigned char b1 = static_cast<unsigned char>(bytes[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE;
  const bool big = b0 == 0xFE && b1 == 0xFF;
  if (!little && !big) return bytes;
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
    const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
    units.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  return text::Utf16ToUtf8(units);
}

// The file a write replaces: through a symbolic link (a settings file kept with the user's other
// dotfiles), so the link stays a link.
fs::path WriteTarget(const fs::path& file) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(file, ec))) {
    fs::path resolved = fs::weakly_canonical(file, ec);
    if (!ec) return resolved;
  }
  return file;
}

class IniFileStore final : public ProfileStore {
 public:
  explicit IniFileStore(fs::path file) : file_(std::move(file)) {}

  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                        size_t maxUnits) const override {
    const std::optional<std::string> value = Load().Value(section, key);
    const std::u16string wide = value ? text::Utf8ToUtf16(*value) : text::Utf8ToUtf16(fallback);
    const std::u16string_view source = value ? std::u16string_view(wide)
                                             : profile::TrimFallback(wide);
    return text::Utf16ToUtf8(profile::CopyEntry(source, maxUnits + 1));
  }

  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const override {
    const std::string value = GetString(section, key, "", profile::kIntegerValueUnits);
    return profile::IntegerFromValue(text::Utf8ToUtf16(value), fallback);
  }

  bool WriteString(std::string_view section, std::string_view key,
                   std::string_view value) const override {
    if (const std::string why = profile::CheckWritable(section, key, value); !why.empty()) {
      log::Warning("no se guarda " + std::string(section) + "/" + std::string(key) + ": " + why);
      return false;
    }
    return Edit([&](IniDocument& doc) { return doc.Set(section, key, value); });
  }

  bool DeleteKey(std::string_view section, std::string_view key) const override {
    return Edit([&](IniDocument& doc) { return doc.RemoveKey(section, key); });
  }

  bool DeleteSection(std::string_view section) const override {
    return Edit([&](IniDocument& doc) { return doc.RemoveSection(section); });
  }

 private:
  IniDocument Load() const {
    std::lock_guard<std::mutex> lock(StoreMutex());
    std::string bytes;
    int error = 0;
    // An unreadable file reads as empty: every reader then falls back to its defaults.
    if (ReadWholeFile(file_, bytes, error) != LoadResult::kLoaded) return IniDocument();
    return IniDocument::Parse(DecodeText(std::move(bytes)));
  }

  bool Edit(const std::function<bool(IniDocument&)>& change) const {
    std::lock_guard<std::mutex> lock(StoreMutex());
    std::string bytes;
    int error = 0;
    const LoadResult loaded = ReadWholeFile(file_, bytes, error);
    if (loaded == LoadResult::kFailed) {
      // Writing now would replace settings we could not read with an almost empty file.
      Fail("no se pudo leer", error);
      return false;
    }
    IniDocument doc = IniDocument::Parse(DecodeText(std::move(bytes)));
    if (!change(doc)) return true;  // nothing to change: the file already says so
    return Replace(doc.Serialize());
  }

  bool Replace(std::string_view bytes) const {
    const fs::path target = WriteTarget(file_);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    fs::create_directories(folder, ec);  // ~/.config may not exist yet on a fresh account

    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
      Fail("no se pudo crear un archivo temporal", errno);
      return false;
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    // Keep the old file's mode; failing to is no reason to lose the write.
    (void)::fchmod(fd, mode);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
      ok = false;
      error = errno;
    }
    if (!ok) {
      ::unlink(temp.c_str());
      Fail("no se pudo escribir", error);
      return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return true;
  }

  void Fail(const char* what, int error) const {
    log::Warning(std::string(what) + " el archivo de configuracion " + file_.string() + " (" +
                 std::strerror(error) + "); se conserva el anterior.");
  }

  fs::path file_;
};

}  // namespace

std::unique_ptr<ProfileStore> OpenProfileStore(const std::filesystem::path& file) {
  return std::make_unique<IniFileStore>(file);
}

}  // namespace halvex::settings
