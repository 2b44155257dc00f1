// The install object model: the container tree, install types, the settings rules of install files,
// the upward event path, and a build that writes an archive another container reads back.
#include <gtest/gtest.h>

#include <cstring>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "support/routines_Strings.h"
#include "support/install_fixture.h"
#include "support/test_support.h"

namespace {

// An object of a chosen registered type, and a class whose name puts it first.
class Typed : public TInstallObject {
 public:
  Typed(TComponent* owner, int type, const std::string& name) : TInstallObject(owner), type_(type) { SetName(name); }
  int RegisteredType() const override { return type_; }
  std::vector<int> codes;
  void HelperNotify(TObject*, int code, TObject*) override { codes.push_back(code); }

 private:
  int type_;
};

class TInstallBDE : public Typed {
 public:
  using Typed::Typed;
  std::string ClassName() const override { return "TInstallBDE"; }
};

// Containers whose operation a test can start, to drive the upward path by hand.
template <class Base>
class Operating : public Base {
 public:
  using Base::Base;
  void Start(int total, int done) {
    this->operation_ = opInstall;
    this->totalSize_ = total;
    this->doneSize_ = done;
  }
};

class InstallTree : public tvktest::InstallFixture<Operating<TInstall>> {
 protected:
  void SetUp() override {
    InstallFixture::SetUp();
    install->SetName("Install1");
  }

  TInstallFile* File(const std::string& name, TInstallContainer* container, const std::string& source = "") {
    auto* file = new TInstallFile(&form);
    file->SetName(name);
    file->SetIncludeFromDir(source.empty() ? "C:\\Src" : ExtractFileDir(source));
    file->SetFileName(source.empty() ? name + ".txt" : ExtractFileName(source));
    file->SetContainer(container);
    return file;
  }
  static std::string Names(const TInstallContainer& c) {
    std::string names;
    for (int i = 0; i < c.ChildCount(); ++i)
      names += c.Child(i)->Name() + ":" + std::to_string(c.Child(i)->Order()) + " ";
    return names;
  }
};

TEST_F(InstallTree, ChildrenOrderedByTypeThenOrder) {
  TInstallFile* a = File("A", install);
  TInstallFile* b = File("B", install);
  EXPECT_EQ(Names(*install), "A:0 B:1 ");
  auto* group = new TFileContainer(&form);
  group->SetName("Group");
  group->SetContainer(install);
  EXPECT_EQ(Names(*install), "Group:0 A:0 B:1 ");  // groups are numbered separately
  b->SetOrder(0);  // an equal Order: the newcomer goes first
  EXPECT_EQ(Names(*install), "Group:0 B:0 A:1 ");
  auto* helper = new Typed(&form, kHelperType, "Helper");
  helper->SetContainer(install);
  auto* bde = new TInstallBDE(&form, kHelperType, "Bde");
  bde->SetContainer(install);
  EXPECT_EQ(Names(*install), "Bde:0 Group:0 B:0 A:1 Helper:0 ");
  EXPECT_EQ(install->Comp<TCustomInstallFile>(1), a);
  EXPECT_EQ(install->CountOf<TFileContainer>(), 1);

  Typed loose(nullptr, kHelperType, "Loose");
  loose.SetOrder(5);  // without a container the value is not taken
  EXPECT_EQ(loose.Order(), -1);

  delete a;  // leaves its container
  EXPECT_EQ(Names(*install), "Bde:0 Group:0 B:0 Helper:0 ");
}

TEST_F(InstallTree, ErrorsOfTheTree) {
  auto* group = new TFileContainer(&form);
  group->SetName("Group");
  group->SetContainer(install);
  const struct {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[&] { install->AddHelper(nullptr); }, "Cannot add a blank base helper component to Install1"},
      {[&] { group->AddHelper(group); }, "Circular reference"},
      {[&] { install->SetContainer(group); }, "Circular reference"},
      {[&] { install->Child(1); },
       "Tried to reference a helper component in the following component: Install1. The following index was used: 1"},
      {[&] { install->Comp<TCustomInstallFile>(0); },
       "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer component. The "
       "parameters are probably reversed. Index: 0, ComponentType: 4"},
      {[&] { TInstallObject plain(nullptr); plain.RegisteredType(); }, "Class must declare a registered type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const IEInstallContainer& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(install->Container(), nullptr);
  EXPECT_THROW(AllContainers().Add(nullptr), IEContainerList);
  EXPECT_THROW(AllInstallFiles().Add(nullptr), IECustomInstallFileList);
  EXPECT_THROW(new TInstall(&form), IEInstall);  // only one per process
}

TEST_F(InstallTree, StoredValuesGoInWithoutChecks) {
  auto* file = new TInstallFile(&form);
  file->SetLoading();
  file->SetDestDirType(StandardPathSpecifiers().FindByClass<TpsContainerDestDir>());  // no container yet
  file->SetDestDir("\\Dict");
  file->Loaded();
  EXPECT_THROW(file->GetDestDir(), IEPathSpecifier);  // the failure shows only on expansion

  // A default the designer applied, but the stored form does not name, is withdrawn after loading.
  form.SetDesigning(true);
  auto* designed = new TInstallFile(&form);
  EXPECT_EQ(designed->Container(), install);
  EXPECT_NE(designed->DestDirType(), nullptr);
  designed->SetLoading();
  designed->SetContainer(install);  // stored: Container, but no DestDirType
  designed->Loaded();
  EXPECT_EQ(designed->Container(), install);
  EXPECT_EQ(designed->DestDirType(), nullptr);
  EXPECT_EQ(designed->ArchiveFileType(), nullptr);
  form.SetDesigning(false);
}

TEST_F(InstallTree, InstallTypes) {
  TInstallFile* file = File("F", install);
  const struct {
    TInstallTypeSet before, set, after;
  } rules[] = {
      {InstallTypes({itFull}), InstallTypes({itFull, itAlways}), InstallTypes({itAlways})},
      {InstallTypes({itAlways}), InstallTypes({itAlways, itCompact}), InstallTypes({itCompact})},
      {InstallTypes({itFull}), 0, InstallTypes({itAlways})},
      {InstallTypes({itAlways}), InstallTypes({itAlways}), InstallTypes({itAlways})},
  };
  for (const auto& r : rules) {
    file->SetInstallTypes(r.before);
    file->SetInstallTypes(r.set);
    EXPECT_EQ(file->GetInstallTypes(), r.after) << r.set;
  }
  EXPECT_EQ(InstallTypes({itAlways}), 8u);

  std::vector<std::string> events;
  file->OnBeforeOperation = [&](TInstallContainer*) { events.push_back("before"); };
  file->OnIncludedOperation = [&](TInstallContainer*) { events.push_back("included"); };
  file->OnAfterOperation = [&](TInstallContainer*) { events.push_back("after"); };
  file->SetInstallTypes(InstallTypes({itFull}));
  install->SetCurrentInstallType(itCompact);
  EXPECT_EQ(file->CurrentInstallType(), itCompact);
  EXPECT_FALSE(file->IsIncluded());
  file->Install();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "included"}));
  EXPECT_FALSE(file->Installed());

  events.clear();
  file->SetInclude(false);
  install->SetCurrentInstallType(itAlways);
  file->Install();
  EXPECT_EQ(events, (std::vector<std::string>{"before"}));
}

