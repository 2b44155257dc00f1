// The installer started with a command line it cannot use: it says so in one message box with its
// caption, never shows the finder form, and ends once the message is answered.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

namespace {

using namespace e2e;

std::string InvalidParameter(const std::string& parameter) {
  return "Invalid parameter <" + parameter +
         ">. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to floppies), -e (Called by "
         "self-extractor), -r (After reboot)";
}

const std::string kNoBuildDirectory =
    "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"";

TEST(DictsetupCommandLine, AnUnusableCommandLineEndsInOneMessage) {
  const struct {
    const char* arguments;
    std::string message;
    unsigned long exitCode;  // 87: a bad command line; 1603: a failure
  } cases[] = {
      {"-", InvalidParameter("-"), 87},
      {"American.dct", InvalidParameter("American.dct"), 87},
      {"-x", InvalidParameter("-x"), 87},
      {"-d", kNoBuildDirectory, 1603},
      {"-d \"-s \"", kNoBuildDirectory, 1603},  // a build directory of blanks is none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    tvktest::Process program =
        tvktest::StartProcess("\"" + tvktest::ProgramDir() + "dictsetup.exe\" " + c.arguments);
    ASSERT_TRUE(program);
    const tvkui::MessageBoxInfo box = tvkui::WaitForMessageBox(kTitle, kWait);
    EXPECT_EQ(box.text, c.message);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(tvkui::FindWindowByCaption(kFinder), nullptr);
    tvkui::PressMessageBoxButton(box.hwnd, "OK");
    // The message is the whole report, and the exit code tells a script what it said.
    EXPECT_EQ(program.Wait(kWait), std::optional<unsigned long>(c.exitCode));
    EXPECT_EQ(tvkui::FindWindowByCaption(kFinder), nullptr);
  }
}

}  // namespace
