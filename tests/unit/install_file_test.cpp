// The install of one file from a built archive: overwrite decisions, the steps after writing, the
// uninstall lists and the deferral of registrations.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "install/routines_Removal.h"
#include "archive_test_data.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "support/install_fixture.h"
#include "support/test_support.h"

namespace {

constexpr char kSharedDLLs[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Codes that arrive at the install component from its files.
class Recording : public TInstall {
 public:
  using TInstall::TInstall;
  std::vector<int> codes;
  void DoInformationEventControl(TObject* sender, int code, TObject* po) override {
    codes.push_back(code);
    TInstall::DoInformationEventControl(sender, code, po);
  }
};

class InstallFiles : public tvktest::InstallFixture<Recording> {
 protected:
  void TearDown() override {
    InstallFixture::TearDown();
    os::RegKey shared = os::RegKey::Open(os::kLocalMachine, kSharedDLLs, os::RegAccess::All);
    if (shared)
      for (const std::string& name : shared.ValueNames().value_or(std::vector<std::string>{}))
        if (name.find(dir.Path()) != std::string::npos) shared.DeleteValue(name);
  }
  TInstallFile* Add(const std::string& name, const std::string& contents) {
    tvktest::WriteFile(dir / name, contents);
    return AddSource(dir / name);
  }
  std::string Uninstall(const std::string& list, const std::string& value) {
    return ReadRegString(rrLocalMachine, "\\" + UninstallKey() + "\\" + list, value, "<none>");
  }
};

TEST_F(InstallFiles, OverwriteDecisions) {
  Add("always.txt", "new always");
  TInstallFile* never = Add("never.txt", "new never");
  TInstallFile* date = Add("date.txt", "new date");
  TInstallFile* fresh = Add("fresh.txt", "new fresh");
  never->SetOverwriteMode(owNever);
  date->SetOverwriteMode(owDate);
  fresh->SetOverwriteMode(owNever);
  date->SetUpdateDLLCounter(true);
  Build();

  os::CreateDirectory(dir / "dest");
  tvktest::WriteFile(Dest("always.txt"), "old");
  tvktest::WriteFile(Dest("never.txt"), "old");
  tvktest::WriteFile(Dest("date.txt"), "old");
  {  // the same date as the source: a tie keeps the old file
    os::File f = os::File::Open(Dest("date.txt"), os::Access::Write, os::Share::DenyNone, os::Disposition::OpenExisting);
    f.SetLastWriteTime(*os::FileAge(dir / "date.txt"));
  }
  InstallObjects();

  EXPECT_EQ(tvktest::ReadFile(Dest("always.txt")), "new always");
  EXPECT_EQ(tvktest::ReadFile(Dest("never.txt")), "old");
  EXPECT_EQ(tvktest::ReadFile(Dest("date.txt")), "old");
  EXPECT_EQ(tvktest::ReadFile(Dest("fresh.txt")), "new fresh");  // a missing destination is installed
  EXPECT_FALSE(never->Replace());
  EXPECT_TRUE(date->Installed());
  // Not written, yet the steps after writing ran: the count rose.
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + std::string(kSharedDLLs), Dest("date.txt"), 0), 1);
  int notWritten = 0;
  for (int code : install->codes) notWritten += code == ecFileNotWritten;
  EXPECT_EQ(notWritten, 2);
  EXPECT_EQ(Uninstall("Files", "Entries"), "4");
  EXPECT_EQ(Uninstall("Files", "File1"), Dest("always.txt"));
}

TEST_F(InstallFiles, AbortBeforeInstallSkipsOnlyThatFile) {
  TInstallFile* skipped = Add("skipped.txt", "a");
  Add("next.txt", "b");
  Build();
  skipped->OnBeforeInstall = [](TCustomInstallFile*) { Abort(); };
  InstallObjects();
  EXPECT_FALSE(os::FileExists(Dest("skipped.txt")));
  EXPECT_EQ(tvktest::ReadFile(Dest("next.txt")), "b");
  EXPECT_TRUE(skipped->Installed());
  EXPECT_NE(std::find(install->codes.begin(), install->codes.end(), ecInstallCancelled), install->codes.end());
  EXPECT_EQ(Uninstall("Files", "Entries"), "2");  // the skipped file is recorded as well
}

