#include "e2e_support.h"

#include <gtest/gtest.h>

#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "ui_driver.h"

#include <windows.h>
#include <tlhelp32.h>

namespace e2e {

std::string Words() {
  std::string words;
  for (int i = 0; i < 20000; ++i) words += "word" + std::to_string(i * 7919 % 100003) + "\r\n";
  return words;
}

unsigned long ProcessId(const char* name) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = ::Process32First(snapshot, &entry); more && found == 0; more = ::Process32Next(snapshot, &entry))
    if (::lstrcmpiA(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
  ::CloseHandle(snapshot);
  return found;
}

void WaitForProgramGone(const char* name) {
  for (int i = 0; i < 600 && ProcessId(name) != 0; ++i) ::Sleep(100);
  const DWORD stray = ProcessId(name);
  if (stray == 0) return;
  ADD_FAILURE() << name << " still runs; " << tvkui::DescribeVisibleWindows();
  if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, stray)) {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
  }
}

std::string AnswerMessageBox(const std::string& caption) {
  const tvkui::MessageBoxInfo box = tvkui::WaitForMessageBox(caption, kWait);
  tvkui::PressMessageBoxButton(box.hwnd, "OK");
  return box.text;
}

void RunQuietly(const std::string& commandLine) {
  tvktest::Process process = tvktest::StartProcess(commandLine);
  ASSERT_TRUE(process) << commandLine;
  for (int i = 0; i < int(kWait / 100); ++i) {
    if (process.Wait(100)) {
      EXPECT_EQ(*process.Wait(0), 0u) << commandLine;
      return;
    }
    // Only its own boxes: other test programs on the desktop show theirs.
    for (HWND window : tvkui::VisibleWindows()) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(window, &owner);
      if (owner == process.Id() && tvkui::IsMessageBox(window)) {
        const tvkui::MessageBoxInfo box = tvkui::ReadMessageBox(window);
        tvkui::PressMessageBoxButton(window, box.buttons.empty() ? "OK" : box.buttons.front());
        ADD_FAILURE() << commandLine << " showed: " << box.text;
      }
    }
  }
  FAIL() << commandLine << " did not end";
}

std::set<std::string> UnpackedFolders() {
  std::set<std::string> names;
  for (const os::FindData& entry : os::FindFiles(*os::TempPath() + "tvk*")) {
    const bool unpacked = entry.name.size() == 19 &&
                          entry.name.find_first_not_of("0123456789abcdef", 3) == std::string::npos;
    if (entry.directory && unpacked) names.insert(entry.name);
  }
  return names;
}

bool UnpackedFoldersBecome(const std::set<std::string>& folders) {
  for (int i = 0; i < 600; ++i) {
    if (UnpackedFolders() == folders) return true;
    ::Sleep(100);
  }
  return false;
}

void BuildDistribution(const std::string& kitDir) {
  CreateDirectoryPath(kSourceDir);
  tvktest::WriteFile(kSourceDir + "\\American.dct", Words());
  for (const char* program : {"dictsetup.exe", "TavelockLoadProgram.exe"})
    ASSERT_TRUE(::CopyFileA((tvktest::ProgramDir() + program).c_str(), (kitDir + "\\" + program).c_str(), FALSE));
  tvktest::WriteFile(kitDir + "\\BUILD.INF", kitDir + "\\inst\r\n");
  RunQuietly("\"" + kitDir + "\\dictsetup.exe\" -b");
}

}  // namespace e2e
