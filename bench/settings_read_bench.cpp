// Prints how long start-up takes to read its settings from a 10 MB settings file (a mixer section
// grown by years of per-program volumes), key by key as the recorder reads them.
#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/settings.h"

namespace fs = std::filesystem;
using namespace halvex;
using Clock = std::chrono::steady_clock;

namespace {

// Counts the keys the readers ask for.
class CountingStore final : public settings::ProfileStore {
 public:
  explicit CountingStore(const settings::ProfileStore& inner) : inner_(inner) {}
  std::string GetString(std::string_view s, std::string_view k, std::string_view f,
                        size_t m) const override {
    ++reads;
    return inner_.GetString(s, k, f, m);
  }
  int32_t GetInt(std::string_view s, std::string_view k, int32_t f) const override {
    ++reads;
    return inner_.GetInt(s, k, f);
  }
  bool WriteString(std::string_view s, std::string_view k, std::string_view v) const override {
    return inner_.WriteString(s, k, v);
  }
  bool DeleteKey(std::string_view s, std::string_view k) const override {
    return inner_.DeleteKey(s, k);
  }
  bool DeleteSection(std::string_view s) const override { return inner_.DeleteSection(s); }
  mutable int reads = 0;

 private:
  const settings::ProfileStore& inner_;
};

// The readers the recorder calls at start-up, in its order.
void StartupReads(const settings::ProfileStore& store) {
  (void)settings::ReadVideoQualitySettings(store);
  (void)settings::ReadAudioQualitySettings(store);
  (void)settings::ReadClipDurationSeconds(store);
  (void)settings::ReadSaveRoot(store);
  (void)settings::ReadShortcuts(store);
  (void)settings::ReadExclusionLists(store);
}

double TimeReads(const fs::path& file, int& reads) {
  auto store = settings::OpenProfileStore(file);
  CountingStore counting(*store);
  const auto start = Clock::now();
  StartupReads(counting);
  reads = counting.reads;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
  const fs::path folder = fs::temp_directory_path() / "halvex-settings-bench";
  fs::create_directories(folder);
  const fs::path file = folder / "Halvex.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "[ClipSettings]\nDurationSeconds=60\nSaveRoot=/srv/clips\n"
        << "[VideoQuality]\nWidth=1280\nHeight=720\nFPS=60\nCodec=H264\n"
        << "[Shortcuts]\nSaveClip=119\nOpenMenu=16,17,121\n"
        << "[ExcludedPrograms]\nVideoCount=1\nVideo0=explorer.exe\n[AudioMixer]\n";
    char line[64];
    for (unsigned long long i = 0; out.tellp() < 10 * 1024 * 1024; ++i) {
      const int n = std::snprintf(line, sizeof line, "App_%016llX=%llu\n", i * 0x9E3779B97F4A7C15ULL,
                                  i % 101);
      out.write(line, n);
    }
    out << "[AudioQuality]\nSampleRate=48000\nFormat=AAC-LC\n";
  }
  // An old file, as a settings file is at start-up.
  const timeval old[2] = {{1700000000, 0}, {1700000000, 0}};
  ::utimes(file.c_str(), old);

  const double mb = static_cast<double>(fs::file_size(file)) / (1024 * 1024);
  int reads = 0;
  const double first = TimeReads(file, reads);
  std::printf("lecturas de arranque, archivo de %.1f MB, %d claves: %.0f ms\n", mb, reads, first);
  const double again = TimeReads(file, reads);
  std::printf("las mismas lecturas otra vez, archivo sin cambios: %.0f ms\n", again);
  fs::remove_all(folder);
  return 0;
}