TEST_F(InstallFiles, UninstallListsAndHelp) {
  TInstallFile* help = Add("guide.hlp", "help");
  TInstallFile* plain = Add("plain.txt", "plain");
  ASSERT_TRUE(help->RegisterAsHelp());
  Build();
  // A list whose count is not a number is passed over for the next one.
  WriteRegString(rrLocalMachine, "\\" + UninstallKey() + "\\Files", "Entries", "many");
  InstallObjects();
  EXPECT_EQ(Uninstall("Files1", "File1"), Dest("guide.hlp"));
  EXPECT_EQ(Uninstall("Files1", "File2"), Dest("plain.txt"));
  EXPECT_EQ(Uninstall("Files1", "Entries"), "2");
  EXPECT_EQ(ReadRegString(rrLocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\Help", "GUIDE.HLP", ""), dir / "dest");
  os::RegKey helpKey = os::RegKey::Open(os::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\Help", os::RegAccess::All);
  helpKey.DeleteValue("GUIDE.HLP");
  (void)plain;
}

TEST_F(InstallFiles, SharedCountsAndDeferredRegistration) {
  TInstallFile* control = Add("control.ocx", "not really a control");
  ASSERT_TRUE(control->ActiveX());
  ASSERT_TRUE(control->UpdateDLLCounter());
  control->SetFileType(iftNormal);  // a system-wide file would be held in the system directory
  control->SetDestDirType(nullptr);
  control->SetDestDir(dir / "dest");
  Build();
  os::RegKey shared = os::RegKey::Create(os::kLocalMachine, kSharedDLLs);
  const std::int32_t three = 3;
  shared.Set(Dest("control.ocx"), os::RegType::DWord, &three, sizeof three);

  // During a run a failed registration waits for the retry at the end of the run.
  RaiseRegistrationErrors = false;
  InstallObjects();
  RaiseRegistrationErrors = true;
  EXPECT_EQ(DeferredRegistrations().IndexOf(control), 0);
  DeferredRegistrations().Remove(control);
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + std::string(kSharedDLLs), Dest("control.ocx"), 0), 4);
  EXPECT_EQ(Uninstall("ActiveX", "File1"), Dest("control.ocx") + ";0");

  // Outside a run the registration error stops the install.
  EXPECT_THROW(control->RegisterActiveX(), IECustomInstallFile);

  // A count that is not a number is left alone and the install stops.
  shared.Set(Dest("control.ocx"), os::RegType::String, "x", 2);
  EXPECT_FALSE(control->IncrementDLLCount());
  try {
    InstallObjects();
    FAIL();
  } catch (const IECustomInstallFile& e) {
    EXPECT_EQ(e.Message(), "Cannot update the DLL count for the following file :control.ocx:");
  }
}

TEST_F(InstallFiles, SharedCountUnderTheShortNameFirst) {
  TInstallFile* file = Add("library file.dll", "code");
  file->SetFileType(iftNormal);
  file->SetUpdateDLLCounter(true);
  file->SetDestDirType(nullptr);
  file->SetDestDir(dir / "dest folder");
  os::CreateDirectory(dir / "dest folder");
  tvktest::WriteFile(dir / "dest folder\\library file.dll", "old");
  const std::string longName = dir / "dest folder\\library file.dll";
  const std::string shortName = ShortPathName(longName);
  os::RegKey shared = os::RegKey::Create(os::kLocalMachine, kSharedDLLs);
  const std::int32_t five = 5;
  shared.Set(shortName, os::RegType::DWord, &five, sizeof five);
  ASSERT_TRUE(file->IncrementDLLCount());
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + std::string(kSharedDLLs), shortName, 0), 6);
  if (shortName != longName) {
    EXPECT_FALSE(shared.Query(longName).has_value());
  }
  shared.DeleteValue(shortName);
}

