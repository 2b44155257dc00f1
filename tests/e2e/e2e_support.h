// What the end-to-end tests share: the installer's fixed places and window captions, and waiting for
// its programs and answering its message boxes through the UI driver.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/routines_API.h"
#include "support/test_support.h"

namespace e2e {

inline const std::string kQuikpost = "C:\\Program Files\\Brindlecote\\Quikpost\\";
inline const std::string kSourceDir = "C:\\D3\\Installs\\Spellers\\American\\Files";
inline const std::string kFinder = "Quikpost Options Installation";
inline const std::string kMainForm = "Quikpost Optional Features";
inline const std::string kTitle = "dictsetup";  // the caption of the installer's message boxes
constexpr unsigned kWait = 60000;

// Some thousands of words, one a line, as the dictionary's stand-in.
std::string Words();
// The process of a running program by its file name, or 0.
unsigned long ProcessId(const char* name);
// Waits until no program of that name runs any more; one that still runs after a minute is reported
// (with the windows there are) and ended, so that it cannot hold the test run.
void WaitForProgramGone(const char* name = "dictsetup.exe");
// Waits for a message box with the installer's caption and presses OK; its text.
std::string AnswerMessageBox(const std::string& caption = kTitle);
// Runs a program that opens no window of its own and expects exit code 0; a message box it shows
// instead is answered and reported as the failure it is.
void RunQuietly(const std::string& commandLine);

// The folders the loading program unpacked into in the temporary directory ("tvk" and 16 hex digits;
// the scratch folders of tests that run beside are named otherwise).
std::set<std::string> UnpackedFolders();
// Waits (up to a minute) until exactly these unpacked folders are left: what a run unpacked has been
// cleaned up. False when it has not.
bool UnpackedFoldersBecome(const std::set<std::string>& folders);

// The developer's build: the dictionary (Words) at its source place, dictsetup.exe and the loading
// program (from beside the test program) in KitDir with a BUILD.INF naming KitDir\inst, then
// "dictsetup.exe -b". The distribution is in KitDir\inst.
void BuildDistribution(const std::string& kitDir);

inline const std::string kProductKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quikpost";

// A suite over one distribution, built by BuildDistribution into a kit folder of its own, with a bare
// Quikpost (quikpost.exe alone) for each test, removed afterwards with the product's uninstall key.
template <class Base = ::testing::Test>
class WithDistribution : public Base {
 protected:
  static void SetUpTestSuite() {
    kit_ = new tvktest::ScratchDir;
    BuildDistribution(kit_->Path());
  }
  static void TearDownTestSuite() {
    delete kit_;
    kit_ = nullptr;
    tvktest::RemoveTree("C:\\D3");
  }
  void SetUp() override {
    tvktest::RemoveTree("C:\\Program Files\\Brindlecote");
    CreateDirectoryPath(kQuikpost);
    tvktest::WriteFile(kQuikpost + "quikpost.exe", "MZ");
  }
  void TearDown() override {
    WaitForProgramGone();
    tvktest::RemoveTree("C:\\Program Files\\Brindlecote");
    tvktest::RemoveRegTree(os::kLocalMachine, kProductKey);
  }
  // The distribution's folder.
  static std::string Distribution() { return *kit_ / "inst"; }

  static inline tvktest::ScratchDir* kit_ = nullptr;
};

}  // namespace e2e
