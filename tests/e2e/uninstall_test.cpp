// The uninstall as Windows' list of programs runs it: the dictionary installed quietly through setup.exe,
// then removed by the command the product's entry names, quietly; a dictionary in use goes at the restart.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile

namespace {

using namespace e2e;
using tvktest::ReadFile;

// Every key and value below Path, a line each ("key" or "key\name=type:data"), to compare before and after.
void AddRegistry(std::set<std::string>& lines, os::RootKey root, const std::string& path) {
  const os::RegKey key = os::RegKey::Open(root, path, os::RegAccess::Read);
  if (!key) return;
  lines.insert(path);
  for (const std::string& name : key.ValueNames().value_or(std::vector<std::string>{})) {
    const std::optional<os::RegValue> value = key.Query(name);
    lines.insert(path + "\\" + name + "=" + (value ? std::to_string(int(value->type)) + ":" + value->data : "?"));
  }
  for (const std::string& sub : key.SubKeyNames().value_or(std::vector<std::string>{}))
    AddRegistry(lines, root, path + "\\" + sub);
}

// Every file and folder below Folder with its size.
void AddFiles(std::set<std::string>& lines, const std::string& folder) {
  for (const os::FindData& found : os::FindFiles(folder + "\\*")) {
    const std::string path = folder + "\\" + found.name;
    lines.insert(path + (found.directory ? "\\" : " " + std::to_string(found.size)));
    if (found.directory) AddFiles(lines, path);
  }
}

// What an install and its uninstall may touch: the software keys of both hives, the program folders.
std::set<std::string> Snapshot() {
  std::set<std::string> lines;
  AddRegistry(lines, os::kLocalMachine, "Software");
  AddRegistry(lines, os::kCurrentUser, "Software");
  AddFiles(lines, "C:\\Program Files");
  return lines;
}

std::string Difference(const std::set<std::string>& before, const std::set<std::string>& after) {
  std::string text;
  for (const std::string& line : before)
    if (!after.count(line)) text += "gone: " + line + "\n";
  for (const std::string& line : after)
    if (!before.count(line)) text += "new: " + line + "\n";
  return text;
}

class Uninstall : public WithDistribution<> {
 protected:
  // No uninstaller kept by an earlier run: the first test compares the folders before and after.
  void SetUp() override {
    WithDistribution::SetUp();
    tvktest::RemoveTree("C:\\Program Files\\Tavelock");
  }
  void TearDown() override {
    WithDistribution::TearDown();
    tvktest::RemoveTree("C:\\Program Files\\Tavelock");
  }

  // Runs a command line to its end and waits for the installation program too: the exit code.
  static std::optional<unsigned long> Run(const std::string& commandLine) {
    tvktest::Process process = tvktest::StartProcess(commandLine);
    EXPECT_TRUE(process) << commandLine;
    const std::optional<unsigned long> code = process.Wait(kWait);
    WaitForProgramGone();
    return code;
  }
  static std::string Entry(const std::string& name) {
    return ReadRegString(rrLocalMachine, "\\" + kProductKey, name, "<none>");
  }
  static bool ProductKeyExists() { return os::RegKey::Open(os::kLocalMachine, kProductKey, os::RegAccess::Read).IsValid(); }
  void InstallQuietly() {
    ASSERT_EQ(Run("\"" + Distribution() + "\\setup.exe" + "\" -q \"-t" + kQuikpost + "\""), std::optional<unsigned long>(0));
    ASSERT_EQ(ReadFile(kQuikpost + "American.dct"), Words());
  }
  // The program the entry names, unquoted.
  static std::string Uninstaller() {
    const std::string command = Entry("UninstallString");
    const std::size_t close = command.find('"', 1);
    return command.size() > 1 && command[0] == '"' && close != std::string::npos ? command.substr(1, close - 1) : command;
  }

