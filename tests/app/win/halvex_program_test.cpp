// Halvex.exe as a whole process: its start-up order up to the first step Wine cannot do, and the
// hand-over to a running instance. The program and its DLLs are copied into a fresh folder per
// run, with or without the NVENC test double beside them, and its standard output is read
// through a pipe.
#include <windows.h>
#include <dxgi.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/text.h"
#include "first_instance_process.h"

namespace halvex {
namespace {

using test::BinaryDir;
using test::FirstInstance;

constexpr char kBanner[] = "=== Halvex - V2.1.13: audio sincronizado del juego y del microfono ===";
constexpr DWORD kRunTimeoutMs = 60000;

std::wstring ProgramDir() { return BinaryDir() + L"halvex_program\\"; }

// A temporary folder holding one runnable copy of the program.
class ProgramCopy {
 public:
  explicit ProgramCopy(bool withNvenc) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"halvex_program_" + std::to_wstring(GetCurrentProcessId()) +
              L"_" + std::to_wstring(++counter_) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    CopyMatching(ProgramDir(), L"*.exe");
    CopyMatching(ProgramDir(), L"*.dll");
    if (withNvenc) CopyMatching(ProgramDir() + L"fake_nvenc\\", L"nvEncodeAPI64.dll");
  }
  ~ProgramCopy() {
    for (const std::wstring& file : copied_) DeleteFileW(file.c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  std::wstring Exe() const { return folder_ + L"Halvex.exe"; }
  bool Has(const wchar_t* name) const {
    return GetFileAttributesW((folder_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

 private:
  void CopyMatching(const std::wstring& from, const wchar_t* pattern) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((from + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      const std::wstring target = folder_ + found.cFileName;
      if (CopyFileW((from + found.cFileName).c_str(), target.c_str(), FALSE)) {
        copied_.push_back(target);
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }

  static inline int counter_ = 0;
  std::wstring folder_;
  std::vector<std::wstring> copied_;
};

struct RunResult {
  bool finished = false;
  int exitCode = -1;
  std::vector<std::string> lines;
};

// Starts the program with its standard output and error on one pipe and waits for it to end.
RunResult RunProgram(const std::wstring& exe) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + exe + L"\"";
  const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);  // the child's copy is the only writer left: EOF when it ends
  if (!started) {
    CloseHandle(readEnd);
    return result;
  }
  CloseHandle(pi.hThread);

  std::string output;
  std::thread reader([&] {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
  });
  if (WaitForSingleObject(pi.hProcess, kRunTimeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.finished = true;
    result.exitCode = static_cast<int>(code);
  } else {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 10000);
  }
  reader.join();
  CloseHandle(readEnd);
  CloseHandle(pi.hProcess);

  size_t begin = 0;
  while (begin < output.size()) {
    size_t end = output.find('\n', begin);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.lines.push_back(line);
    begin = end + 1;
  }
  return result;
}

// The line the program must print for the monitor it captures: output 0 of the default adapter.
std::string ExpectedOutputLine() {
  Microsoft::WRL::ComPtr<IDXGIFactory1> factory;
  Microsoft::WRL::ComPtr<IDXGIAdapter1> adapter;
  Microsoft::WRL::ComPtr<IDXGIOutput> output;
  DXGI_OUTPUT_DESC desc{};
  if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1),
                                reinterpret_cast<void**>(factory.GetAddressOf()))) ||
      FAILED(factory->EnumAdapters1(0, &adapter)) || FAILED(adapter->EnumOutputs(0, &output)) ||
      FAILED(output->GetDesc(&desc))) {
    return {};
  }
  const RECT& r = desc.DesktopCoordinates;
  return "Capturando video: " + text::WideToUtf8(desc.DeviceName) + " (" +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + ")";
}

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

TEST(HalvexProgramTest, StartsUpInOrderUntilDuplicationIsRefused) {
  const std::string outputLine = ExpectedOutputLine();
  ASSERT_FALSE(outputLine.empty()) << "no DXGI output 0 (is DISPLAY set?)";
  ProgramCopy program(true);
  ASSERT_TRUE(program.Has(L"nvEncodeAPI64.dll"));

  const RunResult run = RunProgram(program.Exe());
  ASSERT_TRUE(run.finished) << Joined(run.lines);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string>& lines = run.lines;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), kBanner) << Joined(lines);

  // Wine offers a device and output 0 but neither window capture nor duplication.
  const size_t output = IndexOf(lines, outputLine);
  const size_t windowCapture =
      IndexOf(lines, "[WGC] No disponible; se usara Desktop Duplication como fallback.");
  const size_t duplication = IndexOf(lines,
                                     "ERROR: DuplicateOutput fallo (hr=0x80004001). Cierra otros "
                                     "capturadores (Game Bar, OBS) e intenta de nuevo.");
  ASSERT_LT(output, lines.size()) << Joined(lines);
  ASSERT_LT(windowCapture, lines.size()) << Joined(lines);
  ASSERT_LT(duplication, lines.size()) << Joined(lines);
  EXPECT_LT(output, windowCapture);
  EXPECT_LT(windowCapture, duplication);
  // The failure ends start-up: nothing of the later steps, and no error before it.
  EXPECT_EQ(duplication, lines.size() - 1) << Joined(lines);
  for (size_t i = 0; i < duplication; ++i) {
    EXPECT_NE(lines[i].rfind("ERROR: ", 0), 0u) << lines[i];
  }
}

TEST(HalvexProgramTest, CarriesItsIconAndPerMonitorDpiManifest) {
  const std::wstring exe = ProgramDir() + L"Halvex.exe";
  HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(14)), nullptr);
  HICON icon = static_cast<HICON>(LoadImageW(image, MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(icon, nullptr);
  if (icon) DestroyIcon(icon);
  HRSRC manifest = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, manifest)));
  const std::string text(bytes, SizeofResource(image, manifest));
  EXPECT_NE(text.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                      "WindowsSettings\">PerMonitorV2</dpiAwareness>"),
            std::string::npos);
  FreeLibrary(image);
}

TEST(HalvexProgramTest, StopsAtTheNvencCheckWithoutTheVendorLibrary) {
  ProgramCopy program(false);
  ASSERT_FALSE(program.Has(L"nvEncodeAPI64.dll"));
  const RunResult run = RunProgram(program.Exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string> expected = {
      kBanner,
      "ERROR: NVENC no esta disponible en este equipo (¿no es GPU NVIDIA o falta el driver?)."};
  EXPECT_EQ(run.lines, expected) << Joined(run.lines);
}

TEST(HalvexProgramTest, SecondStartWakesTheRunningInstanceAndEndsWithoutDevices) {
  FirstInstance first(true);
  ASSERT_TRUE(first.WaitReady());
  // With the vendor library present a start that failed to hand over would print the banner.
  ProgramCopy program(true);
  const RunResult run = RunProgram(program.Exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.lines.empty()) << Joined(run.lines);
  EXPECT_EQ(first.ExitCode(), 0);  // the helper's tray window got WM_APP + 0x411
}

TEST(HalvexProgramTest, RunningInstanceWithoutTrayWindowStillEndsTheSecondStart) {
  FirstInstance first(false);
  ASSERT_TRUE(first.WaitReady());
  ProgramCopy program(true);
  const RunResult run = RunProgram(program.Exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.lines.empty()) << Joined(run.lines);
  first.Quit();
  EXPECT_EQ(first.ExitCode(), 2);  // never woken
}

}  // namespace
}  // namespace halvex
