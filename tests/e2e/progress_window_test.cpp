// The progress window, met as a user meets it: a distribution with a large dictionary shows it while the
// file is written, with the file's name and a bar that fills, and its Cancel ends the run as the user's
// abort; the real dictionary is installed before the window would come.
//
// The installer is held (its threads suspended) while the test looks, and let go in short steps, so that
// what the test sees does not depend on how fast this machine writes the file. The window's delay is
// counted on the system's clock, which runs on while the installer is held.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/ProgressState.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>
#include <tlhelp32.h>
#undef DeleteFile
#undef CopyFile

namespace {

using namespace e2e;
using tvktest::ProgramDir;

const std::string kProgress = "Quikpost Options Progress";

// Holds or lets go every thread of a program.
void HoldProgram(DWORD process, bool hold) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process) continue;
    if (HANDLE thread = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
      hold ? ::SuspendThread(thread) : ::ResumeThread(thread);
      ::CloseHandle(thread);
    }
  }
  ::CloseHandle(snapshot);
}

// Lets a held program run for about Ms milliseconds.
void RunFor(DWORD process, unsigned ms) {
  HoldProgram(process, false);
  ::Sleep(ms);
  HoldProgram(process, true);
}

// Whether the folder holds a file other than quikpost.exe: the installer has begun writing.
bool WritingStarted() {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((kQuikpost + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool started = false;
  do started = started || (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                           ::lstrcmpiA(found.cFileName, "quikpost.exe") != 0);
  while (!started && ::FindNextFileA(search, &found));
  ::FindClose(search);
  return started;
}

// A child window of a class, found without sending the (held) program a message.
HWND ChildOfClass(HWND window, const char* className) {
  for (HWND child = ::FindWindowExA(window, nullptr, nullptr, nullptr); child != nullptr;
       child = ::FindWindowExA(window, child, nullptr, nullptr)) {
    if (tvkui::ClassName(child) == className) return child;
    if (HWND inner = ChildOfClass(child, className)) return inner;
  }
  return nullptr;
}

// How much of the bar is filled, in pixels of the picture's row through its middle.
int FilledPixels(HWND window, HWND bar, tvkui::Image& picture) {
  picture = tvkui::Capture(window, false);
  RECT frame, rect;
  ::GetWindowRect(window, &frame);
  ::GetWindowRect(bar, &rect);
  const int y = (rect.top + rect.bottom) / 2 - frame.top;
  const COLORREF fill = ::GetSysColor(COLOR_HIGHLIGHT);
  int filled = 0;
  for (int x = rect.left - frame.left; x < rect.right - frame.left; ++x) filled += picture.Pixel(x, y) == fill;
  return filled;
}

class ProgressWindow : public WithDistribution<> {
 protected:
  static void SetUpTestSuite() {
    WithDistribution::SetUpTestSuite();
    // The second build: a dictionary of 96 MB, so that writing it lasts.
    std::string words = Words();
    std::string large;
    large.reserve(96u << 20);
    for (int copy = 0; large.size() < (96u << 20); ++copy) large += std::to_string(copy) + words;
    tvktest::WriteFile(kSourceDir + "\\American.dct", large);
    RunQuietly("\"" + *kit_ / "dictsetup.exe" + "\" -b");
  }
};

TEST_F(ProgressWindow, NamesTheFileFillsItsBarAndCancelsAsTheUsersAbort) {
  const std::set<std::string> temp = UnpackedFolders();
  tvktest::Process loader = tvktest::StartProcess("\"" + Distribution() + "\\setup.exe\"");
  HWND finder = tvkui::WaitForWindow(kFinder, kWait);
  tvkui::ClickButton(finder, "Continue");
  const DWORD installer = ProcessId("dictsetup.exe");
  ASSERT_NE(installer, 0u);
  for (int i = 0; i < 60000 && !WritingStarted(); ++i) ::Sleep(1);
  HoldProgram(installer, true);
  ASSERT_TRUE(WritingStarted()) << tvkui::DescribeVisibleWindows();
  ::Sleep(TProgressState::kDelay + 100);

  // Let go step by step until the window is there and its bar has begun to fill.
  HWND window = nullptr, bar = nullptr;
  tvkui::Image first, second;
  int before = 0;
  for (int step = 0; step < 200 && before == 0; ++step) {
    RunFor(installer, 5);
    window = tvkui::FindWindowByCaption(kProgress);
    bar = window != nullptr ? ChildOfClass(window, "msctls_progress32") : nullptr;
    if (bar != nullptr) before = FilledPixels(window, bar, first);
  }
  ASSERT_GT(before, 0) << "no progress window with a filled bar; " << tvkui::DescribeVisibleWindows();
  HWND label = ChildOfClass(window, "Static");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(tvkui::Caption(label), "Installing American.dct");
  EXPECT_FALSE(tvkui::FindWindowByCaption(kMainForm));
  tvkui::SaveBmp(first, ProgramDir() + "progress_window.bmp");

  int after = before;
  for (int step = 0; step < 200 && after <= before + 4; ++step) {
    RunFor(installer, 5);
    after = FilledPixels(window, bar, second);
  }
  EXPECT_GT(after, before + 4) << "the bar did not move";
  tvkui::SaveBmp(second, ProgramDir() + "progress_window_later.bmp");

  // Cancel, pressed while the file is being written.
  HWND cancel = ChildOfClass(window, "Button");
  ASSERT_NE(cancel, nullptr);
  EXPECT_TRUE(tvkui::ButtonTextMatches(tvkui::Caption(cancel), "Cancel"));
  tvkui::PressButton(cancel);
  HoldProgram(installer, false);
  HWND main = tvkui::WaitForWindow(kMainForm, kWait);
  EXPECT_FALSE(tvkui::FindWindowByCaption(kProgress));
  EXPECT_TRUE(tvkui::FindControl(main, "Static", "The installation was cancelled.").hwnd)
      << tvkui::DescribeVisibleWindows();
  tvkui::ClickButton(main, "Finished");
  const auto exitCode = loader.Wait(kWait);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 1602u);
  EXPECT_FALSE(os::FileExists(kQuikpost + "American.dct"));
  // As after any abort, the unpacked copy of the program goes.
  WaitForProgramGone();
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
}

// A quiet run shows nothing, however long the file takes.
TEST_F(ProgressWindow, QuietRunShowsNone) {
  const std::set<std::string> temp = UnpackedFolders();
  tvktest::Process loader = tvktest::StartProcess("\"" + Distribution() + "\\setup.exe\" -q");
  for (int i = 0; i < 60000 && !WritingStarted(); ++i) ::Sleep(1);
  const DWORD installer = ProcessId("dictsetup.exe");
  ASSERT_NE(installer, 0u);
  HoldProgram(installer, true);
  ::Sleep(TProgressState::kDelay + 100);
  HoldProgram(installer, false);
  for (int i = 0; i < 30000 && !loader.Wait(0); ++i) {
    ASSERT_FALSE(tvkui::FindWindowByCaption(kProgress));
    ::Sleep(2);
  }
  EXPECT_EQ(loader.Wait(kWait).value_or(1), 0u);
  EXPECT_TRUE(os::FileExists(kQuikpost + "American.dct"));
  WaitForProgramGone();
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
}

// The real dictionary is written within the moment the window waits: it never shows.
using SmallDictionary = WithDistribution<>;

TEST_F(SmallDictionary, ShowsNoProgressWindow) {
  const std::set<std::string> temp = UnpackedFolders();
  tvktest::Process loader = tvktest::StartProcess("\"" + Distribution() + "\\setup.exe\"");
  tvkui::ClickButton(tvkui::WaitForWindow(kFinder, kWait), "Continue");
  HWND main = nullptr;
  for (int i = 0; i < 30000 && main == nullptr; ++i) {
    ASSERT_FALSE(tvkui::FindWindowByCaption(kProgress));
    main = tvkui::FindWindowByCaption(kMainForm);
    ::Sleep(2);
  }
  ASSERT_NE(main, nullptr) << tvkui::DescribeVisibleWindows();
  EXPECT_EQ(tvktest::ReadFile(kQuikpost + "American.dct"), Words());
  tvkui::ClickButton(main, "Finished");
  EXPECT_EQ(loader.Wait(kWait).value_or(1), 0u);
  WaitForProgramGone();
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
}

}  // namespace
