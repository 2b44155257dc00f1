// The uninstall as Windows' list of programs runs it, asking first. The quiet uninstall, and the one of a
// dictionary in use that goes at the restart, are in machine/whole_machine_test.cpp, over the whole machine.
#include <gtest/gtest.h>

#include <string>

#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "uninstall_fixture.h"
#include "ui_driver.h"

#include <windows.h>
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile

namespace {

using namespace e2e;
using tvktest::ReadFile;

class Uninstall : public UninstallFixture {};

TEST_F(Uninstall, InteractiveRunsAskFirstAndTellTheOutcome) {
  InstallQuietly();
  const struct {
    const char* answer;
    std::string command;
    unsigned long exitCode;
    bool removed;
  } cases[] = {{"No", Entry("UninstallString"), 1602, false},
               // The remove command of Wine's list of programs, which runs the entry's command and waits for
               // it (and ends with 0 of its own).
               {"Yes", "uninstaller.exe --remove Quikpost", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    tvktest::Process uninstaller = tvktest::StartProcess(c.command);
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

}  // namespace
