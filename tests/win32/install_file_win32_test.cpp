// The install of a file against the real thing: a destination held open by another process, the swap at
// the next start of Windows (wineboot -r), and registration of real COM servers.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "support/fixture_programs.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/install_fixture.h"
#include "support/test_support.h"
#include "support/win32_process.h"

namespace {

constexpr char kComKey[] = "Software\\TvkTest\\Com";

class InstallReal : public tvktest::InstallFixture<> {
 protected:
  tvktest::ScratchKey record{os::kLocalMachine};

  void SetUp() override {
    InstallFixture::SetUp();
    InstallRecordKey = record.Path();
    tvktest::RemoveRegTree(os::kCurrentUser, kComKey);
  }
  void TearDown() override {
    InstallFixture::TearDown();
    InstallRecordKey.clear();
    tvktest::RemoveRegTree(os::kCurrentUser, kComKey);
    os::RegDeleteKey(os::kCurrentUser, "Software\\TvkTest");
  }
  TInstallFile* Add(const std::string& source) { return AddSource(source); }
};

TEST_F(InstallReal, FileInUseIsSwappedAtTheNextStart) {
  tvktest::WriteFile(dir / "American.dct", "new words");
  TInstallFile* file = Add(dir / "American.dct");
  Build();
  ASSERT_TRUE(os::CreateDirectory(dir / "dest"));
  tvktest::WriteFile(Dest("American.dct"), "old words");
  tvktest::WriteFile(Dest("American.1"), "someone else's");  // the first free temporary name is .2

  tvktest::Process lock = tvktest::StartProcess("\"" + tvktest::ComFixture("tvklock.exe") + "\" \"" +
                                                Dest("American.dct") + "\" 60");
  ASSERT_TRUE(lock);
  for (int i = 0; i < 200 && !os::FileExists(Dest("American.dct.locked")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(os::FileExists(Dest("American.dct.locked")));
  InstallObjects();
  EXPECT_TRUE(file->WasInUse());
  EXPECT_TRUE(install->Reboot());
  EXPECT_EQ(file->DestName(), "American.2");
  EXPECT_EQ(tvktest::ReadFile(Dest("American.2")), "new words");
  EXPECT_EQ(ReadRegString(rrLocalMachine, record.Path() + "\\Unfinished", "American", ""), "0");
  // The uninstall list names the file where it will be after the restart.
  EXPECT_EQ(ReadRegString(rrLocalMachine,
                          "\\" + UninstallKey() + "\\Files", "File1", ""),
            Dest("American.dct"));
  lock.Terminate();

  auto restarted = tvktest::RunAndWait("wineboot.exe -r", 120000);
  ASSERT_TRUE(restarted.has_value());
  EXPECT_EQ(tvktest::ReadFile(Dest("American.dct")), "new words");
  EXPECT_FALSE(os::FileExists(Dest("American.2")));
}

TEST_F(InstallReal, ComServersRegister) {
  struct Case {
    const char* fixture;
    const char* message;  // nullptr: registers
  };
  const Case cases[] = {
      {"tvkcom_ok.dll", nullptr},
      {"tvkcom_fail.dll", "because the DllRegisterServer function returned a value of -2147467259. The file component is tvkcom_fail"},
      {"tvkcom_noexport.dll", "because the DllRegisterServer function could not be found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TInstallFile* file = Add(tvktest::ComFixture(c.fixture));
    ASSERT_TRUE(file->ActiveX()) << "its version resource says it registers itself";
    file->SetFileType(iftNormal);
    file->SetUpdateDLLCounter(false);
    file->SetDestDirType(nullptr);
    file->SetDestDir(dir / "dest");
    Build();
    try {
      InstallObjects();
      EXPECT_EQ(c.message, nullptr);
      EXPECT_EQ(ReadRegString(rrCurrentUser, std::string("\\") + kComKey, "Registered", ""), Dest(c.fixture));
    } catch (const IECustomInstallFile& e) {
      ASSERT_NE(c.message, nullptr) << e.Message();
      EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
    }
    delete file;
  }
}

// The uninstall unregisters a self-registering component before it removes it: a library through its
// DllUnregisterServer, a program started with /UNREGSERVER and waited for.
TEST_F(InstallReal, ComServersUnregisterWhenRemoved) {
  const struct {
    const char* source;
    const char* trace;
  } cases[] = {{"tvkcom_ok.dll", "Registered"}, {"tvkexeserver.exe", "ExeServer"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    TInstallFile* file = Add(tvktest::ComFixture(c.source));
    file->SetActiveX(true);
    file->SetFileType(iftNormal);
    file->SetUpdateDLLCounter(false);
    file->SetDestDirType(nullptr);
    file->SetDestDir(dir / "dest");
    Build();
    InstallObjects();
    const std::string key = std::string("\\") + kComKey;
    for (int i = 0; i < 200 && ReadRegString(rrCurrentUser, key, c.trace, "").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(ReadRegString(rrCurrentUser, key, c.trace, ""), "");
    EXPECT_FALSE(install->Uninstall("\\" + UninstallKey()));
    EXPECT_EQ(ReadRegString(rrCurrentUser, key, c.trace, "<none>"), "<none>");
    EXPECT_FALSE(os::FileExists(Dest(c.source)));
    delete file;
  }
}

// The program searches only the system directory for libraries (so none planted in a downloads folder or
// the current folder is loaded); a component it registers still finds the libraries installed beside it.
TEST_F(InstallReal, ComServerFindsItsLibrariesBesideIt) {
  TInstallFile* file = Add(tvktest::ComFixture("tvkcom_dependent.dll"));
  file->SetFileType(iftNormal);
  file->SetUpdateDLLCounter(false);
  file->SetDestDirType(nullptr);
  file->SetDestDir(dir / "dest");
  Build();
  ASSERT_TRUE(os::CreateDirectory(dir / "dest"));
  ASSERT_TRUE(os::CopyFile(tvktest::ComFixture("tvkcom_helper.dll"), Dest("tvkcom_helper.dll"), false));
  ASSERT_TRUE(os::RestrictLibrarySearch());
  struct Unrestrict {
    ~Unrestrict() { tvktest::UnrestrictLibrarySearch(); }
  } unrestrict;
  // The control: loaded plainly from its own folder, the server does not find its library.
  ASSERT_TRUE(os::CopyFile(tvktest::ComFixture("tvkcom_dependent.dll"), dir / "plain.dll", false));
  ASSERT_TRUE(os::CopyFile(tvktest::ComFixture("tvkcom_helper.dll"), dir / "tvkcom_helper.dll", false));
  EXPECT_FALSE(os::Module::Load(dir / "plain.dll"));

  InstallObjects();
  EXPECT_EQ(ReadRegString(rrCurrentUser, std::string("\\") + kComKey, "Registered", ""), Dest("tvkcom_dependent.dll"));
}

TEST_F(InstallReal, ExeServerStartsQuoted) {
  ASSERT_TRUE(os::CreateDirectory(dir / "with blank"));
  ASSERT_TRUE(os::CopyFile(tvktest::ComFixture("tvkexeserver.exe"), dir / "with blank\\server.exe", false));
  TInstallFile* file = Add(dir / "with blank\\server.exe");
  file->SetActiveX(true);
  file->SetFileType(iftNormal);
  file->SetUpdateDLLCounter(false);
  file->SetDestDirType(nullptr);
  file->SetDestDir(dir / "dest dir");
  Build();
  InstallObjects();
  std::string recorded;
  for (int i = 0; i < 200 && recorded.empty(); ++i) {
    recorded = ReadRegString(rrCurrentUser, std::string("\\") + kComKey, "ExeServer", "");
    if (recorded.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(recorded, "\"" + (dir / "dest dir\\server.exe") + "\" /REGSERVER");
}

}  // namespace

namespace {

// Run by the install_win98 test, whose program Wine reports as Windows 98: the swap goes through
// WININIT.INI with 8.3 names on both sides.
TEST_F(InstallReal, Windows95FamilySwapsThroughWininit) {
  ASSERT_EQ(WindowsPlatform(), 1) << "run as win98_tests.exe, which Wine reports as Windows 98";
  tvktest::WriteFile(dir / "American.dct", "new words");
  Add(dir / "American.dct");
  Build();
  install->SetDestDir(dir / "dest folder");  // a long name on the way
  ASSERT_TRUE(os::CreateDirectory(dir / "dest folder"));
  const std::string dest = dir / "dest folder\\American.dct";
  tvktest::WriteFile(dest, "old words");
  tvktest::Process lock = tvktest::StartProcess("\"" + tvktest::ComFixture("tvklock.exe") + "\" \"" + dest + "\" 60");
  for (int i = 0; i < 200 && !os::FileExists(dest + ".locked"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(os::FileExists(dest + ".locked"));
  InstallObjects();
  EXPECT_TRUE(install->Reboot());
  lock.Terminate();

  const std::string wininit = WithTrailingBackslash(WindowsDirectory()) + "WININIT.INI";
  const std::string shortDest = ShortPathName(dest);
  TStringList ini;
  ini.LoadFromFile(wininit);
  const int entry = ini.IndexOfName(shortDest);
  ASSERT_GE(entry, 0) << ini.Text();
  const std::string shortTemp = ini.Values(shortDest);
  // Both sides 8.3: the temporary name is made from the destination's short name.
  EXPECT_EQ(shortTemp, ExtractFilePath(shortDest) + ChangeFileExt(ExtractFileName(shortDest), ".1"));
  EXPECT_EQ(shortDest.find(' '), std::string::npos);

  auto restarted = tvktest::RunAndWait("wineboot.exe -r", 120000);
  ASSERT_TRUE(restarted.has_value());
  EXPECT_EQ(tvktest::ReadFile(dest), "new words");
  os::DeleteFile(wininit);
  os::DeleteFile(ChangeFileExt(wininit, ".BAK"));
}

// A file in use in folders the install made: the uninstall leaves them to the restart, which takes the
// file, then the folders from the inside out, and leaves the folder that was there before.
TEST_F(InstallReal, FoldersWithAFileInUseGoAtTheRestart) {
  tvktest::WriteFile(dir / "American.dct", "words");
  TInstallFile* file = Add(dir / "American.dct");
  file->SetDestDirType(nullptr);
  file->SetDestDir(dir / "dest\\made\\deeper");
  Build();
  ASSERT_TRUE(os::CreateDirectory(dir / "dest"));
  InstallObjects();
  const std::string path = dir / "dest\\made\\deeper\\American.dct";
  tvktest::Process lock = tvktest::StartProcess("\"" + tvktest::ComFixture("tvklock.exe") + "\" \"" + path + "\" 60");
  for (int i = 0; i < 200 && !os::FileExists(path + ".locked"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(os::FileExists(path + ".locked"));
  os::DeleteFile(path + ".locked");

  EXPECT_TRUE(install->Uninstall("\\" + UninstallKey()));
  lock.Terminate();
  EXPECT_TRUE(os::FileExists(path));
  ASSERT_TRUE(tvktest::RunAndWait("wineboot.exe -r", 120000).has_value());
  EXPECT_FALSE(os::FileExists(path));
  EXPECT_FALSE(os::DirectoryExists(dir / "dest\\made"));
  EXPECT_TRUE(os::DirectoryExists(dir / "dest"));
}

// The uninstall of two files in use: each gets a "NUL=" line of its own in WININIT.INI, and both go at
// the restart.
TEST_F(InstallReal, Windows95FamilyDeletesFilesInUseThroughWininit) {
  ASSERT_EQ(WindowsPlatform(), 1) << "run as win98_tests.exe, which Wine reports as Windows 98";
  std::vector<tvktest::Process> locks;
  std::vector<std::string> installed;
  for (const char* name : {"first.dct", "second.dct"}) {
    tvktest::WriteFile(dir / name, name);
    Add(dir / name);
    installed.push_back(Dest(name));
  }
  Build();
  InstallObjects();
  for (const std::string& path : installed) {
    locks.push_back(tvktest::StartProcess("\"" + tvktest::ComFixture("tvklock.exe") + "\" \"" + path + "\" 60"));
    for (int i = 0; i < 200 && !os::FileExists(path + ".locked"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(os::FileExists(path + ".locked"));
    os::DeleteFile(path + ".locked");
  }
  EXPECT_TRUE(install->Uninstall("\\" + UninstallKey()));
  for (tvktest::Process& lock : locks) lock.Terminate();
  const std::string wininit = WithTrailingBackslash(WindowsDirectory()) + "WININIT.INI";
  const std::string text = tvktest::ReadFile(wininit);
  for (const std::string& path : installed) EXPECT_NE(text.find("NUL=" + ShortPathName(path)), std::string::npos) << text;

  ASSERT_TRUE(tvktest::RunAndWait("wineboot.exe -r", 120000).has_value());
  for (const std::string& path : installed) EXPECT_FALSE(os::FileExists(path)) << path;
  os::DeleteFile(wininit);
  os::DeleteFile(ChangeFileExt(wininit, ".BAK"));
}

}  // namespace

namespace {

TEST_F(InstallReal, ThemeBitmapComesFromTheProgramsResource) {
  EXPECT_EQ(install->DialogThemeBitmap().Width(), 117);
  EXPECT_EQ(install->DialogThemeBitmap().Height(), 290);
  TBitmap copy;
  copy.Assign(&install->DialogThemeBitmap());
  EXPECT_EQ(copy.Canvas().Pixel(60, 145), install->DialogThemeBitmap().Canvas().Pixel(60, 145));
  TBitmap empty;
  install->SetDialogThemeBitmap(empty);
  EXPECT_TRUE(install->DialogThemeBitmap().Empty());
}

}  // namespace
