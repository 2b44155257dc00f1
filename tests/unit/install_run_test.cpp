// The installation run and its install record: finding the record again, the Unfinished list, the
// RunOnce entry, the continuation after a restart and the endings of a run.
#include <gtest/gtest.h>

#include <cmath>

#include "classlib/Forms.h"
#include "classlib/Registry.h"
#include "install/cmp_TInstall.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/install_fixture.h"
#include "support/test_support.h"

namespace {

constexpr char kRecords[] = "SOFTWARE\\Tavelock\\Install";
constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class InstallRun : public tvktest::InstallFixture<> {
 protected:
  void SetUp() override {
    InstallFixture::SetUp();
    tvktest::RemoveRegTree(os::kLocalMachine, kRecords);
    install->ParseCommandLine({"-s" + dir.Path()});
    install->SetArchiveFile(dir / "files.1");
    install->SetRunAutomatic(false);
  }
  void TearDown() override {
    InstallRecordKey.clear();
    tvktest::RemoveRegTree(os::kLocalMachine, kRecords);
    os::RegDeleteKey(os::kLocalMachine, "SOFTWARE\\Tavelock");
    os::RegKey runOnce = os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::All);
    for (const char* name : {"TavelockUnfinished", "TavelockUnfinished1"}) runOnce.DeleteValue(name);
    InstallFixture::TearDown();
  }
  void Build(const std::string& contents) {
    tvktest::WriteFile(dir / "American.dct", contents);
    AddSource(dir / "American.dct");
    InstallFixture::Build();
  }
  static bool KeyExists(const std::string& path) {
    return os::RegKey::Open(os::kLocalMachine, path, os::RegAccess::Read).IsValid();
  }
};

TEST_F(InstallRun, RecordsAreFoundByTheProgramsDateAndSize) {
  os::RegKey::Create(os::kLocalMachine, std::string(kRecords) + "\\Install0");
  os::RegKey::Create(os::kLocalMachine, std::string(kRecords) + "\\INSTALL2");
  const std::string key = install->OpenInstallRecord(true);
  EXPECT_EQ(key, "\\SOFTWARE\\Tavelock\\Install\\Install1");
  EXPECT_EQ(install->OpenInstallRecord(false), key);  // the same program file matches again

  // A record whose date is off by 1e-6 days is another program's.
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  ASSERT_TRUE(registry.OpenKey(key, false));
  registry.WriteDateTime("CreationDate", registry.ReadDateTime("CreationDate") + 1e-6);
  registry.CloseKey();
  EXPECT_EQ(install->OpenInstallRecord(false), "");
  EXPECT_EQ(install->OpenInstallRecord(true), "\\SOFTWARE\\Tavelock\\Install\\Install3");

  // Without Path a record is passed over even when date and size match.
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Tavelock\\Install\\Install3", false));
  registry.DeleteValue("Path");
  registry.CloseKey();
  EXPECT_EQ(install->OpenInstallRecord(false), "");
}

TEST_F(InstallRun, RemovingTheLastRecordRemovesItsParents) {
  InstallRecordKey = install->OpenInstallRecord(true);
  tvktest::WriteFile(dir / "downloaded.1", "x");
  WriteRegString(rrLocalMachine, InstallRecordKey + "\\Files", "LocalFile", dir / "downloaded.1");
  install->AddUnfinished("American", 0);
  install->RemoveInstallRecord();
  EXPECT_FALSE(os::FileExists(dir / "downloaded.1"));
  EXPECT_FALSE(KeyExists(kRecords));
  EXPECT_FALSE(KeyExists("SOFTWARE\\Tavelock"));
}

TEST_F(InstallRun, UnfinishedListAndRunOnce) {
  EXPECT_THROW(install->AddUnfinished("x", 0), IEInstall);  // no record yet
  InstallRecordKey = install->OpenInstallRecord(true);
  install->AddUnfinished("American", 0);
  install->AddUnfinished(dir / "swap.bat", 1);
  TStringList entries;
  install->ReadUnfinishedList(entries);
  EXPECT_EQ(entries.Text(), "American;0\r\n" + (dir / "swap.bat") + ";1\r\n");

  install->ParseCommandLine({"-s" + dir.Path(), "-c"});
  install->RegisterRunOnce();
  install->RegisterRunOnce();  // the same continuation again: nothing new
  os::RegKey runOnce = os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::Read);
  auto first = runOnce.Query("TavelockUnfinished");
  ASSERT_TRUE(first);
  EXPECT_FALSE(runOnce.Query("TavelockUnfinished1").has_value());
  install->ParseCommandLine({"-s" + dir.Path()});
  install->RegisterRunOnce();  // another one in the same boot cycle gets a number
  EXPECT_TRUE(runOnce.Query("TavelockUnfinished1").has_value());
  // The program path and each switch argument are quoted apart.
  const std::string expected =
      "\"" + os::ModuleFileName() + "\" -r \"-s" + WithoutTrailingBackslash(dir.Path()) + "\" -c";
  EXPECT_EQ(std::string(first->data.c_str()), expected);
}

