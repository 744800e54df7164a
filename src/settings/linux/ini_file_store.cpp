// The settings file on Linux: the INI rules of IniDocument over a plain file. A write goes to a
// temporary file in the same folder, is flushed to disk and then renamed over the old file, so a
// crash or a full disk leaves either the old file or the new one, never half of one.
//
// Readers ask for one key at a time (about 25 at start-up), so the parsed file is kept and read
// again only when its identity, size or modification time changes. A file changed in the last
// moments is not trusted that way, as a second change within the file system's time resolution
// would keep the same time stamp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
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

// Enough for FAT's two-second times and the kernel's coarse clock alike.
constexpr int64_t kRacyWindowNs = 3'000'000'000;

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

int64_t WallClockNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// One parsed file, shared by every store over the same path.
struct CachedFile {
  bool valid = false;
  bool trusted = false;  // old enough that a change would show in its stamp
  FileStamp stamp;
  std::shared_ptr<const IniDocument> doc;
  std::string warned;  // the reason last reported, so each problem is logged once
};

// The program has one settings file; tests and tools open a few more.
constexpr size_t kMaxCachedFiles = 16;

std::map<std::string, CachedFile>& Cache() {
  static std::map<std::string, CachedFile> cache;
  return cache;
}

const IniDocument& EmptyDocument() {
  static const IniDocument empty;
  return empty;
}

// Why a file that could be read still holds no settings; "" when it is a settings file.
std::string GarbageReason(std::string_view text, const IniDocument& doc) {
  if (text.find('\0') != std::string_view::npos) return "contiene datos binarios, no es texto";
  if (!text::IsValidUtf8(text)) return "no es texto UTF-8";
  if (doc.HasContent() && !doc.HasSections()) return "no contiene ninguna seccion [..]";
  return "";
}

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
    const std::optional<std::string> value = Lookup(section, key);
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
  struct Loaded {
    LoadResult result = LoadResult::kMissing;
    const IniDocument* doc = &EmptyDocument();
    int error = 0;
  };

  std::optional<std::string> Lookup(std::string_view section, std::string_view key) const {
    std::lock_guard<std::mutex> lock(StoreMutex());
    // An unreadable file reads as empty: every reader then falls back to its defaults.
    return LoadLocked().doc->Value(section, key);
  }

  // The file as it is now, parsed again only when it changed. Called with the store lock held.
  Loaded LoadLocked() const {
    std::map<std::string, CachedFile>& cache = Cache();
    if (cache.size() >= kMaxCachedFiles && cache.find(file_.string()) == cache.end()) cache.clear();
    CachedFile& cached = cache[file_.string()];
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0) {
      const int error = errno;
      cached.valid = false;
      if (error == ENOENT || error == ENOTDIR) {
        cached.warned.clear();  // no file yet is the ordinary first start
        return {};
      }
      Warn(cached, std::strerror(error));
      return {LoadResult::kFailed, &EmptyDocument(), error};
    }
    if (S_ISDIR(st.st_mode)) {
      cached.valid = false;
      Warn(cached, "es una carpeta, no un archivo");
      return {LoadResult::kFailed, &EmptyDocument(), EISDIR};
    }
    if (!S_ISREG(st.st_mode)) {  // a pipe or a device would block or never end
      cached.valid = false;
      Warn(cached, "no es un archivo normal");
      return {LoadResult::kFailed, &EmptyDocument(), EINVAL};
    }
    const FileStamp stamp = StampOf(st);
    if (cached.valid && cached.trusted && cached.stamp == stamp) {
      return {LoadResult::kLoaded, cached.doc.get(), 0};
    }
    // Taken before reading: a change while the file is read shows at the next call.
    const bool trusted = stamp.modifiedNs + kRacyWindowNs < WallClockNs();

    std::string bytes;
    int error = 0;
    const LoadResult read = ReadWholeFile(file_, bytes, error);
    if (read != LoadResult::kLoaded) {
      cached.valid = false;
      if (read == LoadResult::kMissing) {
        cached.warned.clear();
        return {};
      }
      Warn(cached, std::strerror(error));
      return {LoadResult::kFailed, &EmptyDocument(), error};
    }
    const std::string decoded = DecodeText(std::move(bytes));
    auto doc = std::make_shared<const IniDocument>(IniDocument::Parse(decoded));
    if (const std::string why = GarbageReason(decoded, *doc); !why.empty()) {
      Warn(cached, why);
    } else {
      cached.warned.clear();
    }
    cached.valid = true;
    cached.trusted = trusted;
    cached.stamp = stamp;
    cached.doc = std::move(doc);
    return {LoadResult::kLoaded, cached.doc.get(), 0};
  }

  void Warn(CachedFile& cached, const std::string& why) const {
    if (cached.warned == why) return;
    cached.warned = why;
    log::Warning("no se pudo leer el archivo de configuracion " + file_.string() + " (" + why +
                 "); se usan los valores predeterminados.");
  }

  bool Edit(const std::function<bool(IniDocument&)>& change) const {
    std::lock_guard<std::mutex> lock(StoreMutex());
    const Loaded loaded = LoadLocked();
    if (loaded.result == LoadResult::kFailed) {
      // Writing now would replace settings we could not read with an almost empty file.
      Fail("no se pudo leer", loaded.error);
      return false;
    }
    IniDocument doc = *loaded.doc;
    if (!change(doc)) return true;  // nothing to change: the file already says so
    const bool written = Replace(doc.Serialize());
    Cache()[file_.string()].valid = false;  // the next read takes the file as written
    return written;
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
