// Install and uninstall with the whole machine looked at before and after: the registry and drive C: are
// as they were, but for the log the test asked for, after a quiet uninstall and after the restart that
// takes a dictionary that was in use. A program of its own, run alone: test programs beside
// it would change the machine too.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "machine_snapshot.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "uninstall_fixture.h"

#include <windows.h>

namespace {

using namespace e2e;
using tvktest::ReadFile;

// The programs Wine's own list of programs shows ("uninstaller --list"), a line each: "key|||name".
std::string WineProgramList(const std::string& scratch) {
  const std::string list = scratch + "\\programs.txt";
  EXPECT_EQ(tvktest::RunAndWait("cmd.exe /c uninstaller.exe --list >\"" + list + "\"", kWait),
            std::optional<unsigned long>(0));
  return os::FileExists(list) ? ReadFile(list) : "";
}

// Programs that end after the one a test waited for: the clean-up batch and what it starts.
void WaitForCleanupGone() {
  for (const char* name : {"cmd.exe", "PING.EXE"}) WaitForProgramGone(name);
}

class UninstallWholeMachine : public UninstallFixture {
 protected:
  // A clean-up batch that a test program before this one left running would change the machine meanwhile.
  void SetUp() override {
    UninstallFixture::SetUp();
    for (int i = 0; i < 1300 && ProcessId("cmd.exe") != 0; ++i) ::Sleep(100);
  }
};

TEST_F(UninstallWholeMachine, TheEntryInTheListOfProgramsRemovesWhatTheInstallDid) {
  const std::set<std::string> temp = UnpackedFolders();
  const std::set<std::string> before = MachineSnapshot(work.Path());
  InstallQuietly();
  EXPECT_EQ(Entry("DisplayName"), "Quikpost");
  EXPECT_EQ(Entry("InstallLocation") + "\\", kQuikpost);
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + kProductKey, "NoRepair", 0), 1);
  const std::string uninstaller = Uninstaller();
  // Kept in a folder of its own: neither Quikpost's nor the temporary copy the clean-up removes.
  ASSERT_TRUE(os::FileExists(uninstaller)) << uninstaller;
  EXPECT_EQ(uninstaller.find(kQuikpost), std::string::npos);
  EXPECT_EQ(Entry("QuietUninstallString"), "\"" + uninstaller + "\" -u -q");
  EXPECT_NE(WineProgramList(work.Path()).find("Quikpost|||Quikpost"), std::string::npos);

  // The comparison finds what an uninstall that never ran would leave, and a file changed in place.
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
  WaitForCleanupGone();
  tvktest::WriteFile(kQuikpost + "quikpost.exe", "ZM");
  const std::string installed = MachineDifference(before, MachineSnapshot(work.Path()), {work.Path()});
  tvktest::WriteFile(kQuikpost + "quikpost.exe", "MZ");
  for (const std::string& line :
       {"new: " + kQuikpost + "American.dct ", "new: " + uninstaller + " ", "gone: " + kQuikpost + "quikpost.exe 2 ",
        "new: HKEY_LOCAL_MACHINE\\" + kProductKey + "|\"DisplayName\"=\"Quikpost\""})
    EXPECT_NE(installed.find(line), std::string::npos) << line << "\n" << installed;

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
  WaitForCleanupGone();
  EXPECT_EQ(MachineDifference(before, MachineSnapshot(work.Path()), {work.Path()}), "");
  EXPECT_EQ(WineProgramList(work.Path()).find("Quikpost"), std::string::npos);

  // Nothing is left to remove: the installation program says so and ends well.
  EXPECT_EQ(Run("\"" + *kit_ / "dictsetup.exe" + "\" -u -q \"-l" + log + "\""), std::optional<unsigned long>(0));
  EXPECT_NE(ReadFile(log).find("nothing to remove"), std::string::npos) << ReadFile(log);
}

// The dictionary held open by another program: the uninstall asks for the restart (3010), the restart
// (wineboot -r) takes the dictionary, and nothing else is left then.
TEST_F(UninstallWholeMachine, AfterTheRestartNothingIsLeftOfADictionaryInUse) {
  const std::set<std::string> before = MachineSnapshot(work.Path());
  InstallQuietly();
  const std::string dictionary = kQuikpost + "American.dct";
  const std::string uninstaller = Uninstaller();
  HANDLE held = ::CreateFileA(dictionary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run(Entry("QuietUninstallString")), std::optional<unsigned long>(3010));
  ::CloseHandle(held);
  EXPECT_TRUE(os::FileExists(dictionary));
  EXPECT_FALSE(ProductKeyExists());
  for (int i = 0; i < int(kWait / 100) && os::DirectoryExists(ExtractFileDir(uninstaller)); ++i) ::Sleep(100);
  WaitForCleanupGone();
  ASSERT_TRUE(tvktest::RunAndWait("wineboot.exe -r", 120000).has_value());
  EXPECT_FALSE(os::FileExists(dictionary));
  EXPECT_EQ(MachineDifference(before, MachineSnapshot(work.Path()), {work.Path()}), "");
}

}  // namespace
