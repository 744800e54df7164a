#include "input/win/helper_process.h"

#include <windows.h>

namespace halvex::testing {

std::wstring TestBinaryDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

HelperProcess::HelperProcess(const std::wstring& exeName, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE childIn = nullptr, childOut = nullptr, in = nullptr, out = nullptr;
  if (!CreatePipe(&childIn, &in, &inherit, 0)) return;
  if (!CreatePipe(&out, &childOut, &inherit, 0)) {
    CloseHandle(childIn);
    CloseHandle(in);
    return;
  }
  SetHandleInformation(in, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  const std::wstring exe = TestBinaryDir() + exeName;
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                     &pi)) {
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    input_ = in;
    output_ = out;
  } else {
    CloseHandle(in);
    CloseHandle(out);
  }
  CloseHandle(childIn);
  CloseHandle(childOut);
}

HelperProcess::~HelperProcess() {
  if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    Finish();
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 9);
  }
  if (input_) CloseHandle(input_);
  if (output_) CloseHandle(output_);
  if (process_) CloseHandle(process_);
}

std::string HelperProcess::Command(const std::string& line) {
  if (!input_) return {};
  const std::string text = line + "\n";
  DWORD written = 0;
  if (!WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return {};
  std::string answer;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(output_, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') break;
    if (c != '\r') answer += c;
  }
  return answer;
}

int HelperProcess::Finish() {
  if (!process_) return -1;
  if (input_) {
    CloseHandle(input_);
    input_ = nullptr;
  }
  if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  return GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
}

}  // namespace halvex::testing
