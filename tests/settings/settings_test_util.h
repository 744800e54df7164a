#pragma once
// Per-test folders and raw file access for the settings tests. The same tests run against the
// INI store on Linux and against the system's private-profile functions under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "settings/profile_store.h"

namespace halvex::settings::testing {

class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("halvex-settings-" + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) return;
    }
    ADD_FAILURE() << "no temporary folder";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder with a store over "Halvex.ini" inside it.
class StoreTest : public ::testing::Test {
 protected:
  StoreTest() : file_(folder_.path() / "Halvex.ini"), store_(OpenProfileStore(file_)) {}

  void WriteFile(const std::string& bytes) { WriteBytes(file_, bytes); }
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view fallback = "<none>", size_t maxUnits = 4095) const {
    return store_->GetString(section, key, fallback, maxUnits);
  }

  TempFolder folder_;
  std::filesystem::path file_;
  std::unique_ptr<ProfileStore> store_;
};

}  // namespace halvex::settings::testing
