// The distribution copied onto floppies with "setup.exe *TODISK", and installed again from them. Each
// disk is a file system of a floppy's size on the host, and drive A: is whichever disk the test, playing
// the person at the drive, has put in when the installer asked for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>
#undef DeleteFile
#undef RemoveDirectory

namespace {

using namespace e2e;
using tvktest::ReadFile;
using tvktest::WriteFile;

constexpr long kDiskSize = 1474560;

// A dictionary that does not compress, about two disks' worth: the set spans at least three disks.
std::string BigDictionary() {
  std::mt19937 random(1440);
  std::string data(3 * 1024 * 1024, '\0');
  for (char& c : data) c = char(random());
  return data;
}

// The Windows name of a host path: Wine shows the host's root as Z:.
std::string HostPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// The disks: tmpfs mounts below the build tree, and A: a link in the prefix's dosdevices to the one in
// the drive. A disk taken out keeps what it holds, even a file the installer still has open, as a real
// one does. Mounting needs root; the host's shell does it, which Wine starts like any program.
class FloppyDisks {
 public:
  FloppyDisks() {
    char value[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableA("WINEPREFIX", value, sizeof value);
    if (n > 0 && n < sizeof value) prefix_.assign(value, n);
    drives_ = prefix_.substr(0, prefix_.rfind('/')) + "/drives";
    base_ = drives_ + "/floppy";
  }

  // Takes every disk away and puts a new, empty disk 1 in; false, with the reason, when that fails.
  bool Reset(std::string& why) {
    if (prefix_.empty()) {
      why = "WINEPREFIX is not set";
      return false;
    }
    return Host(Unmount(), why) && Insert(1, why);
  }
  // Puts disk N in: one seen before, or a new, empty one.
  bool Insert(int disk, std::string& why) {
    const std::string dir = base_ + "/disk" + std::to_string(disk);
    return Host("mkdir -p '" + dir + "'\nmountpoint -q '" + dir +
                    "' || mount -t tmpfs -o size=" + std::to_string(kDiskSize) + ",mode=0777 tmpfs '" + dir +
                    "'\nln -sfn '" + dir + "' '" + prefix_ + "/dosdevices/a:'",
                why);
  }
  void Insert(int disk) {
    std::string why;
    EXPECT_TRUE(Insert(disk, why)) << why;
  }
  void RemoveAll() {
    std::string why;
    Host(Unmount() + "\nrmdir '" + base_ + "' 2>/dev/null || true", why);
    for (const char* name : {"floppy.sh", "floppy.log", "floppy.status"})
      os::DeleteFile(HostPath(drives_ + "/" + name));
    os::RemoveDirectory(HostPath(drives_));  // unless the other small drives are there
  }

  // The files of a disk, sorted, lower case.
  std::vector<std::string> Files(int disk) const {
    std::vector<std::string> names;
    for (const os::FindData& file : os::FindFiles(Path(disk, "*")))
      if (!file.directory) names.push_back(LowerCase(file.name));
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Path(int disk, const std::string& name) const {
    return HostPath(base_ + "/disk" + std::to_string(disk)) + "\\" + name;
  }

 private:
  std::string Unmount() const {
    return "rm -f '" + prefix_ + "/dosdevices/a:'\nfor d in '" + base_ +
           "'/disk*; do [ -d \"$d\" ] || continue; umount \"$d\" || umount -l \"$d\"; rmdir \"$d\"; done\ntrue";
  }
  // Runs a script with the host's shell, stopping at the first failing command, and waits for its exit
  // status (Wine gives no handle to wait on for a host program).
  bool Host(const std::string& script, std::string& why) const {
    const std::string status = HostPath(drives_ + "/floppy.status");
    CreateDirectoryPath(HostPath(drives_));
    os::DeleteFile(status);
    const auto file = [&](const char* name) { return "'" + drives_ + "/" + name + "'"; };
    // The status appears in one step, once complete.
    WriteFile(HostPath(drives_ + "/floppy.sh"), "(\nset -e\n" + script + "\n) >" + file("floppy.log") + " 2>&1\n" +
                                                    "echo $? >" + file("floppy.tmp") + "\n" + "mv " +
                                                    file("floppy.tmp") + " " + file("floppy.status") + "\n");
    std::string command = "Z:\\bin\\sh \"" + drives_ + "/floppy.sh\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      why = "the host's shell cannot be started from Wine";
      return false;
    }
    if (process.hThread) ::CloseHandle(process.hThread);
    if (process.hProcess) ::CloseHandle(process.hProcess);
    for (int i = 0; i < 400 && !os::FileExists(status); ++i) ::Sleep(25);
    if (!os::FileExists(status)) {
      why = "the host's shell did not run the script";
      return false;
    }
    if (std::atoi(ReadFile(status).c_str()) != 0) {
      why = ReadFile(HostPath(drives_ + "/floppy.log"));
      return false;
    }
    return true;
  }

  std::string prefix_, drives_, base_;
};

// The disk a message asks for ("Please insert disk 2", "Please insert disk #2"), or 0.
int AskedDisk(const std::string& text) {
  const std::string ask = "Please insert disk ";
  if (text.rfind(ask, 0) != 0) return 0;
  std::size_t at = ask.size();
  if (at < text.size() && text[at] == '#') ++at;
  return std::atoi(text.c_str() + at);
}

struct Answers {
  std::vector<int> disks;             // the disks asked for, in order
  std::vector<std::string> messages;  // every other message
  bool finderShown = false;
};

// Answers the installer's message boxes until Done holds: a request for a disk by putting it in and
// pressing OK, or Cancel when it is CancelAt; any other message with its first button.
Answers AnswerUntil(FloppyDisks& disks, const std::function<bool()>& done, int cancelAt = 0) {
  Answers answers;
  for (int i = 0; i < 2 * int(kWait / 50) && !done(); ++i) {
    answers.finderShown |= tvkui::FindWindowByCaption(kFinder) != nullptr;
    for (HWND window : tvkui::VisibleWindows()) {
      if (!tvkui::IsMessageBox(window) || tvkui::Caption(window) != kTitle) continue;
      const tvkui::MessageBoxInfo box = tvkui::ReadMessageBox(window);
      const int disk = AskedDisk(box.text);
      if (disk == 0) {
        answers.messages.push_back(box.text);
        tvkui::PressMessageBoxButton(window, box.buttons.empty() ? "OK" : box.buttons.front());
      } else {
        answers.disks.push_back(disk);
        if (disk != cancelAt) disks.Insert(disk);
        tvkui::PressMessageBoxButton(window, disk == cancelAt ? "Cancel" : "OK");
      }
      for (int j = 0; j < 200 && ::IsWindow(window); ++j) ::Sleep(50);
    }
    ::Sleep(50);
  }
  EXPECT_TRUE(done()) << tvkui::DescribeVisibleWindows();
  return answers;
}

bool ProgramGone() { return ProcessId("dictsetup.exe") == 0; }

class FloppyTransfer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    disks_ = new FloppyDisks;
    if (!disks_->Reset(noDrive_)) return;
    kit_ = new tvktest::ScratchDir;
    BuildDistribution(kit_->Path());
    WriteFile(kSourceDir + "\\American.dct", BigDictionary());
    RunQuietly("\"" + *kit_ / "dictsetup.exe" + "\" -b");
  }
  static void TearDownTestSuite() {
    disks_->RemoveAll();
    delete disks_;
    delete kit_;
    kit_ = nullptr;
    tvktest::RemoveTree("C:\\D3");
  }
  void SetUp() override {
    if (!noDrive_.empty()) GTEST_SKIP() << "no floppy disks in drive A: (tmpfs mounts, which need root): " << noDrive_;
    std::string why;
    ASSERT_TRUE(disks_->Reset(why)) << why;
  }
  void TearDown() override {
    WaitForProgramGone();
    tvktest::RemoveTree("C:\\Program Files\\Brindlecote");
    tvktest::RemoveRegTree(os::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quikpost");
  }

  // Runs the distribution's setup.exe *TODISK until the program has ended by itself; setup.exe ends
  // with it, giving its exit code.
  Answers Transfer(int cancelAt, unsigned long exitCode) {
    tvktest::Process loader = tvktest::StartProcess("\"" + *kit_ / "inst\\setup.exe" + "\" *TODISK");
    EXPECT_TRUE(loader);
    for (unsigned long waited = 0; waited < kWait && ProgramGone() && !loader.Wait(0); waited += 50) ::Sleep(50);
    Answers answers = AnswerUntil(*disks_, ProgramGone, cancelAt);
    EXPECT_FALSE(answers.finderShown);
    EXPECT_EQ(loader.Wait(kWait), std::optional<unsigned long>(exitCode));
    return answers;
  }

  static FloppyDisks* disks_;
  static std::string noDrive_;  // why there are no disks
  static tvktest::ScratchDir* kit_;
};

FloppyDisks* FloppyTransfer::disks_ = nullptr;
std::string FloppyTransfer::noDrive_;
tvktest::ScratchDir* FloppyTransfer::kit_ = nullptr;

TEST_F(FloppyTransfer, SpansTheDisksAndInstallsFromThem) {
  const Answers transfer = Transfer(0, 0);
  EXPECT_EQ(transfer.messages, std::vector<std::string>{});

  // Disks 2..N in turn, then disk 1 once more for the final table.
  ASSERT_GE(transfer.disks.size(), 3u);
  const int count = int(transfer.disks.size());
  std::vector<int> expected;
  for (int n = 2; n <= count; ++n) expected.push_back(n);
  expected.push_back(1);
  EXPECT_EQ(transfer.disks, expected);
  EXPECT_EQ(disks_->Files(1), (std::vector<std::string>{"files.1", "setup.1", "setup.exe"}));
  for (int n = 2; n <= count; ++n)
    EXPECT_EQ(disks_->Files(n), std::vector<std::string>{"files." + std::to_string(n)}) << "disk " << n;
  EXPECT_EQ(ReadFile(disks_->Path(1, "setup.1")), ReadFile(*kit_ / "inst\\setup.1"));

  // Installed from the disks: setup.exe of disk 1, each further disk put in when asked for.
  CreateDirectoryPath(kQuikpost);
  WriteFile(kQuikpost + "quikpost.exe", "MZ");
  tvktest::Process loader = tvktest::StartProcess("A:\\setup.exe");
  ASSERT_TRUE(loader);
  tvkui::ClickButton(tvkui::WaitForWindow(kFinder, kWait), "Continue");
  const Answers install = AnswerUntil(*disks_, [] { return tvkui::FindWindowByCaption(kMainForm) != nullptr; });
  EXPECT_EQ(install.messages, std::vector<std::string>{});
  expected.pop_back();
  EXPECT_EQ(install.disks, expected);
  EXPECT_TRUE(ReadFile(kQuikpost + "American.dct") == BigDictionary()) << "the installed dictionary differs";
  if (HWND main = tvkui::FindWindowByCaption(kMainForm)) tvkui::ClickButton(main, "Finished");
}

// Installing from the disks, the user cancels when asked for the second one: the run ends as the user's
// cancel, and setup.exe says so in its exit code.
TEST_F(FloppyTransfer, CancelAtADiskWhileInstallingEndsAsTheUsers) {
  Transfer(0, 0);
  CreateDirectoryPath(kQuikpost);
  WriteFile(kQuikpost + "quikpost.exe", "MZ");
  disks_->Insert(1);
  tvktest::Process loader = tvktest::StartProcess("A:\\setup.exe");
  ASSERT_TRUE(loader);
  tvkui::ClickButton(tvkui::WaitForWindow(kFinder, kWait), "Continue");
  const Answers install = AnswerUntil(*disks_, [] { return tvkui::FindWindowByCaption(kMainForm) != nullptr; }, 2);
  EXPECT_EQ(install.disks, std::vector<int>{2});
  EXPECT_EQ(install.messages, std::vector<std::string>{}) << "a user's cancel shows nothing more";
  if (HWND main = tvkui::FindWindowByCaption(kMainForm)) tvkui::ClickButton(main, "Finished");
  EXPECT_EQ(loader.Wait(kWait), std::optional<unsigned long>(1602));
  EXPECT_FALSE(os::FileExists(kQuikpost + "American.dct"));
}

TEST_F(FloppyTransfer, CancelAtTheSecondDiskStops) {
  const Answers transfer = Transfer(2, 1602);  // the user's cancel
  EXPECT_EQ(transfer.disks, std::vector<int>{2});
  EXPECT_EQ(transfer.messages, std::vector<std::string>{"Aborted by user"});
}

}  // namespace
