#pragma once
// Loads the test double of nvEncodeAPI64.dll and keeps it loaded for the test, so that the
// encoder's own LoadLibraryW by name gets this very module and its recorded state. Variants with
// fewer exports are built into nvenc_variants/<name>/ beside the test binary.
#include <windows.h>

#include <string>

#include "fake_nvenc/fake_nvenc_state.h"

namespace halvex::test {

inline constexpr wchar_t kNvencLibrary[] = L"nvEncodeAPI64.dll";

inline std::wstring TestBinaryFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

// Whether any module named nvEncodeAPI64.dll is loaded in this process.
inline bool NvencLibraryLoaded() { return GetModuleHandleW(kNvencLibrary) != nullptr; }

class FakeNvencLibrary {
 public:
  // `variant` empty: the full double beside the binary; else nvenc_variants/<variant>/.
  bool Load(const std::wstring& variant = {}) {
    const std::wstring path =
        variant.empty() ? std::wstring(kNvencLibrary)
                        : TestBinaryFolder() + L"\\nvenc_variants\\" + variant + L"\\" + kNvencLibrary;
    module_ = LoadLibraryW(path.c_str());
    if (!module_) return false;
    auto get = reinterpret_cast<FakeNvencStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "FakeNvencGetState")));
    auto reset = reinterpret_cast<FakeNvencResetFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "FakeNvencReset")));
    if (!get || !reset) return false;
    reset();
    state_ = get();
    return true;
  }

  // Drops the test's reference; true when nothing else (the encoder) still holds the library.
  bool Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    state_ = nullptr;
    return !NvencLibraryLoaded();
  }

  FakeNvencState& state() { return *state_; }
  bool loaded() const { return module_ != nullptr; }

 private:
  HMODULE module_ = nullptr;
  FakeNvencState* state_ = nullptr;
};

}  // namespace halvex::test