TEST_F(InstallTree, BroadcastsReachHelpers) {
  auto* helper = new Typed(&form, kHelperType, "Helper");
  helper->SetContainer(install);
  File("F", install);
  install->SetInclude(false);
  install->TFileContainer::Install();  // the objects alone, without the run
  install->BroadcastMessage("hello");
  install->BroadcastRefresh();
  EXPECT_EQ(helper->codes, (std::vector<int>{-990, -974, -973}));
}

TEST_F(InstallTree, SettingsRules) {
  TInstallFile* file = File("Control", install, "C:\\Src\\control.ocx");
  EXPECT_TRUE(file->ActiveX());
  EXPECT_EQ(file->FileType(), iftSystemWideDLL);
  EXPECT_TRUE(file->UpdateDLLCounter());
  EXPECT_EQ(file->OverwriteMode(), owVersionDate);
  EXPECT_NE(dynamic_cast<TpsSystem*>(file->DestDirType()), nullptr);
  EXPECT_EQ(file->DestDir(), "");
  EXPECT_EQ(file->DestName(), "control.ocx");

  TInstallFile* help = File("Help", install, "C:\\Src\\app.hlp");
  EXPECT_TRUE(help->RegisterAsHelp());
  help->SetFileName("app.txt");
  EXPECT_FALSE(help->RegisterAsHelp());
  EXPECT_EQ(help->DestName(), "app.txt");
  help->SetFileName("  ");
  EXPECT_EQ(help->DestName(), "app.txt");  // a blank name leaves the destination name

  TInstallFile* dll = File("Dll", install, "C:\\Src\\lib.dll");
  dll->SetDestDirType(StandardPathSpecifiers().FindByClass<TpsWindow>());
  EXPECT_EQ(dll->OverwriteMode(), owVersionDate);
  EXPECT_EQ(dll->FileType(), iftNormal);

  TInstallFile* app = File("AppDll", install, "C:\\Src\\mine.dll");
  app->SetFileType(iftApplicationSpecificDLL);
  EXPECT_EQ(app->DestDir(), "\\System");
  EXPECT_NE(dynamic_cast<TpsMainInstall*>(app->DestDirType()), nullptr);
  app->SetDestDir("\\Elsewhere");
  EXPECT_EQ(app->DestDir(), "\\System");  // forced again on every change

  try {
    File("Again", install, "c:\\SRC\\LIB.DLL");
    FAIL();
  } catch (const IEfcDuplicateFile& e) {
    EXPECT_EQ(e.Message(), "There is already a file with the name :c:\\SRC\\LIB.DLL");
  }
  TInstallObject* notFiles = new Typed(&form, kHelperType, "Helper");
  EXPECT_THROW(app->SetContainer(static_cast<TInstallContainer*>(notFiles)), IECustomInstallFile);
}

