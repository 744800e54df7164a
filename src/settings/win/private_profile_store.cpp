// The settings file on Windows: the system's private-profile functions.
#include <windows.h>

#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "settings/profile_rules.h"
#include "settings/profile_store.h"

namespace halvex::settings {

namespace {

std::wstring Wide(std::string_view s) { return text::Utf8ToWide(s); }

class PrivateProfileStore final : public ProfileStore {
 public:
  explicit PrivateProfileStore(const std::filesystem::path& file) {
    // A name without a folder would send the functions to the Windows directory; the bare
    // fallback name means the current directory.
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    file_ = (ec ? file : absolute).wstring();
  }

  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                        size_t maxUnits) const override {
    std::vector<wchar_t> buffer(maxUnits + 1, L'\0');
    const DWORD n = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                               Wide(fallback).c_str(), buffer.data(),
                                               static_cast<DWORD>(buffer.size()), file_.c_str());
    return text::WideToUtf8(std::wstring_view(buffer.data(), n < buffer.size() ? n : 0));
  }

  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const override {
    return static_cast<int32_t>(::GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(),
                                                        fallback, file_.c_str()));
  }

  bool WriteString(std::string_view section, std::string_view key,
                   std::string_view value) const override {
    if (const std::string why = profile::CheckWritable(section, key, value); !why.empty()) {
      log::Warning("no se guarda " + std::string(section) + "/" + std::string(key) + ": " + why);
      return false;
    }
    CreateAsUnicode();
    return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                        Wide(value).c_str(), file_.c_str()) != FALSE;
  }

  bool DeleteKey(std::string_view section, std::string_view key) const override {
    return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), nullptr,
                                        file_.c_str()) != FALSE;
  }

  bool DeleteSection(std::string_view section) const override {
    const std::wstring name = Wide(section);
    // One call removes one copy of the section; a hand-edited file may hold more.
    for (int i = 0; i < 64; ++i) {
      if (!::WritePrivateProfileStringW(name.c_str(), nullptr, nullptr, file_.c_str())) {
        return false;
      }
      if (!HasSection(name)) return true;
    }
    return false;
  }

 private:
  // A file that starts with a UTF-16 byte order mark is kept in UTF-16 by the functions; without
  // it they use the ANSI code page and text outside it (a save folder in another script) would
  // come back as "?". Only a new file gets the mark: an existing file keeps its encoding.
  void CreateAsUnicode() const {
    HANDLE h = ::CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;  // exists already, or the folder is not writable
    const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(h, bom, sizeof bom, &written, nullptr);
    ::CloseHandle(h);
  }

  bool HasSection(const std::wstring& name) const {
    std::vector<wchar_t> names(4096);
    for (;;) {
      const DWORD n = ::GetPrivateProfileSectionNamesW(names.data(),
                                                       static_cast<DWORD>(names.size()),
                                                       file_.c_str());
      if (n + 2 < names.size() || names.size() >= (1u << 22)) break;
      names.assign(names.size() * 2, L'\0');
    }
    for (const wchar_t* p = names.data(); *p != L'\0'; p += wcslen(p) + 1) {
      if (::CompareStringOrdinal(p, -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
  }

  std::wstring file_;
};

}  // namespace

std::unique_ptr<ProfileStore> OpenProfileStore(const std::filesystem::path& file) {
  return std::make_unique<PrivateProfileStore>(file);
}

}  // namespace halvex::settings