TEST_F(InstallRun, ContinuationAfterRestart) {
  InstallRecordKey = install->OpenInstallRecord(true);
  tvktest::WriteFile(dir / "swap.bat", "x");
  tvktest::WriteFile(dir / "a;b.bat", "x");
  install->AddUnfinished(dir / "swap.bat", 1);
  install->AddUnfinished(dir / "a;b.bat", 1);  // the kind follows the last ";"
  install->ContinueAfterReboot();
  EXPECT_FALSE(os::FileExists(dir / "swap.bat"));
  EXPECT_FALSE(os::FileExists(dir / "a;b.bat"));
  EXPECT_FALSE(KeyExists(kRecords));  // ended like a normal run

  InstallRecordKey = install->OpenInstallRecord(true);
  WriteRegString(rrLocalMachine, InstallRecordKey + "\\Unfinished", "American", "zero");
  try {
    install->ContinueAfterReboot();
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_EQ(e.Message(), "There is an invalid entry for the unfinished install list American;zero");
  }
}

TEST_F(InstallRun, NormalRunRemovesItsRecord) {
  Build("words");
  std::vector<std::string> events;
  install->OnAfterInitialized = [&](TObject*) { events.push_back("initialized"); };
  install->OnAfterNotifyGoodInstall = [&](TObject*) { events.push_back("good"); };
  install->Install();
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), "words");
  EXPECT_EQ(events, (std::vector<std::string>{"initialized", "good"}));
  EXPECT_FALSE(KeyExists(kRecords));
  EXPECT_FALSE(install->Installing());
}

TEST_F(InstallRun, FailedRegistrationIsRetriedOnceAtTheEnd) {
  Build("words");
  auto* file = install->Comp<TCustomInstallFile>(0);
  file->SetActiveX(true);  // a plain text file: its registration fails
  file->SetFileType(iftNormal);
  file->SetUpdateDLLCounter(false);
  file->SetDestDirType(nullptr);
  file->SetDestDir(dir / "dest");
  int tries = 0;
  file->OnAfterInstall = [&](TCustomInstallFile*) { ++tries; };
  try {
    install->Install();
    FAIL() << "the retry must end the run";
  } catch (const IECustomInstallFile& e) {
    EXPECT_NE(e.Message().find("Could not register the ActiveX component"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(tries, 1);  // installed once; the registration was deferred, then retried
  EXPECT_EQ(DeferredRegistrations().IndexOf(file), 0);
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), "words");
  RaiseRegistrationErrors = true;
  DeferredRegistrations().Remove(file);
}

TEST_F(InstallRun, CancelledRebootKeepsRecordAndRunOnce) {
  Build("words");
  install->SetReboot(true);
  bool good = false;
  install->OnBeforeReboot = [](TCustomInstall*, bool& go) { go = false; };
  install->OnAfterNotifyGoodInstall = [&](TObject*) { good = true; };
  install->Install();
  EXPECT_FALSE(good);
  EXPECT_TRUE(KeyExists(InstallRecordKey.substr(1)));
  EXPECT_TRUE(os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::Read).Query("TavelockUnfinished"));
}

TEST_F(InstallRun, FailuresEndTheRun) {
  Build("words");
  // A user abort removes the record; any other failure keeps it.
  install->OnAfterInitialized = [](TObject*) { throw EAIUserAbort(); };
  try {
    install->Install();
  } catch (const EAIUserAbort& e) {
    install->HandleException(install, e);
  }
  EXPECT_FALSE(KeyExists(kRecords));
  EXPECT_FALSE(install->Installing());
  EXPECT_TRUE(shown.empty());  // an abort is not shown

  install->OnAfterInitialized = [](TObject*) { throw IEInstall("broken"); };
  bool bad = false;
  install->OnAfterNotifyBadInstall = [&](TObject*) { bad = true; };
  try {
    install->Install();
  } catch (const IEInstall& e) {
    install->HandleException(install, e);
  }
  EXPECT_TRUE(bad);
  EXPECT_EQ(shown, std::vector<std::string>{"broken."});  // shown the standard way
  EXPECT_TRUE(KeyExists(kRecords));

  // Without -s the run refuses to start.
  install->ParseCommandLine({});
  EXPECT_THROW(install->Install(), IEInstall);
}

// The progress window's Cancel: the extraction under way ends as the user's abort, unless OnUserAbort
// refuses.
TEST_F(InstallRun, UserAbortEndsTheExtractionAsTheUsersAbort) {
  std::string words;
  for (int i = 0; words.size() < 1000000; ++i) words += "word" + std::to_string(i * 7919 % 100003) + "\r\n";
  Build(words);
  int reports = 0;
  install->OnStatus = [&](TCustomInstallFile*, int, int) {
    if (++reports == 1) {
      EXPECT_TRUE(install->UserAbort());
    }
  };
  try {
    install->Install();
    FAIL() << "the run must end as aborted";
  } catch (const EAIUserAbort& e) {
    EXPECT_EQ(ExitCodeOf(e), kExitCancelled);
  }
  EXPECT_TRUE(install->UserAbortRequested());
  EXPECT_FALSE(os::FileExists(dir / "dest\\American.dct"));

  install->OnUserAbort = [](TCustomInstall*, bool& quit) { quit = false; };
  install->OnStatus = [&](TCustomInstallFile*, int, int) { EXPECT_FALSE(install->UserAbort()); };
  install->Install();
  EXPECT_FALSE(install->UserAbortRequested());
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), words);
}

}  // namespace