  tvktest::ScratchDir work;
};

TEST_F(Uninstall, TheEntryInTheListOfProgramsRemovesWhatTheInstallDid) {
  const std::set<std::string> before = Snapshot();
  InstallQuietly();
  EXPECT_EQ(Entry("DisplayName"), "Quikpost");
  EXPECT_EQ(Entry("InstallLocation") + "\\", kQuikpost);
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + kProductKey, "NoRepair", 0), 1);
  const std::string uninstaller = Uninstaller();
  // Kept in a folder of its own: neither Quikpost's nor the temporary copy the clean-up removes.
  ASSERT_TRUE(os::FileExists(uninstaller)) << uninstaller;
  EXPECT_EQ(uninstaller.find(kQuikpost), std::string::npos);
  EXPECT_EQ(Entry("QuietUninstallString"), "\"" + uninstaller + "\" -u -q");

  const std::string log = work / "uninstall.log";
  EXPECT_EQ(Run(Entry("QuietUninstallString") + " \"-l" + log + "\""), std::optional<unsigned long>(0));
  EXPECT_FALSE(os::FileExists(kQuikpost + "American.dct"));
  EXPECT_TRUE(os::FileExists(kQuikpost + "quikpost.exe"));  // Quikpost's own files stay
  EXPECT_FALSE(ProductKeyExists());
  const std::string text = ReadFile(log);
  for (const std::string& line : {"file " + kQuikpost + "American.dct: removed", std::string("exit code 0")})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  // The uninstaller goes with its folder once it has ended.
  for (int i = 0; i < int(kWait / 100) && os::DirectoryExists(ExtractFileDir(uninstaller)); ++i) ::Sleep(100);
  EXPECT_FALSE(os::DirectoryExists(ExtractFileDir(uninstaller)));
  EXPECT_EQ(Difference(before, Snapshot()), "");

  // Nothing is left to remove: the installation program says so and ends well.
  EXPECT_EQ(Run("\"" + *kit_ / "dictsetup.exe" + "\" -u -q \"-l" + log + "\""), std::optional<unsigned long>(0));
  EXPECT_NE(ReadFile(log).find("nothing to remove"), std::string::npos) << ReadFile(log);
}

TEST_F(Uninstall, InteractiveRunsAskFirstAndTellTheOutcome) {
  InstallQuietly();
  const struct {
    const char* answer;
    unsigned long exitCode;
    bool removed;
  } cases[] = {{"No", 1602, false}, {"Yes", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    tvktest::Process uninstaller = tvktest::StartProcess(Entry("UninstallString"));
    ASSERT_TRUE(uninstaller);
    const tvkui::MessageBoxInfo question = tvkui::WaitForMessageBox(kTitle, kWait);
    EXPECT_EQ(question.text, "Do you want to remove Quikpost and all of its components?");
    tvkui::PressMessageBoxButton(question.hwnd, c.answer);
    for (int i = 0; i < int(kWait / 50) && ::IsWindow(question.hwnd); ++i) ::Sleep(50);
    if (c.removed) {
      EXPECT_EQ(AnswerMessageBox(), "Quikpost was removed.");
    }
    EXPECT_EQ(uninstaller.Wait(kWait), std::optional<unsigned long>(c.exitCode));
    WaitForProgramGone();
    EXPECT_EQ(os::FileExists(kQuikpost + "American.dct"), !c.removed);
    EXPECT_EQ(ProductKeyExists(), !c.removed);
  }
}

TEST_F(Uninstall, ADictionaryInUseGoesAtTheRestart) {
  InstallQuietly();
  const std::string dictionary = kQuikpost + "American.dct";
  HANDLE held = ::CreateFileA(dictionary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run(Entry("QuietUninstallString")), std::optional<unsigned long>(3010));
  ::CloseHandle(held);
  EXPECT_TRUE(os::FileExists(dictionary));
  EXPECT_FALSE(ProductKeyExists());
  ASSERT_TRUE(tvktest::RunAndWait("wineboot.exe -r", 120000).has_value());
  EXPECT_FALSE(os::FileExists(dictionary));
  EXPECT_TRUE(os::FileExists(kQuikpost + "quikpost.exe"));
}

}  // namespace
