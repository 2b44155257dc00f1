#include "support/win32_process.h"

#include <windows.h>

#include <vector>

namespace tvktest {

std::optional<unsigned long> RunAndWait(const std::string& commandLine, unsigned long timeoutMs) {
  Process process = StartProcess(commandLine);
  std::optional<unsigned long> code = process.Wait(timeoutMs);
  process.Terminate();  // ends the program when the wait ran out
  return code;
}

Process::~Process() { Terminate(); }

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Terminate();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

std::optional<unsigned long> Process::Wait(unsigned long timeoutMs) const {
  DWORD code = 0;
  if (!handle_ || ::WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(handle_, &code))
    return std::nullopt;
  return code;
}

void Process::Terminate() {
  if (!handle_) return;
  if (::WaitForSingleObject(handle_, 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(handle_, 1);
    ::WaitForSingleObject(handle_, 5000);
  }
  ::CloseHandle(handle_);
  handle_ = nullptr;
}

Process StartProcess(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return Process();
  ::CloseHandle(process.hThread);
  return Process(process.hProcess);
}

std::string ProgramDir() {
  char buffer[MAX_PATH + 1];
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, n);
  return path.substr(0, path.rfind('\\') + 1);
}

unsigned long Process::Id() const { return handle_ != nullptr ? ::GetProcessId(handle_) : 0; }

void UnrestrictLibrarySearch() {
  using SetDefaultFn = BOOL(WINAPI*)(DWORD);
  auto setDefault = reinterpret_cast<SetDefaultFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(0x00001000);  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
  ::SetDllDirectoryA(nullptr);
}

}  // namespace tvktest
