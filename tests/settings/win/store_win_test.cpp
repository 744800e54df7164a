// Windows-only behaviour of the private-profile store (run under Wine).
#include <windows.h>

#include "settings/settings.h"
#include "settings/settings_test_util.h"

namespace halvex::settings {
namespace {

using testing::ReadBytes;
using testing::StoreTest;
using testing::TempFolder;

class ScopedAppData {
 public:
  explicit ScopedAppData(const wchar_t* value) {
    wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", buffer, 32768);
    if (n > 0 && n < 32768) old_ = std::wstring(buffer, n);
    ::SetEnvironmentVariableW(L"APPDATA", value);
  }
  ~ScopedAppData() { ::SetEnvironmentVariableW(L"APPDATA", old_ ? old_->c_str() : nullptr); }

 private:
  std::optional<std::wstring> old_;
};

TEST(SettingsPathWinTest, UsesAppDataWithinLimits) {
  TempFolder folder;
  {
    ScopedAppData appdata(folder.path().wstring().c_str());
    EXPECT_EQ(SettingsPath().wstring(), folder.path().wstring() + L"\\Halvex.ini");
    ASSERT_TRUE(WriteClipDurationSeconds(90));
    EXPECT_EQ(ReadClipDurationSeconds(), 90);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Halvex.ini"));
  }
  {
    ScopedAppData missing(nullptr);
    EXPECT_EQ(SettingsPath(), std::filesystem::path("Halvex.ini"));
  }
  const std::wstring tooLong = L"C:\\" + std::wstring(257, L'a');  // 260 units
  ScopedAppData longValue(tooLong.c_str());
  EXPECT_EQ(SettingsPath(), std::filesystem::path("Halvex.ini"));
}

using PrivateProfileWinTest = StoreTest;

TEST_F(PrivateProfileWinTest, NewFilesAreUnicode) {
  ASSERT_TRUE(WriteSaveRoot("C:\\Clips\\\xE6\x98\xA0", *store_));
  const std::string bytes = ReadBytes(file_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
}

TEST_F(PrivateProfileWinTest, AFileHeldByAnotherProgramKeepsItsContent) {
  WriteFile("[ClipSettings]\r\nDurationSeconds=60\r\n");
  const std::string before = ReadBytes(file_);
  HANDLE h = ::CreateFileW(file_.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(store_->WriteString("ClipSettings", "DurationSeconds", "90"));
  ::CloseHandle(h);
  EXPECT_EQ(ReadBytes(file_), before);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 60);
}

TEST_F(PrivateProfileWinTest, AMissingFolderFailsCleanly) {
  const auto store = OpenProfileStore(folder_.path() / "missing" / "Halvex.ini");
  EXPECT_FALSE(store->WriteString("ClipSettings", "DurationSeconds", "90"));
  EXPECT_EQ(ReadClipDurationSeconds(*store), 30);
}

}  // namespace
}  // namespace halvex::settings
