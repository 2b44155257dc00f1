// Unattended installs as an administrator rolls the dictionary out: setup.exe -q -t<dir> -l<log>, no
// window at any time, the outcome in the exit code and in the log. Each case through the self-extracting
// setup.exe and through a plain one beside setup.1 and files.1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/cmp_TInstall.h"
#include "support/routines_API.h"
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
using tvktest::WriteFile;

// A window of the installer or its loader, visible: a quiet run must never show one.
bool InstallerWindowShown() {
  const DWORD programs[] = {ProcessId("dictsetup.exe"), ProcessId("setup.exe"), ProcessId("setup_plain.exe")};
  for (HWND window : tvkui::VisibleWindows()) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    for (DWORD program : programs)
      if (program != 0 && owner == program) return true;
  }
  return false;
}

struct SetupRun {
  std::optional<unsigned long> exitCode;
  bool windowShown = false;
  std::string log;
};

class Unattended : public WithDistribution<::testing::TestWithParam<const char*>> {
 protected:
  static void SetUpTestSuite() {
    WithDistribution::SetUpTestSuite();
    // A plain loader: the loading program beside setup.1 and files.1, without an archive of its own.
    ASSERT_TRUE(os::CopyFile(tvktest::ProgramDir() + "TavelockLoadProgram.exe", *kit_ / "inst\\setup_plain.exe", false));
  }

  // The setup program of this case's kind in Folder (a copy of the distribution when it is not the kit's).
  std::string Setup(const std::string& folder) const { return folder + "\\" + GetParam(); }

  // Runs Setup with Arguments and a log of its own to the end, watching for windows all the while.
  SetupRun RunSetup(const std::string& setup, const std::string& arguments) {
    const std::string log = work / "setup.log";
    tvktest::Process loader = tvktest::StartProcess("\"" + setup + "\" " + arguments + " \"-l" + log + "\"");
    EXPECT_TRUE(loader);
    SetupRun run;
    for (unsigned waited = 0; waited < kWait && !run.exitCode; waited += 50) {
      run.windowShown = run.windowShown || InstallerWindowShown();
      run.exitCode = loader.Wait(50);
    }
    WaitForProgramGone();
    run.log = os::FileExists(log) ? ReadFile(log) : "";
    return run;
  }

  tvktest::ScratchDir work;
};

TEST_P(Unattended, InstallsQuietlyAndSaysSoInTheExitCodeAndTheLog) {
  const SetupRun run = RunSetup(Setup(Distribution()), "-q \"-t" + kQuikpost + "\"");
  EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
  EXPECT_FALSE(run.windowShown);
  EXPECT_TRUE(ReadFile(kQuikpost + "American.dct") == Words());
  const std::vector<std::string> lines = {"command line: ", "platform: ", "file " + kQuikpost + "American.dct: new",
                                          "file " + kQuikpost + "American.dct: written",
                                          "registry: HKEY_LOCAL_MACHINE", "installed", "exit code 0"};
  for (const std::string& line : lines)
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
}

TEST_P(Unattended, FailuresGiveTheirExitCodesAndLeaveTheirMessagesInTheLog) {
  const std::string empty = work / "no quikpost";
  ASSERT_TRUE(os::CreateDirectory(empty));
  // A copy of the distribution whose files.1 is damaged.
  const std::string damaged = work / "damaged";
  ASSERT_TRUE(os::CreateDirectory(damaged));
  for (const char* name : {"setup.exe", "setup_plain.exe", "setup.1", "files.1"})
    ASSERT_TRUE(os::CopyFile(Distribution() + "\\" + name, damaged + "\\" + name, false)) << name;
  for (const char* name : {"setup.exe", "files.1"}) {
    std::string bytes = ReadFile(damaged + "\\" + name);
    const TExtractionInfo info = std::string(name) == "setup.exe" ? ReadExtractionInfo(damaged + "\\" + name)
                                                                    : TExtractionInfo{0, 0, 0, std::int32_t(bytes.size() - 1)};
    const std::size_t middle = std::size_t(info.filesStart + (info.filesEnd - info.filesStart) / 2);
    for (std::size_t i = middle; i < middle + 64; ++i) bytes[i] = 0;
    WriteFile(damaged + "\\" + name, bytes);
  }
  const struct {
    const char* why;
    std::string setup, arguments;
    unsigned long exitCode;
    std::string logged;
  } cases[] = {
      {"a directory without quikpost.exe", Setup(Distribution()), "-q \"-t" + empty + "\"", 1603,
       "Install unable to find Quikpost in " + empty},
      {"a damaged files.1", Setup(damaged), "-q \"-t" + kQuikpost + "\"", 1603, "is corrupt"},
      {"an unknown switch", Setup(Distribution()), "-q -x", 87, "Invalid parameter <-x>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const SetupRun run = RunSetup(c.setup, c.arguments);
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(c.exitCode));
    EXPECT_FALSE(run.windowShown);
    EXPECT_NE(run.log.find(c.logged), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("exit code " + std::to_string(c.exitCode)), std::string::npos) << run.log;
    EXPECT_FALSE(os::FileExists(kQuikpost + "American.dct"));
    os::DeleteFile(work / "setup.log");
  }
}

// The log is written as the run goes: a run ended from outside (here while its main form waits for
// Finished) leaves every line up to that point whole, and no outcome it never reached.
TEST_P(Unattended, ARunEndedFromOutsideLeavesItsLogReadable) {
  const std::string log = work / "setup.log";
  tvktest::Process loader =
      tvktest::StartProcess("\"" + Setup(Distribution()) + "\" \"-t" + kQuikpost + "\" \"-l" + log + "\"");
  ASSERT_TRUE(loader);
  ASSERT_NE(tvkui::WaitForWindow(kMainForm, kWait), nullptr);
  const HANDLE program = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ProcessId("dictsetup.exe"));
  ASSERT_NE(program, nullptr);
  ::TerminateProcess(program, 99);
  ::WaitForSingleObject(program, kWait);
  ::CloseHandle(program);
  EXPECT_EQ(loader.Wait(kWait), std::optional<unsigned long>(99)) << "setup.exe passes on what ended the program";

  const std::string text = ReadFile(log);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_NE(text.find("file " + kQuikpost + "American.dct: written\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("installed\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("exit code"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Setups, Unattended, ::testing::Values("setup.exe", "setup_plain.exe"),
                         [](const auto& info) {
                           return std::string(info.param) == "setup.exe" ? "SelfExtracting" : "Plain";
                         });

}  // namespace