TEST_F(InstallFiles, CopyWithoutArchives) {
  Add("one.txt", std::string(8192 * 3, 'c'));
  TInstallFile* skipped = Add("two.txt", "two");
  skipped->OnBeforeCopy = [](TCustomInstallFile*) { Abort(); };
  std::vector<int> done;
  install->OnStatus = [&](TCustomInstallFile*, int, int total) { done.push_back(total); };
  install->CopyFiles();
  EXPECT_EQ(tvktest::ReadFile(Dest("one.txt")), std::string(8192 * 3, 'c'));
  EXPECT_FALSE(os::FileExists(Dest("two.txt")));
  EXPECT_EQ(install->Operation(), opNone);
  ASSERT_FALSE(done.empty());
  EXPECT_LE(done.back(), 100);
}

// Whatever stops the replacement of a file, the old one stays as it was and nothing is left beside it.
TEST_F(InstallFiles, AFailedReplacementKeepsTheOldFile) {
  struct Row {
    const char* why;
    std::function<void(TInstallFile*)> fault;
  };
  const std::string words = archivetest::SampleBytes(200000);
  const Row rows[] = {
      {"corrupt entry data",
       [&](TInstallFile*) {
         std::string archive = tvktest::ReadFile(dir / "dist\\files.1");
         for (std::size_t i = archive.size() / 2; i < archive.size() / 2 + 64; ++i) archive[i] = 0;
         tvktest::WriteFile(dir / "dist\\files.1", archive);
       }},
      {"the user's abort from a progress handler",
       [](TInstallFile* file) { file->OnStatus = [](TCustomInstallFile*, int, int) { Abort(); }; }},
      {"the archive gone", [&](TInstallFile*) { os::DeleteFile(dir / "dist\\files.1"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TInstallFile* file = Add("American.dct", words);
    Build();
    os::CreateDirectory(dir / "dest");
    tvktest::WriteFile(Dest("American.dct"), "old words");
    row.fault(file);
    EXPECT_ANY_THROW(InstallObjects());
    EXPECT_TRUE(tvktest::ReadFile(Dest("American.dct")) == "old words");
    EXPECT_EQ(os::FindFiles(Dest("*")).size(), 1u) << "nothing beside the old file";
    EXPECT_FALSE(file->WasInUse());
    delete file;
  }
}

#ifndef _WIN32
// Natively there is no restart to move files at, so a file in use always takes the batch-file way.
TEST_F(InstallFiles, FileInUseFallsBackToABatchFile) {
  tvktest::ScratchKey record(os::kLocalMachine);
  InstallRecordKey = record.Path();
  TInstallFile* file = Add("American.dct", "new words");
  Build();
  os::CreateDirectory(dir / "dest");
  tvktest::WriteFile(Dest("American.dct"), "old words");
  os::RegKey runOnce = os::RegKey::Create(os::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  runOnce.Set("TavelockBatFile", os::RegType::String, "taken", 6);
  {
    os::File held = os::File::Open(Dest("American.dct"), os::Access::Read, os::Share::DenyWrite,
                                   os::Disposition::OpenExisting);
    InstallObjects();
  }
  InstallRecordKey.clear();
  EXPECT_TRUE(file->WasInUse());
  EXPECT_TRUE(install->Reboot());
  EXPECT_EQ(tvktest::ReadFile(Dest("American.1")), "new words");
  EXPECT_EQ(tvktest::ReadFile(Dest("American.dct")), "old words");

  auto value = runOnce.Query("TavelockBatFile1");
  ASSERT_TRUE(value);
  const std::string quoted = value->data.c_str();
  ASSERT_GT(quoted.size(), 2u);
  const std::string bat = quoted.substr(1, quoted.size() - 2);
  EXPECT_EQ(quoted, "\"" + bat + "\"");
  EXPECT_EQ(tvktest::ReadFile(bat), "erase \"" + Dest("American.dct") + "\"\r\nmove \"" + Dest("American.1") + "\" \"" +
                                        Dest("American.dct") + "\"\r\n");
  EXPECT_EQ(ReadRegString(rrLocalMachine, record.Path() + "\\Unfinished", bat, ""), "1");
  EXPECT_EQ(ReadRegString(rrLocalMachine, record.Path() + "\\Unfinished", "American", ""), "0");
  runOnce.DeleteValue("TavelockBatFile");
  runOnce.DeleteValue("TavelockBatFile1");
  os::DeleteFile(bat);
}
#endif

}  // namespace

// ---- The uninstall: the reverse of what the install recorded

TEST_F(InstallFiles, UninstallReversesWhatTheInstallDid) {
  os::CreateDirectory(dir / "dest");
  tvktest::WriteFile(Dest("kept.txt"), "old");
  TInstallFile* deep = Add("deep.txt", "new deep");
  deep->SetDestDirType(nullptr);
  deep->SetDestDir(dir / "dest\\made\\deeper");
  Add("kept.txt", "new kept")->SetOverwriteMode(owNever);
  Add("guide.hlp", "help");
  Build();
  install->Information().SetVersion("2.5");
  install->Information().SetCompanyName("Brindlecote");
  InstallObjects();
  install->RegisterProduct();
  EXPECT_EQ(Uninstall("", "DisplayName"), product);
  EXPECT_EQ(Uninstall("", "DisplayVersion"), "2.5");
  EXPECT_EQ(Uninstall("", "Publisher"), "Brindlecote");
  // Not started by the loading program: the program names itself as the uninstaller.
  EXPECT_EQ(Uninstall("", "UninstallString"), "\"" + os::ModuleFileName() + "\" -u");
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + UninstallKey(), "NoModify", 0), 1);
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, "\\" + UninstallKey(), "EstimatedSize", 0), 1);  // 20 bytes, in whole KB

  EXPECT_FALSE(install->Uninstall("\\" + UninstallKey()));
  EXPECT_FALSE(os::FileExists(dir / "dest\\made\\deeper\\deep.txt"));
  EXPECT_FALSE(os::DirectoryExists(dir / "dest\\made"));  // the folders the install made
  EXPECT_TRUE(os::DirectoryExists(dir / "dest"));         // but not the one that was there
  EXPECT_EQ(tvktest::ReadFile(Dest("kept.txt")), "old");  // the install did not write it
  EXPECT_FALSE(os::FileExists(Dest("guide.hlp")));
  EXPECT_EQ(ReadRegString(rrLocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\Help", "GUIDE.HLP", "<none>"), "<none>");
  EXPECT_FALSE(os::RegKey::Open(os::kLocalMachine, UninstallKey(), os::RegAccess::Read).IsValid());
}

TEST_F(InstallFiles, ASharedFileGoesWithItsLastUser) {
  const struct {
    const char* why;
    std::optional<std::int32_t> countBefore;  // another product's count; none: no value
    bool asText;                              // the count became something else since the install
    bool removed;
  } cases[] = {
      {"only this product", std::nullopt, false, true},
      {"another product too", 1, false, false},
      {"a count that is no number", std::nullopt, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TInstallFile* dll = Add("shared.dll", "code");
    dll->SetUpdateDLLCounter(true);
    Build();
    const std::string path = Dest("shared.dll");
    if (c.countBefore) WriteRegInteger(rrLocalMachine, std::string("\\") + kSharedDLLs, path, *c.countBefore);
    InstallObjects();
    if (c.asText) WriteRegString(rrLocalMachine, std::string("\\") + kSharedDLLs, path, "many");
    EXPECT_FALSE(install->Uninstall("\\" + UninstallKey()));
    EXPECT_EQ(os::FileExists(path), !c.removed);
    // The other product's count, or the value that is no count, stays as it was; the last count goes.
    const std::string key = std::string("\\") + kSharedDLLs;
    EXPECT_EQ(ReadRegInteger(rrLocalMachine, key, path, -1), c.countBefore.value_or(-1));
    EXPECT_EQ(ReadRegString(rrLocalMachine, key, path, "<none>"), c.asText ? "many" : "<none>");
    delete dll;
    os::DeleteFile(path);
    os::RegKey::Open(os::kLocalMachine, kSharedDLLs, os::RegAccess::All).DeleteValue(path);
  }
}

// A folder this product made for a library that another product installed there too stays while that
// product counts on the library, and goes with that product's uninstall.
TEST_F(InstallFiles, AFolderOfASharedLibraryGoesWithItsLastUser) {
  os::CreateDirectory(dir / "dest");
  TInstallFile* dll = Add("shared.dll", "code");
  dll->SetDestDirType(nullptr);
  dll->SetDestDir(dir / "dest\\common");
  dll->SetUpdateDLLCounter(true);
  Build();
  InstallObjects();
  const std::string path = dir / "dest\\common\\shared.dll";
  const std::string other = "\\" + UninstallKey() + "Other";
  WriteRegInteger(rrLocalMachine, std::string("\\") + kSharedDLLs, path, 2);
  WriteRegString(rrLocalMachine, other + removal::kFiles, path, "WS");

  EXPECT_FALSE(install->Uninstall("\\" + UninstallKey()));
  EXPECT_TRUE(os::FileExists(path));
  EXPECT_EQ(ReadRegString(rrLocalMachine, other + removal::kFolders, dir / "dest\\common", "<none>"), "");
  EXPECT_FALSE(install->Uninstall(other));
  EXPECT_FALSE(os::DirectoryExists(dir / "dest\\common"));
  EXPECT_TRUE(os::DirectoryExists(dir / "dest"));
}

TEST_F(InstallFiles, UninstallModeAsksFirstAndSaysWhenThereIsNothingToDo) {
  Add("plain.txt", "plain");
  Build();
  InstallObjects();
  Application->SetExitCode(0);
  answer = IDNO;
  install->ParseCommandLine({"-u"});
  install->RunUninstallMode();
  EXPECT_EQ(Application->ExitCode(), kExitCancelled);
  EXPECT_TRUE(os::FileExists(Dest("plain.txt")));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Do you want to remove " + product + " and all of its components?");

  // Quiet: no question; then a second uninstall finds nothing.
  Application->SetExitCode(0);
  shown.clear();
  install->ParseCommandLine({"-u", "-q"});
  install->RunUninstallMode();
  EXPECT_EQ(Application->ExitCode(), kExitSuccess);
  EXPECT_FALSE(os::FileExists(Dest("plain.txt")));
  EXPECT_EQ(shown, std::vector<std::string>{product + " was removed."});
  shown.clear();
  install->RunUninstallMode();
  EXPECT_EQ(shown, std::vector<std::string>{product + " is not installed: there is nothing to remove."});
  EXPECT_EQ(Application->ExitCode(), kExitSuccess);
}

// An install run again adds to the record of the first: the file it kept this time was still written by
// this product, and both raised counts are given back.
TEST_F(InstallFiles, UninstallAfterAReinstallReversesBoth) {
  TInstallFile* dll = Add("shared.dll", "code");
  dll->SetUpdateDLLCounter(true);
  Build();
  InstallObjects();
  dll->SetOverwriteMode(owNever);
  InstallObjects();
  const std::string key = std::string("\\") + kSharedDLLs;
  ASSERT_EQ(ReadRegInteger(rrLocalMachine, key, Dest("shared.dll"), 0), 2);
  EXPECT_FALSE(install->Uninstall("\\" + UninstallKey()));
  EXPECT_FALSE(os::FileExists(Dest("shared.dll")));
  EXPECT_EQ(ReadRegInteger(rrLocalMachine, key, Dest("shared.dll"), -1), -1);
}
