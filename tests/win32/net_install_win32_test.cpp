// Web distributions end to end in one process: a build writes the net archive and the remote file list
// into the build directory's mirror folder, the servers on 127.0.0.1 serve that folder, and a run
// downloads and installs from it, recording the local copy only for as long as the run needs it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "net/cmp_TNetInstallLocation.h"
#include "support/net_servers.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"

namespace {

constexpr char kRecords[] = "SOFTWARE\\Tavelock\\Install";

// The developer's project and the user's program are the same configuration, in two processes: here
// two sets of components, one after the other.
struct Project {
  TForm form{nullptr};
  TInstall* install = new TInstall(&form);
  TNetInstallLocation* location = new TNetInstallLocation(&form);
  TInstallFile* file = new TInstallFile(&form);
  TInstallFile* extra = nullptr;  // a hybrid distribution's file from the server

  Project(const tvktest::ScratchDir& dir, TInternetProtocol protocol, const std::string& folder, TDistributeType type) {
    install->SetName("WebInstall");
    install->Information().SetProductName("TvkTestWeb");
    install->ParseCommandLine({"-s" + dir.Path()});
    install->SetArchiveFileType(nullptr);
    install->SetArchiveFile(dir / "build\\files.1");
    install->SetDestDirType(nullptr);
    install->SetDestDir(dir / "dest");
    install->SetRunAutomatic(false);
    location->LoginInformation().Protocol = protocol;
    location->LoginInformation().Hostname = "127.0.0.1";
    location->LoginInformation().Directory = "\\" + folder;
    install->SetNetLocation(location);
    install->SetDesigning(true, false);  // the distribution type is a design-time choice
    install->SetDistributeType(type);
    install->SetDesigning(false, false);
    file->SetName("American");
    file->SetIncludeFromDir(dir.Path());
    file->SetFileName("American.dct");
    file->SetContainer(install);
    if (type == dtTraditionalNet) {
      extra = new TInstallFile(&form);
      extra->SetName("Extra");
      extra->SetIncludeFromDir(dir.Path());
      extra->SetFileName("Extra.txt");
      extra->SetNet(true);
      extra->SetContainer(install);
    }
  }
};

class WebDistribution : public ::testing::TestWithParam<TInternetProtocol> {
 protected:
  tvktest::ScratchDir dir;
  std::unique_ptr<Project> project;
  std::vector<std::string> shown;
  const std::string words = std::string(40000, 'w') + "dictionary";
  const std::string extraText = "from the server";
  const std::string folder = "web" + std::to_string(std::int64_t(os::Now() * 1e6) % 1000000);
  std::string mirror;  // the server's folder that the build's mirror is copied to

  void SetUp() override {
    if (const std::string missing = tvktest::NetServersMissing(dir.Path()); !missing.empty()) GTEST_SKIP() << missing;
    Application->OnMessageBox = [this](const std::string& text, const std::string&, unsigned) {
      shown.push_back(text);
      return int(IDOK);
    };
    NetDownloadAborted = false;
    tvktest::WriteFile(dir / "American.dct", words);
    tvktest::WriteFile(dir / "Extra.txt", extraText);
    BuildAndServe(dtWeb);
  }
  // The developer's build of the distribution type, its mirror folder uploaded, and the user's program.
  void BuildAndServe(TDistributeType type) {
    project.reset();
    {
      Project build(dir, GetParam(), folder, type);
      const unsigned toNet = type == dtWeb ? unsigned(coForceFilesNet) : 0u;
      build.install->Compress(coRelocateArchives | coBuild | toNet | coIncludeAll);
      build.install->WriteFileList();
    }
    mirror = tvktest::NetRoot() + "\\" + folder;
    const std::string built = dir / ("build\\127.0.0.1\\" + folder);
    CreateDirectoryPath(mirror);
    for (const os::FindData& entry : os::FindFiles(built + "\\*")) {
      if (!entry.directory) {
        ASSERT_TRUE(os::CopyFile(built + "\\" + entry.name, mirror + "\\" + entry.name, false));
      }
    }
    project = std::make_unique<Project>(dir, GetParam(), folder, type);
  }
  void TearDown() override {
    project.reset();
    Application->OnMessageBox = nullptr;
    NetDownloadAborted = false;
    InstallRecordKey.clear();
    tvktest::RemoveRegTree(os::kLocalMachine, kRecords);
    os::RegDeleteKey(os::kLocalMachine, "SOFTWARE\\Tavelock");
    tvktest::RemoveRegTree(os::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TvkTestWeb");
    if (!mirror.empty()) tvktest::RemoveTree(mirror);
  }
};

TEST_P(WebDistribution, InstallsFromTheServerAndForgetsTheCopyAtTheEnd) {
  EXPECT_TRUE(os::FileExists(mirror + "\\filelist.lst"));
  EXPECT_TRUE(os::FileExists(mirror + "\\WebInstall.1"));
  // While the run lasts, the downloaded copy is recorded for a later run.
  std::string recorded;
  project->file->OnAfterInstall = [&](TObject*) {
    recorded = ReadRegString(rrLocalMachine, InstallRecordKey + "\\WebInstall", "LocalFile", "");
  };
  project->install->Install();
  EXPECT_TRUE(shown.empty()) << shown.front();
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), words);
  ASSERT_FALSE(recorded.empty());
  EXPECT_FALSE(os::FileExists(recorded));  // removed with the install record
  EXPECT_EQ(project->file->Size(), int(words.size()));  // from the remote file list
}

