// A web distribution through the whole chain: a program built with -b writes its net archive and file
// list into the build directory's mirror folder; the servers on 127.0.0.1 serve that folder; the
// self-extracting setup.exe starts the program, which downloads what it needs and installs it.
#include <gtest/gtest.h>

#include <string>

#include "e2e_support.h"
#include "support/net_servers.h"
#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"

#include <windows.h>
#undef CopyFile

namespace {

class WebSetup : public ::testing::TestWithParam<const char*> {
 protected:
  tvktest::ScratchDir kit, work;
  const std::string folder = "web" + std::to_string(std::int64_t(os::Now() * 1e6) % 1000000);
  std::string mirror;

  void SetUp() override {
    if (const std::string missing = tvktest::NetServersMissing(work.Path()); !missing.empty()) GTEST_SKIP() << missing;
    const std::pair<const char*, std::string> settings[] = {{"TVK_WEB_PROTOCOL", GetParam()},
                                                           {"TVK_WEB_DIRECTORY", "\\" + folder},
                                                           {"TVK_WEB_SOURCE", work.Path()},
                                                           {"TVK_WEB_DEST", work / "dest"}};
    for (const auto& [name, value] : settings) ::SetEnvironmentVariableA(name, value.c_str());
  }
  void TearDown() override {
    for (const char* name : {"TVK_WEB_PROTOCOL", "TVK_WEB_DIRECTORY", "TVK_WEB_SOURCE", "TVK_WEB_DEST"})
      ::SetEnvironmentVariableA(name, nullptr);
    if (!mirror.empty()) tvktest::RemoveTree(mirror);
  }
};

TEST_P(WebSetup, BuildsServesAndInstallsThroughSetup) {
  const std::string words = e2e::Words();
  tvktest::WriteFile(work / "American.dct", words);
  for (const char* program : {"websetup.exe", "TavelockLoadProgram.exe"})
    ASSERT_TRUE(os::CopyFile(tvktest::ProgramDir() + program, kit / program, false));
  tvktest::WriteFile(kit / "BUILD.INF", kit / "inst\r\n");
  e2e::RunQuietly("\"" + kit / "websetup.exe" + "\" -b");

  // The developer uploads the mirror folder.
  const std::string built = kit / ("inst\\127.0.0.1\\" + folder);
  ASSERT_TRUE(os::FileExists(built + "\\filelist.lst"));
  mirror = tvktest::NetRoot() + "\\" + folder;
  CreateDirectoryPath(mirror);
  for (const os::FindData& entry : os::FindFiles(built + "\\*")) {
    if (!entry.directory) {
      ASSERT_TRUE(os::CopyFile(built + "\\" + entry.name, mirror + "\\" + entry.name, false));
    }
  }

  const std::set<std::string> temp = e2e::UnpackedFolders();
  tvktest::Process loader = tvktest::StartProcess("\"" + kit / "inst\\setup.exe" + "\"");
  ASSERT_TRUE(loader.Wait(e2e::kWait).has_value());
  e2e::WaitForProgramGone("websetup.exe");
  EXPECT_EQ(tvktest::ReadFile(work / "dest\\American.dct"), words);
  // The downloaded copies and the unpacked program are gone, and so is the install record.
  EXPECT_TRUE(e2e::UnpackedFoldersBecome(temp));
  EXPECT_FALSE(os::RegKey::Open(os::kLocalMachine, "SOFTWARE\\Tavelock\\Install", os::RegAccess::Read).IsValid());
}

INSTANTIATE_TEST_SUITE_P(Protocols, WebSetup, ::testing::Values("http", "ftp"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
