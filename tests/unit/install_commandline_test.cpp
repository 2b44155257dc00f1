#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "os/os.h"

namespace {

TEST(CommandLine, SplitAtBlanksOutsideQuotes) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"setup.exe", {"setup.exe"}},
      {"\"C:\\Program Files\\dictsetup.exe\" \"-sC:\\My Build\" -c", {"C:\\Program Files\\dictsetup.exe", "-sC:\\My Build", "-c"}},
      {"  a\t b  ", {"a", "b"}},
      {"-s\"C:\\My Build\"x", {"-sC:\\My Buildx"}},
      {"\"\"", {""}},
      {"", {}},
  };
  for (const auto& [line, parts] : cases) EXPECT_EQ(os::SplitCommandLine(line), parts) << line;
}

TEST(CommandLine, Switches) {
  TForm form(nullptr);
  auto* install = new TInstall(&form);
  install->ParseCommandLine({"-S\"ignored\"", "-sC:\\My Build", "-eSetup.exe", "-c", "-B"});
  EXPECT_EQ(install->CommandArg(cmdSource), "C:\\My Build");  // the last one wins
  EXPECT_TRUE(install->CommandFlag(cmdBuild));
  EXPECT_TRUE(install->CommandFlag(cmdCleanup));
  EXPECT_FALSE(install->CommandFlag(cmdReboot));
  EXPECT_EQ(install->SelfExtractorName().value_or("none"), "Setup.exe");

  for (const char* bad : {"-", "s", "-x", ""}) {
    try {
      install->ParseCommandLine({"-b", bad});
      ADD_FAILURE() << bad;
    } catch (const IException& e) {
      EXPECT_EQ(e.Message(), std::string("Invalid parameter <") + bad +
                                 ">. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to "
                                 "floppies), -e (Called by self-extractor), -r (After reboot)");
    }
  }
}

}  // namespace
