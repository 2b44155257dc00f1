#include <ole2.h>

#include "os/win32/win.h"

namespace os {

unsigned WinExec(const std::string& commandLine, int show) { return ::WinExec(commandLine.c_str(), UINT(show)); }

namespace {

// Starts a command line with the given show state and creation flags: the new process's handle (its
// thread's closed), or null when it could not start.
HANDLE Start(const std::string& commandLine, int show, DWORD flags) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = WORD(show);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;  // CreateProcess may write into it
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &process))
    return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

}  // namespace

bool StartHidden(const std::string& commandLine) {
  if (HANDLE process = Start(commandLine, SW_HIDE, CREATE_NO_WINDOW)) {
    ::CloseHandle(process);
    return true;
  }
  return ::WinExec(commandLine.c_str(), SW_HIDE) >= 32;
}

std::optional<std::uint32_t> RunAndWait(const std::string& commandLine, int show, std::uint32_t timeoutMs) {
  HANDLE process = Start(commandLine, show, 0);
  if (process == nullptr) return std::nullopt;
  std::optional<std::uint32_t> result;
  DWORD code = 0;
  if (::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process, &code)) result = code;
  ::CloseHandle(process);
  return result;
}

Module Module::Load(const std::string& path) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  return module != nullptr ? Module(reinterpret_cast<std::uintptr_t>(module)) : Module();
}

Module Module::LoadComponent(const std::string& path) {
  constexpr DWORD kSearchBesideAndSystem = 0x00000100 | 0x00000800;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR, _SYSTEM32
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, kSearchBesideAndSystem);
  // Systems that predate these flags refuse them as a bad parameter.
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
    module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return module != nullptr ? Module(reinterpret_cast<std::uintptr_t>(module)) : Module();
}

void Module::Free() {
  if (handle_ != 0) {
    ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
    handle_ = 0;
  }
}

std::optional<std::int32_t> Module::CallExport(const std::string& name) {
  using Export = HRESULT(STDAPICALLTYPE*)();
  FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name.c_str());
  if (address == nullptr) return std::nullopt;
  return std::int32_t(reinterpret_cast<Export>(reinterpret_cast<void*>(address))());
}

void* Module::Export(const std::string& name) const {
  return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name.c_str()));
}

bool RestrictLibrarySearch() {
  // Windows 7 with KB2533623 and later know the search flags; older systems still drop the current directory.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  const bool noCurrentDirectory = ::SetDllDirectoryA("") != 0;
  return setDefault != nullptr ? setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */) != 0 : noCurrentDirectory;
}

bool RestartWindows(bool enableShutdownPrivilege) {
  if (enableShutdownPrivilege) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool enabled = ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid) &&
                         ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                         ::GetLastError() == ERROR_SUCCESS;
    ::CloseHandle(token);
    if (!enabled) return false;
  }
  return ::ExitWindowsEx(EWX_REBOOT, 0) != 0;
}

OleScope::OleScope() : initialised_(SUCCEEDED(::OleInitialize(nullptr))) {}

OleScope::~OleScope() {
  if (initialised_) ::OleUninitialize();
}

}  // namespace os