TEST_F(InstallTree, UniqueIdentifiersRunOut) {
  std::vector<std::unique_ptr<TInstallFile>> files;
  while (AllInstallFiles().Count() < 2000) files.push_back(std::make_unique<TInstallFile>(nullptr));
  {
    TInstallFile extra(nullptr);  // the 2001st
    EXPECT_EQ(extra.UniqueID(), 0);
  }
  // The 2001st file did not hold identifier 0; its end leaves it taken.
  const int freed = files[5]->UniqueID();
  files.erase(files.begin() + 5);
  TInstallFile reuse(nullptr);  // a freed identifier is taken again
  EXPECT_EQ(reuse.UniqueID(), freed);
}

TEST_F(InstallTree, FileInformationRecord) {
  TInstallFile* file = File("American", install);
  tvktest::WriteFile(dir / "American.dct", std::string(1234, 'w'));
  file->SetIncludeFromDir(dir.Path());
  file->SetFileName("American.dct");
  file->ReadInfoFromFile();
  TMemoryStream stream;
  file->WriteInfoRecord(stream);
  ASSERT_EQ(stream.Size(), 72);

  std::array<char, 72> expected{};
  const std::int32_t size = 1234;
  const double date = *os::FileAge(dir / "American.dct");
  std::memcpy(expected.data(), &size, 4);
  std::memcpy(expected.data() + 4, &date, 8);
  std::memcpy(expected.data() + 12, "American", 8);
  EXPECT_EQ(std::memcmp(stream.Memory(), expected.data(), 72), 0);

  file->SetFileName("missing.dct");
  try {
    file->ReadInfoFromFile();
    FAIL();
  } catch (const IECustomInstallFile& e) {
    EXPECT_EQ(e.Message(), "Could not open or find the following file when trying to read the Size, Date, and Version :" +
                               (dir / "missing.dct"));
  }
}

TEST_F(InstallTree, UpwardPathKeepsTotalsPerLevel) {
  auto* group = new Operating<TFileContainer>(&form);
  group->SetName("Group");
  group->SetContainer(install);
  TInstallFile* file = File("F", group);
  std::vector<std::pair<std::string, int>> seen;
  group->OnStatus = [&](TCustomInstallFile*, int, int total) { seen.push_back({"group", total}); };
  install->OnStatus = [&](TCustomInstallFile*, int, int total) { seen.push_back({"install", total}); };

  // Operations are under way at both levels, with their own totals.
  group->Start(200, 0);
  install->Start(1000, 500);
  TFileStatusParameter status;
  status.BytesDone = 100;
  TList list;
  list.Add(file);
  list.Add(&status);
  group->DoInformationEventControl(file, ecInstallProgress, &list);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"group", 50}, {"install", 60}}));

  // A file that is not written counts as done.
  seen.clear();
  group->DoInformationEventControl(file, ecFileNotWritten, file);
  EXPECT_EQ(group->DoneSize(), file->Size());

  const struct {
    int code;
    TObject* po;
    const char* message;
  } bad[] = {
      {ecFileReplacing, nullptr, "Group got a nil PO parameter"},
      {ecFileReplacing, &status, "DoInformationEventControl parameter is not TInstallFile"},
      {ecInstallProgress, file, "DoInformationEventControl--PO is not a TList object"},
      {ecDownloadProgress, file, "The PO object passed to Group is not a TDownloadStatusParameter object"},
      {ecFileNotWritten, &status, "DoInformationEventControl says bad first parameter"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.message);
    try {
      group->DoInformationEventControl(file, b.code, b.po);
      ADD_FAILURE();
    } catch (const IEFileContainer& e) {
      EXPECT_EQ(e.Message(), b.message);
    }
  }
  TList shortList;
  shortList.Add(file);
  EXPECT_THROW(group->DoInformationEventControl(file, ecNewDisk, &shortList), IEFileContainer);
  TList swapped;
  swapped.Add(&status);
  swapped.Add(file);
  try {
    group->DoInformationEventControl(file, ecNewDisk, &swapped);
  } catch (const IEFileContainer& e) {
    EXPECT_EQ(e.Message(), "DoInformationEventControl says bad 1 parameter");
  }
}