TEST_P(WebDistribution, AbortDuringTheDownloadEndsTheRunAsTheUsers) {
  project->install->OnDownloadStatus = [](TObject*, const std::string& name, int, int, int, const void*) {
    if (name == "WebInstall.1") NetDownloadAborted = true;
  };
  try {
    project->install->Install();
    ADD_FAILURE() << "the run went on";
  } catch (const EAIUserAbort& e) {
    project->install->HandleException(project->install, e);  // as the application hands it over
  }
  EXPECT_TRUE(shown.empty()) << shown.front();  // a user's abort shows nothing
  EXPECT_FALSE(os::RegKey::Open(os::kLocalMachine, kRecords, os::RegAccess::Read).IsValid());
  EXPECT_FALSE(os::FileExists(dir / "dest\\American.dct"));
  EXPECT_TRUE(project->install->LocalFile().empty());
}

// A run that fails after its download keeps its record, and the next run installs from the copy it
// recorded, even with the server's copy of the archive gone.
TEST_P(WebDistribution, ALaterRunReusesTheRecordedCopy) {
  project->install->OnBeforeNotifyGoodInstall = [](TObject*) { throw IEInstall("stopped after the download"); };
  try {
    project->install->Install();
  } catch (const IEInstall& e) {
    project->install->HandleException(project->install, e);
  }
  ASSERT_EQ(shown, std::vector<std::string>{"stopped after the download."});
  const std::string recorded = ReadRegString(rrLocalMachine, InstallRecordKey + "\\WebInstall", "LocalFile", "");
  ASSERT_TRUE(os::FileExists(recorded));

  os::DeleteFile(mirror + "\\WebInstall.1");
  os::DeleteFile(dir / "dest\\American.dct");
  project.reset();  // the next run is another process
  project = std::make_unique<Project>(dir, GetParam(), folder, dtWeb);
  project->install->Install();
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), words);
  EXPECT_FALSE(os::FileExists(recorded));  // gone with the record at the end of the good run
}

// A download that fails while the dictionary is being replaced leaves the old one as it was.
TEST_P(WebDistribution, AFailedDownloadKeepsTheOldFile) {
  struct Row {
    const char* why;
    std::string directory;  // the location's folder on the server
    bool archiveGone;
  };
  std::vector<Row> rows = {{"the archive missing on the server", "\\" + folder, true}};
  if (GetParam() == ipHTTP) rows.push_back({"a body shorter than announced", "\\short\\" + folder, false});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    BuildAndServe(dtWeb);
    if (row.archiveGone) os::DeleteFile(mirror + "\\WebInstall.1");
    project->location->LoginInformation().Directory = row.directory;
    CreateDirectoryPath(dir / "dest");
    tvktest::WriteFile(dir / "dest\\American.dct", "old words");
    try {
      project->install->Install();
      ADD_FAILURE() << "the run went on";
    } catch (const Exception& e) {
      project->install->HandleException(project->install, e);
    }
    EXPECT_EQ(shown.size(), 1u);
    shown.clear();
    EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), "old words");
    EXPECT_EQ(os::FindFiles(dir / "dest\\*").size(), 1u);
  }
}

// A hybrid distribution: the plain file from the local files.1, the net file from the server.
TEST_P(WebDistribution, HybridTakesNetFilesFromTheServerAndTheRestFromFiles1) {
  BuildAndServe(dtTraditionalNet);
  EXPECT_TRUE(os::FileExists(dir / "build\\files.1"));
  project->install->Install();
  EXPECT_TRUE(shown.empty()) << shown.front();
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), words);
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\Extra.txt"), extraText);
}

INSTANTIATE_TEST_SUITE_P(Protocols, WebDistribution, ::testing::Values(ipHTTP, ipFTP),
                         [](const auto& info) { return std::string(info.param == ipFTP ? "Ftp" : "Http"); });

}  // namespace
