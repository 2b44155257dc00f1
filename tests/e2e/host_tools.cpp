#include "host_tools.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <windows.h>

namespace tvktest {

std::string HostPath(const std::string& windowsPath) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(windowsPath.size() + 1, L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), int(wide.size()));
  char* name = unixName != nullptr ? unixName(wide.c_str()) : nullptr;
  if (name == nullptr) return windowsPath;
  const std::string path = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return path;
}

int RunOnHost(const std::string& command, std::string* output) {
  ScratchDir dir;
  const std::string host = HostPath(dir.Path());
  WriteFile(dir / "run.sh", "(" + command + ") >'" + host + "/output' 2>&1\necho $? >'" + host + "/status.part'\nmv '" +
                                host + "/status.part' '" + host + "/status'\n");
  std::string line = "Z:\\bin\\sh \"" + host + "/run.sh\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  // Handles of a host process are none Wine can wait on.
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  for (int i = 0; i < 600 && ::GetFileAttributesA((dir / "status").c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);
  if (::GetFileAttributesA((dir / "status").c_str()) == INVALID_FILE_ATTRIBUTES) return -1;
  if (output != nullptr) *output = ReadFile(dir / "output");
  return std::atoi(ReadFile(dir / "status").c_str());
}

void MakeTestCertificate(const std::string& dir) {
  std::string output;
  ASSERT_EQ(RunOnHost("'" TVK_SOURCE_DIR "/cmake/test-certificate' '" + HostPath(dir) + "'", &output), 0) << output;
}

}  // namespace tvktest