TEST_F(InstallTree, CancelAtTheDiskPromptIsTheUsersAbort) {
  TInstallFile* file = File("F", install);
  answer = IDCANCEL;
  TTvlkCompress engine(nullptr);
  std::string path = "C:\\Disk";
  EXPECT_THROW(file->EngineNewDisk(&engine, 2, path), EAIUserAbort);  // at once, not after asking again
  EXPECT_EQ(shown, std::vector<std::string>{"Please insert disk #2"});
  EXPECT_TRUE(engine.Abort());

  // With a handler on the install component only, the component takes care of the disk: no prompt.
  install->OnNewDisk = [](TCustomInstallFile*, int, std::string& p) { p = "D:\\Next\\"; };
  install->Start(100, 0);
  shown.clear();
  file->EngineNewDisk(&engine, 3, path);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(path, "D:\\Next");
}

TEST_F(InstallTree, BuildWritesAnArchiveThatReadsBack) {
  tvktest::WriteFile(dir / "one.txt", std::string(5000, 'a'));
  tvktest::WriteFile(dir / "two.txt", "second file");
  install->SetArchiveFileType(nullptr);
  install->SetArchiveFile(dir / "out\\files.1");
  TInstallFile* one = File("One", install, dir / "one.txt");
  TInstallFile* two = File("Two", install, dir / "two.txt");
  install->Compress(coRelocateArchives | coBuild | coForceNetFilesLocal | coIncludeAll);
  ASSERT_TRUE(os::FileExists(dir / "out\\files.1"));
  EXPECT_EQ(one->CompressState(), 2);
  EXPECT_EQ(install->Operation(), opNone);

  // A second tree with the same identifiers reads the sizes, dates and versions from the archive.
  TForm other(nullptr);
  auto* reader = new TFileContainer(&other);
  reader->SetArchiveFile(dir / "out\\files.1");
  auto* first = new TInstallFile(&other);
  first->SetUniqueID(one->UniqueID());
  first->SetContainer(reader);
  auto* second = new TInstallFile(&other);
  second->SetUniqueID(two->UniqueID());
  second->SetContainer(reader);
  first->SetArchiveFileType(nullptr);
  first->SetArchiveFile(dir / "out\\files.1");
  second->SetArchiveFileType(nullptr);
  second->SetArchiveFile(dir / "out\\files.1");
  reader->ReadArchiveInfo();
  EXPECT_EQ(first->Size(), 5000);
  EXPECT_EQ(second->Size(), 11);
  EXPECT_NEAR(second->Date(), *os::FileAge(dir / "two.txt"), 3.0 / 86400);
  EXPECT_LT(first->CompressedSize(), 5000);
  EXPECT_TRUE(reader->InfoRead());

#ifdef TVKARC_PATH
  // The command-line tool reads the same archive: one line per entry, sizes in the third field.
  const std::string listing =
      tvktest::CommandOutput(std::string(TVKARC_PATH) + " list '" + dir / "out\\files.1" + "'");
  TStringList lines;
  lines.SetText(listing);
  ASSERT_EQ(lines.Count(), 2) << listing;
  EXPECT_EQ(GetField(lines.Strings(0), 3, '\t'), "5000");
  EXPECT_EQ(GetField(lines.Strings(1), 3, '\t'), "11");
  EXPECT_EQ(ExtractFileName(GetField(lines.Strings(1), 9, '\t')), "two.txt");
#endif
}

}  // namespace
