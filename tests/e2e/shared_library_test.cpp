// One library shared by two products, each with a distribution of its own that installs it into the same
// folder and counts it among the system's shared DLLs: the first uninstall lowers the count and keeps the
// library, the second removes both, and the folder the first one made.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_support.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"
#include "support/win32_process.h"

#include <windows.h>
#undef CopyFile

namespace {

using tvktest::ReadFile;

const char* const kProducts[] = {"TvkShareOne", "TvkShareTwo"};
const std::string kFolder = "C:\\Program Files\\Common Files\\TvkShared";
const std::string kLibrary = kFolder + "\\TvkShared.dll";
const std::string kSharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kUninstall = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class SharedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    tvktest::WriteFile(source / "TvkShared.dll", "MZ, a library two products share");
    ::SetEnvironmentVariableA("TVK_SHARED_SOURCE", source.Path().c_str());
    ::SetEnvironmentVariableA("TVK_SHARED_DEST", kFolder.c_str());
  }
  void TearDown() override {
    for (const char* product : kProducts) {
      e2e::WaitForProgramGone((std::string(product) + ".exe").c_str());
      tvktest::RemoveRegTree(os::kLocalMachine, kUninstall.substr(1) + product);
      tvktest::RemoveTree("C:\\Program Files\\Tavelock\\Uninstall\\" + std::string(product));
    }
    if (os::RegKey key = os::RegKey::Open(os::kLocalMachine, kSharedDLLs.substr(1), os::RegAccess::All))
      key.DeleteValue(kLibrary);
    tvktest::RemoveTree(kFolder);
    for (const char* name : {"TVK_SHARED_SOURCE", "TVK_SHARED_DEST"}) ::SetEnvironmentVariableA(name, nullptr);
  }

  // The product's distribution, built with -b by the installation program under the product's name: its setup.exe.
  std::string Build(const std::string& product) {
    const std::string dir = kit / product;
    CreateDirectoryPath(dir);
    for (const auto& [program, copy] : {std::pair<std::string, std::string>{"sharedsetup.exe", product + ".exe"},
                                        {"TavelockLoadProgram.exe", "TavelockLoadProgram.exe"}})
      EXPECT_TRUE(os::CopyFile(tvktest::ProgramDir() + program, dir + "\\" + copy, false));
    tvktest::WriteFile(dir + "\\BUILD.INF", dir + "\\inst\r\n");
    e2e::RunQuietly("\"" + dir + "\\" + product + ".exe\" -b");
    return dir + "\\inst\\setup.exe";
  }
  // Runs a command line and waits for the product's program too: the exit code.
  static std::optional<unsigned long> Run(const std::string& commandLine, const std::string& product) {
    tvktest::Process process = tvktest::StartProcess(commandLine);
    EXPECT_TRUE(process) << commandLine;
    const std::optional<unsigned long> code = process.Wait(e2e::kWait);
    e2e::WaitForProgramGone((product + ".exe").c_str());
    return code;
  }
  static int Count() { return ReadRegInteger(rrLocalMachine, kSharedDLLs, kLibrary, 0); }
  static bool Counted() {
    const os::RegKey key = os::RegKey::Open(os::kLocalMachine, kSharedDLLs.substr(1), os::RegAccess::Read);
    return key && key.Query(kLibrary).has_value();
  }

  tvktest::ScratchDir kit, source, work;
};

TEST_F(SharedLibrary, TheLastOfTwoProductsRemovesIt) {
  const std::string log = work / "shared.log";
  for (const char* product : kProducts) {
    SCOPED_TRACE(product);
    const std::string setup = Build(product);
    EXPECT_EQ(Run("\"" + setup + "\" -q \"-l" + log + "\"", product), std::optional<unsigned long>(0)) << ReadFile(log);
    EXPECT_EQ(ReadRegString(rrLocalMachine, kUninstall + product, "DisplayName", ""), product);
  }
  ASSERT_EQ(Count(), 2) << ReadFile(log);

  const struct {
    const char* product;
    bool kept;  // the library and its count, one lower
  } steps[] = {{kProducts[0], true}, {kProducts[1], false}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.product);
    const std::string command = ReadRegString(rrLocalMachine, kUninstall + step.product, "QuietUninstallString", "");
    ASSERT_NE(command, "");
    EXPECT_EQ(Run(command + " \"-l" + log + "\"", step.product), std::optional<unsigned long>(0)) << ReadFile(log);
    EXPECT_EQ(os::FileExists(kLibrary), step.kept) << ReadFile(log);
    EXPECT_EQ(Counted(), step.kept);
    EXPECT_EQ(ReadRegString(rrLocalMachine, kUninstall + step.product, "DisplayName", "<none>"), "<none>");
    if (step.kept) {
      EXPECT_EQ(Count(), 1);
      EXPECT_EQ(ReadRegString(rrLocalMachine, kUninstall + kProducts[1], "DisplayName", ""), kProducts[1]);
    }
  }
  // The folder the first product made goes with the last that had a file in it.
  EXPECT_FALSE(os::DirectoryExists(kFolder)) << ReadFile(log);
}

}  // namespace
