// The program as its own build tool: setup.1, the loading program as setup.exe, files.1, the
// self-extractor with its extraction record, and the copy onto floppies.
#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "net/cmp_TNetInstallLocation.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/install_fixture.h"
#include "support/test_support.h"

namespace {

constexpr char kKitKey[] = "\\SOFTWARE\\Tavelock\\Kit";

class InstallBuild : public tvktest::InstallFixture<> {
 protected:
  std::string loader;

  void SetUp() override {
    InstallFixture::SetUp();
    // The kit's loading program, in a kit directory of this test's own (test processes run side by side).
    CreateDirectoryPath(dir / "kit");
    loader = dir / "kit\\TavelockLoadProgram.exe";
    tvktest::WriteFile(loader, "MZ loading program");
    WriteRegString(rrLocalMachine, kKitKey, "Directory", dir / "kit");
    tvktest::WriteFile(dir / "dictsetup.exe", "MZ installation program");
    tvktest::WriteFile(dir / "readme.txt", "presetup");
    install->PresetupFiles().Add(dir / "readme.txt");
  }
  void TearDown() override {
    // A build shows nothing but what a test has looked at (and cleared).
    EXPECT_EQ(shown, std::vector<std::string>{});
    tvktest::RemoveRegTree(os::kLocalMachine, kKitKey + 1);
    InstallFixture::TearDown();
  }
  static std::vector<std::string> Entries(const std::string& archive) {
    TTvlkCompress engine(nullptr);
    engine.SetCompressedFile(archive);
    std::vector<std::string> names;
    for (int i = 0; i < engine.FileCount(); ++i) {
      TlzhFileStats stats;
      engine.GetFileStats(i, stats);
      names.push_back(ExtractFileName(stats.FileName));
    }
    return names;
  }
};

TEST_F(InstallBuild, SelfExtractorCarriesBothArchives) {
  tvktest::WriteFile(dir / "American.dct", "words");
  auto* file = new TInstallFile(&form);
  file->SetName("American");
  file->SetIncludeFromDir(dir.Path());
  file->SetFileName("American.dct");
  file->SetContainer(install);
  install->SetUseLoadingProgram(true);  // the archive is the running program's, as a real setup has it

  install->Build(dir / "dictsetup.exe", dir / "build", true);
  // The component's own settings are the build's to read, not to change.
  EXPECT_NE(dynamic_cast<TpsMainArchiveFile*>(install->ArchiveFileType()), nullptr);
  EXPECT_EQ(install->ArchiveFile(), "");
  EXPECT_EQ(Entries(dir / "build\\setup.1"), (std::vector<std::string>{"dictsetup.exe", "readme.txt"}));
  EXPECT_EQ(Entries(dir / "build\\files.1"), (std::vector<std::string>{"American.dct"}));

  const std::string exe = tvktest::ReadFile(dir / "build\\setup.exe");
  const std::string setup1 = tvktest::ReadFile(dir / "build\\setup.1");
  const std::string files1 = tvktest::ReadFile(dir / "build\\files.1");
  const std::string program = "MZ loading program";
  ASSERT_EQ(exe.size(), program.size() + setup1.size() + files1.size() + 56);
  EXPECT_EQ(exe.substr(0, program.size()), program);
  EXPECT_EQ(exe.substr(exe.size() - 56, 15), std::string("\x0eSELFEXTRACTING", 15));
  const TExtractionInfo info = ReadExtractionInfo(dir / "build\\setup.exe");
  EXPECT_EQ(info.setupStart, std::int32_t(program.size()));
  EXPECT_EQ(exe.substr(std::size_t(info.setupStart), std::size_t(info.setupEnd - info.setupStart + 1)), setup1);
  EXPECT_EQ(exe.substr(std::size_t(info.filesStart), std::size_t(info.filesEnd - info.filesStart + 1)), files1);
#ifdef TVKARC_PATH
  // The command-line tool finds both archives inside the self-extractor by their offsets.
  for (const auto& [offset, name] : {std::pair{info.setupStart, "dictsetup.exe"}, std::pair{info.filesStart, "American.dct"}}) {
    const std::string listing = tvktest::CommandOutput(std::string(TVKARC_PATH) + " list --offset " +
                                                       std::to_string(offset) + " '" + dir / "build\\setup.exe" + "'");
    EXPECT_NE(listing.find(name), std::string::npos) << offset << ": " << listing;
  }
#endif

  // Onto floppies, from the self-extractor: the loading program, setup.1 and files.1.
  install->ParseCommandLine({"-s" + (dir / "build"), "-esetup.exe", "-f"});
  os::CreateDirectory(dir / "floppy");
  install->TransferToFloppies(dir / "floppy");
  EXPECT_EQ(tvktest::ReadFile(dir / "floppy\\setup.exe"), program);
  EXPECT_EQ(tvktest::ReadFile(dir / "floppy\\setup.1"), setup1);
  EXPECT_EQ(Entries(dir / "floppy\\files.1"), (std::vector<std::string>{"American.dct"}));
}

// A signed self-extractor copied onto floppies: the loading program there names no certificate table,
// for the table stayed behind with the archives.
TEST_F(InstallBuild, FloppyCopyOfASignedSelfExtractorNamesNoTable) {
  // A loading program with a PE32 header: the security directory entry is the fifth of the directories.
  std::string image(1024, '\0');
  const auto put = [](std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(value >> (8 * i));
  };
  const std::size_t pe = 0x80, entry = pe + 24 + 96 + 4 * 8;
  image[0] = 'M';
  image[1] = 'Z';
  put(image, 0x3C, pe);
  put(image, pe, 0x4550);
  image[pe + 24] = 0x0B;
  image[pe + 25] = 0x01;
  put(image, pe + 24 + 92, 16);
  tvktest::WriteFile(loader, image);
  tvktest::WriteFile(dir / "American.dct", "words");
  AddSource(dir / "American.dct");
  install->SetUseLoadingProgram(true);  // the archive is the running program's
  install->Build(dir / "dictsetup.exe", dir / "build", true);
  // Signed as a signing tool does it: the table after the record, 8-aligned, named in the header.
  std::string exe = tvktest::ReadFile(dir / "build\\setup.exe");
  exe.resize((exe.size() + 7) / 8 * 8, '\0');
  put(exe, entry, std::uint32_t(exe.size()));
  put(exe, entry + 4, 16);
  exe += std::string(16, 'T');
  tvktest::WriteFile(dir / "build\\setup.exe", exe);

  install->ParseCommandLine({"-s" + (dir / "build"), "-esetup.exe", "-f"});
  os::CreateDirectory(dir / "floppy");
  install->TransferToFloppies(dir / "floppy");
  const std::string copied = tvktest::ReadFile(dir / "floppy\\setup.exe");
  ASSERT_EQ(copied.size(), image.size());
  EXPECT_EQ(copied, image);  // the entry is empty again, and nothing else changed
}

TEST_F(InstallBuild, WithoutInstallFilesTheRecordHasNoFilesArchive) {
  install->Build(dir / "dictsetup.exe", dir / "build", true);
  EXPECT_FALSE(os::FileExists(dir / "build\\files.1"));
  const TExtractionInfo info = ReadExtractionInfo(dir / "build\\setup.exe");
  EXPECT_EQ(info.filesStart, 0);
  EXPECT_EQ(info.filesEnd, 0);
}

TEST_F(InstallBuild, ExtractionRecordIsCheckedBeforeUse) {
  install->Build(dir / "dictsetup.exe", dir / "build", true);
  const std::string good = tvktest::ReadFile(dir / "build\\setup.exe");
  auto patched = [&](std::size_t fromEnd, const std::string& bytes) {
    std::string copy = good;
    copy.replace(copy.size() - fromEnd, bytes.size(), bytes);
    tvktest::WriteFile(dir / "bad.exe", copy);
    return dir / "bad.exe";
  };
  const std::int32_t beyond = std::int32_t(good.size());
  const struct {
    const char* why;
    std::size_t fromEnd;
    std::string bytes;
  } cases[] = {
      {"length byte", 56, "\x0d"},
      {"text", 55, "SELFEXTRACTINX"},
      {"setup.1 past the record", 36, std::string(reinterpret_cast<const char*>(&beyond), 4)},
      {"files.1 half given", 32, std::string("\x01\0\0\0", 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_THROW(ReadExtractionInfo(patched(c.fromEnd, c.bytes)), IEInstall);
  }
  tvktest::WriteFile(dir / "short.exe", "tiny");
  EXPECT_THROW(ReadExtractionInfo(dir / "short.exe"), IEInstall);
}

#ifndef _WIN32
// Natively the batch cannot start, so the test can look at it without it removing anything.
TEST_F(InstallBuild, CleanupBatchQuotesAndKeepsForeignFolders) {
  install->ParseCommandLine({"-s" + dir.Path(), "-c"});
  install->Cleanup();
  TStringList lines;
  std::string batch;
  for (const os::FindData& entry : os::FindFiles(*os::TempPath() + "bat*.bat"))
    if (tvktest::ReadFile(*os::TempPath() + entry.name).find(os::ModuleFileName()) != std::string::npos)
      batch = *os::TempPath() + entry.name;
  ASSERT_FALSE(batch.empty());
  lines.LoadFromFile(batch);
  // The program is erased (once it has ended), its folder stays, since it is not in the temporary
  // directory, and the batch erases itself last.
  EXPECT_NE(lines.IndexOf("ERASE \"" + os::ModuleFileName() + "\" >NUL 2>&1"), -1) << lines.Text();
  for (int i = 0; i < lines.Count(); ++i) {
    EXPECT_NE(lines.Strings(i).rfind("RMDIR", 0), 0u) << lines.Strings(i);
    EXPECT_NE(lines.Strings(i).rfind("DELTREE", 0), 0u) << lines.Strings(i);
  }
  EXPECT_EQ(lines.Strings(lines.Count() - 1), "ERASE \"" + batch + "\"");
  os::DeleteFile(batch);
}
#endif

TEST_F(InstallBuild, Failures) {
  const struct {
    std::function<void()> call;
    std::string message;
  } cases[] = {
      {[&] { install->CreateSetupArchive(dir / "build", " "); }, "Cannot create setup file. Executable is blank"},
      {[&] { install->CreateSetupArchive(dir / "build", dir / "none.exe"); },
       "TInstall: Cannot find the executable file " + (dir / "none.exe")},
      {[&] {
         install->SetUseLoadingProgram(false);
         install->Build(dir / "dictsetup.exe", dir / "build", true);
       },
       "Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is set to False"},
      {[&] {
         install->SetUseLoadingProgram(true);
         os::DeleteFile(loader);
         install->Build(dir / "dictsetup.exe", dir / "build", true);
       },
       "The loader program " + loader + " was not found"},
      {[&] { ReadExtractionInfo(dir / "readme.txt"); },
       "Could not read the extraction info from the archive file " + (dir / "readme.txt") +
           " when trying to find the correct offset into the self extracting file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const IEInstall& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }

  // Without -e there is nothing to copy onto floppies; the mode shows why and ends.
  ASSERT_EQ(shown, std::vector<std::string>{});
  install->ParseCommandLine({});
  install->TransferToFloppies(dir / "floppy");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Sorry... You can only transfer", 0), 0u);
  shown.clear();
}

// A web build lists each file by its component name in 39 characters: a longer name is refused, not cut.
TEST_F(InstallBuild, WebBuildRefusesANameTheFileListCannotHold) {
  auto* location = new TNetInstallLocation(&form);
  location->LoginInformation().Hostname = "example.com";
  install->SetNetLocation(location);
  install->SetDesigning(true, false);
  install->SetDistributeType(dtWeb);
  install->SetDesigning(false, false);
  tvktest::WriteFile(dir / "words.txt", "words");
  auto* file = new TInstallFile(&form);
  file->SetName(std::string(40, 'N'));
  file->SetIncludeFromDir(dir.Path());
  file->SetFileName("words.txt");
  file->SetContainer(install);
  try {
    install->Build(dir / "dictsetup.exe", dir / "inst", false);
    FAIL() << "built";
  } catch (const IEInstall& e) {
    EXPECT_NE(std::string(e.what()).find(std::string(40, 'N')), std::string::npos) << e.what();
  }
  file->SetName(std::string(39, 'N'));
  install->Build(dir / "dictsetup.exe", dir / "inst", false);
  EXPECT_TRUE(os::FileExists(dir / "inst\\example.com\\HTTP Root directory\\filelist.lst"));
}

}  // namespace
