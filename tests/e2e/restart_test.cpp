// An installation whose destination is in use: the new dictionary waits beside the old one, the
// installer leaves its continuation in RunOnce, says so on its main form, asks Windows to restart and
// ends, and the next start of Windows (wineboot -r) swaps the files and runs the continuation, which
// finishes without a window.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>
#undef CopyFile
#undef DeleteFile

namespace {

using namespace e2e;
using tvktest::ReadFile;

const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kRecords = "SOFTWARE\\Tavelock\\Install";

std::vector<std::string> SubKeys(const std::string& path) {
  const os::RegKey key = os::RegKey::Open(os::kLocalMachine, path, os::RegAccess::Read);
  return key ? key.SubKeyNames().value_or(std::vector<std::string>{}) : std::vector<std::string>{};
}

// A string value below HKLM; "<missing>" when there is none.
std::string RegString(const std::string& path, const std::string& name) {
  const os::RegKey key = os::RegKey::Open(os::kLocalMachine, path, os::RegAccess::Read);
  const auto value = key ? key.Query(name) : std::nullopt;
  return value && value->type == os::RegType::String ? std::string(value->data.c_str()) : "<missing>";
}

void WaitUntilGone(const char* program) {
  for (int i = 0; i < int(kWait / 100) && ProcessId(program) != 0; ++i) ::Sleep(100);
}

// Quikpost as the test plays it: its dictionary open, shared for reading only, so that it can be neither
// deleted nor replaced, and a hidden window that will not let the session end. Under Wine the restart
// the installer asks for happens at once (wineboot --end-session renames the waiting files and runs
// RunOnce); refused, it waits for the test's own wineboot -r, once Quikpost has ended.
class RunningQuikpost {
 public:
  explicit RunningQuikpost(const std::string& dictionary) {
    file_ = ::CreateFileA(dictionary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = ::CreateThread(nullptr, 0, &RunningQuikpost::Run, this, 0, nullptr);
    if (thread_ != nullptr) ::WaitForSingleObject(ready_, 10000);
  }
  ~RunningQuikpost() { End(); }
  RunningQuikpost(const RunningQuikpost&) = delete;
  RunningQuikpost& operator=(const RunningQuikpost&) = delete;

  bool Running() const { return file_ != INVALID_HANDLE_VALUE && window_ != nullptr; }
  // How often Windows asked whether the session may end.
  int Refusals() const { return refusals_; }
  void End() {
    if (thread_ != nullptr) {
      if (window_ != nullptr) ::PostMessageA(window_, WM_CLOSE, 0, 0);
      ::WaitForSingleObject(thread_, 10000);
      ::CloseHandle(thread_);
      thread_ = nullptr;
    }
    if (ready_ != nullptr) ::CloseHandle(ready_);
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    ready_ = nullptr;
    file_ = INVALID_HANDLE_VALUE;
    window_ = nullptr;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
      ::SetWindowLongPtrA(window, GWLP_USERDATA, LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<RunningQuikpost*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_QUERYENDSESSION && self != nullptr) {
      ++self->refusals_;
      return FALSE;
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  static DWORD WINAPI Run(void* parameter) {
    auto* self = static_cast<RunningQuikpost*>(parameter);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Proc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TvkTestQuikpost";
    ::RegisterClassA(&windowClass);
    self->window_ = ::CreateWindowExA(0, windowClass.lpszClassName, "Quikpost", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                      nullptr, nullptr, windowClass.hInstance, self);
    ::SetEvent(self->ready_);
    MSG message;
    while (self->window_ != nullptr && ::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    return 0;
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  std::atomic<HWND> window_{nullptr};
  std::atomic<int> refusals_{0};
};

class Restart : public ::testing::Test {
 protected:
  void SetUp() override {
    tvktest::RemoveRegTree(os::kLocalMachine, kRecords);  // what a failed run elsewhere left
    tvktest::RemoveTree("C:\\Program Files\\Brindlecote");
    CreateDirectoryPath(kQuikpost);
    tvktest::WriteFile(kQuikpost + "quikpost.exe", "MZ");
    tvktest::WriteFile(Installed(), "old words");
    BuildDistribution(kit_.Path());
  }
  void TearDown() override {
    WaitForProgramGone();
    tvktest::RemoveTree("C:\\Program Files\\Brindlecote");
    tvktest::RemoveTree("C:\\D3");
    tvktest::RemoveRegTree(os::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quikpost");
    tvktest::RemoveRegTree(os::kLocalMachine, kRecords);
    // A continuation left behind would run at the next wineboot of another test.
    if (os::RegKey runOnce = os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::All))
      for (const std::string& name : runOnce.ValueNames().value_or(std::vector<std::string>{}))
        if (name.rfind("Tavelock", 0) == 0) runOnce.DeleteValue(name);
  }

  static std::string Installed() { return kQuikpost + "American.dct"; }

  tvktest::ScratchDir kit_;
};

TEST_F(Restart, FileInUseIsReplacedAndTheContinuationFinishesQuietly) {
  RunningQuikpost quikpost(Installed());
  ASSERT_TRUE(quikpost.Running());

  tvktest::Process setup = tvktest::StartProcess("\"" + kit_ / "inst\\setup.exe" + "\"");
  ASSERT_TRUE(setup);
  tvkui::ClickButton(tvkui::WaitForWindow(kFinder, kWait), "Continue");
  // The main form says that the restart finishes the installation; Finished lets the restart go ahead,
  // and the installer ends by itself.
  HWND main = tvkui::WaitForWindow(kMainForm, kWait);
  EXPECT_TRUE(tvkui::FindControl(main, "Static", "The installation finishes when Windows restarts.").hwnd)
      << tvkui::DescribeVisibleWindows();
  EXPECT_EQ(quikpost.Refusals(), 0) << "Windows was restarted before the user pressed Finished";
  tvkui::ClickButton(main, "Finished");
  WaitForProgramGone();
  WaitUntilGone("wineboot.exe");
  EXPECT_GE(quikpost.Refusals(), 1) << "the installer did not restart Windows";
  EXPECT_EQ(ReadFile(Installed()), "old words");
  EXPECT_EQ(ReadFile(kQuikpost + "American.1"), Words());

  // The continuation is the loader's unpacked copy of the program, for the same self-extractor.
  const std::vector<std::string> records = SubKeys(kRecords);
  ASSERT_EQ(records.size(), 1u);
  const std::string program = RegString(kRecords + "\\" + records[0], "Path");
  EXPECT_TRUE(SameText(ExtractFileName(program), "dictsetup.exe")) << program;
  EXPECT_TRUE(os::FileExists(program)) << program << " must outlive the first run";
  EXPECT_EQ(RegString(kRunOnce, "TavelockUnfinished"),
            "\"" + program + "\" -r \"-esetup.exe\" \"-s" + kit_ / "inst" + "\" -c");

  quikpost.End();
  const auto restarted = tvktest::RunAndWait("wineboot.exe -r", 120000);
  ASSERT_TRUE(restarted.has_value()) << "wineboot -r did not end";
  // wineboot does not wait for what RunOnce starts: the continuation ends by itself, showing nothing.
  bool finderShown = false;
  for (int i = 0; i < int(kWait / 100) && (ProcessId("dictsetup.exe") != 0 || !SubKeys(kRecords).empty()); ++i) {
    if (HWND finder = tvkui::FindWindowByCaption(kFinder)) {
      finderShown = true;
      tvkui::ClickButton(finder, "Cancel");
    }
    ::Sleep(100);
  }
  EXPECT_FALSE(finderShown) << "the continuation started a second installation";
  EXPECT_EQ(ProcessId("dictsetup.exe"), 0u) << tvkui::DescribeVisibleWindows();

  EXPECT_EQ(ReadFile(Installed()), Words());
  EXPECT_FALSE(os::FileExists(kQuikpost + "American.1"));
  EXPECT_TRUE(SubKeys(kRecords).empty());
  EXPECT_EQ(RegString(kRunOnce, "TavelockUnfinished"), "<missing>");
}

// Unattended, the same installation ends with exit code 3010 and does not restart Windows itself; the
// administrator's restart finishes it, and the continuation logs to the same log and shows nothing.
// Through the self-extracting setup.exe and through a plain loader beside setup.1 and files.1.
class QuietRestart : public Restart, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    Restart::SetUp();
    ASSERT_TRUE(os::CopyFile(tvktest::ProgramDir() + "TavelockLoadProgram.exe", kit_ / "inst\\setup_plain.exe", false));
  }
};

TEST_P(QuietRestart, AsksForTheRestartThroughItsExitCode) {
  RunningQuikpost quikpost(Installed());
  ASSERT_TRUE(quikpost.Running());
  const std::string log = kit_ / "setup.log";
  tvktest::Process setup = tvktest::StartProcess("\"" + kit_ / "inst\\" + GetParam() + "\" -q \"-t" + kQuikpost +
                                                 "\" \"-l" + log + "\"");
  ASSERT_TRUE(setup);
  EXPECT_EQ(setup.Wait(kWait), std::optional<unsigned long>(3010));
  EXPECT_EQ(quikpost.Refusals(), 0) << "a quiet run restarted Windows";
  EXPECT_EQ(ReadFile(kQuikpost + "American.1"), Words());
  const std::string first = ReadFile(log);
  for (const std::string& line : {"American.dct: in use; waits as " + kQuikpost + "American.1 for the restart",
                                  "restart: " + kQuikpost + "American.1 replaces " + kQuikpost + "American.dct",
                                  std::string("exit code 3010")})
    EXPECT_NE(first.find(line), std::string::npos) << line << "\n" << first;

  quikpost.End();
  ASSERT_TRUE(tvktest::RunAndWait("wineboot.exe -r", 120000).has_value());
  for (int i = 0; i < int(kWait / 100) && (ProcessId("dictsetup.exe") != 0 || !SubKeys(kRecords).empty()); ++i) {
    EXPECT_EQ(tvkui::FindWindowByCaption(kMainForm), nullptr);
    ::Sleep(100);
  }
  EXPECT_EQ(ReadFile(Installed()), Words());
  const std::string both = ReadFile(log);
  ASSERT_GT(both.size(), first.size());
  const std::string continuation = both.substr(first.size());
  for (const char* line : {"command line: \"-r\"", "after the restart: finishing InstallFile", "installed", "exit code 0"})
    EXPECT_NE(continuation.find(line), std::string::npos) << line << "\n" << continuation;
}

INSTANTIATE_TEST_SUITE_P(Setups, QuietRestart, ::testing::Values("setup.exe", "setup_plain.exe"),
                         [](const auto& info) {
                           return std::string(info.param) == "setup.exe" ? "SelfExtracting" : "Plain";
                         });

}  // namespace
