#include <gtest/gtest.h>

#include <optional>

#include "paths/cmp_TPathSpecifier.h"
#include "paths/routines_ExpandPaths.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"

namespace {

// Stand-ins for the install tree, as the specifiers see it.
class FakeObject : public TPathUser {
 public:
  FakeObject(TComponent* owner, const std::string& name, TPathUser* container = nullptr, bool installObject = true)
      : TPathUser(owner), container_(container), installObject_(installObject) {
    SetName(name);
  }
  bool IsInstallObject() const override { return installObject_; }
  TPathUser* PathContainer() const override { return container_; }
  std::string GetDestDir() override { return destDir; }
  std::string GetArchiveFile() override { return archiveFile; }
  std::string destDir, archiveFile;

 private:
  TPathUser* container_;
  bool installObject_;
};

class FakeFileContainer : public FakeObject {
 public:
  using FakeObject::FakeObject;
  bool IsFileRelated() const override { return true; }
  bool IsFileContainer() const override { return true; }
  std::string GroupName() const override { return "Main"; }
  std::string InstallSourceDir() const override { return "C:\\Temp\\"; }
  std::optional<std::string> SelfExtractorName() const override { return selfExtractor; }
  std::optional<std::string> selfExtractor;
};

// A form with the fourteen standard specifiers on it, and an install component registered.
class Specifiers : public ::testing::Test {
 protected:
  TComponent form{nullptr};
  FakeFileContainer* install = new FakeFileContainer(&form, "Install1");
  FakeObject* file = new FakeObject(&form, "InstallFile1", install);

  void SetUp() override {
    StandardPathSpecifiers().EnsureStandardSpecifiers(nullptr, &form, true);
    SetPathInstall(install);
    install->destDir = "C:\\Program Files\\App\\";
    install->archiveFile = "C:\\Dist\\files.1";
  }
  void TearDown() override { SetPathInstall(nullptr); }

  template <class T>
  T* Get() {
    return StandardPathSpecifiers().FindByClass<T>();
  }
};

TEST_F(Specifiers, StandardSetIsCreatedOnceAndNamed) {
  ASSERT_EQ(StandardPathSpecifiers().Count(), 14);
  EXPECT_EQ(StandardPathSpecifiers().Items(0)->Name(), "psBDEDLL");
  EXPECT_EQ(StandardPathSpecifiers().Items(13)->Name(), "psWindow");
  EXPECT_EQ(form.FindComponent("psContainerDestDir"), Get<TpsContainerDestDir>());
  EXPECT_EQ(StandardPathSpecifiers().FindByClass<TStandardPathSpecifier>(), StandardPathSpecifiers().Items(0));

  StandardPathSpecifiers().EnsureStandardSpecifiers(nullptr, &form, true);
  EXPECT_EQ(StandardPathSpecifiers().Count(), 14);
  TComponent other(nullptr);
  StandardPathSpecifiers().EnsureStandardSpecifiers(nullptr, &other, false);
  EXPECT_EQ(StandardPathSpecifiers().Count(), 28);
  EXPECT_EQ(PathSpecifiers().Count(), 28);
  // The form already holds components of these names.
  EXPECT_THROW(StandardPathSpecifiers().EnsureStandardSpecifiers(nullptr, &form, false), EComponentError);
}

TEST(SpecifierLists, RegistrationAndLookup) {
  TPathSpecifierList list;
  EXPECT_THROW(list.FindByClass<TpsSystem>(), IEPathSpecifier);
  try {
    list.Add(nullptr);
    FAIL();
  } catch (const IEPathSpecifierList& e) {
    EXPECT_EQ(e.Message(), "Tried to add a nil object to the path specifier list");
  }
  {
    TCustomPathSpecifier custom(nullptr);
    EXPECT_EQ(PathSpecifiers().Items(PathSpecifiers().Count() - 1), &custom);
    EXPECT_EQ(StandardPathSpecifiers().Count(), 0);
  }
  EXPECT_EQ(PathSpecifiers().Count(), 0);
}

TEST_F(Specifiers, ExpansionRule) {
  TCustomPathSpecifier custom(nullptr);
  std::string expansion = "C:\\Program Files";
  custom.OnExpand = [&](TComponent*, std::string& path) { path = expansion; };
  const struct {
    TCustomPathSpecifier* specifier;
    const char* expansion;
    const char* tail;
    const char* expected;
  } cases[] = {
      {&custom, "C:\\Program Files", "\\MyApplication", "C:\\Program Files\\MyApplication"},
      {&custom, "C:\\Program Files", "MyApplication", "C:\\Program FilesMyApplication"},
      {&custom, "C:\\Program Files", "\\", "C:\\Program Files"},
      {&custom, "C:\\Dir\\\\", "", "C:\\Dir\\"},  // only one backslash goes
      {nullptr, "", "\\MyApplication\\", "\\MyApplication"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    expansion = c.expansion;
    EXPECT_EQ(ExpandPathPair(c.specifier, c.tail, file), c.expected);
  }
  TCustomPathSpecifier bare(nullptr);
  EXPECT_EQ(ExpandPathPair(&bare, "\\Tail\\", file), "\\Tail");
  EXPECT_EQ(bare.GetDescription(), "Unspecified");
}

TEST_F(Specifiers, TreeSpecifiersAndTheirMessages) {
  EXPECT_EQ(ExpandPathPair(Get<TpsContainerDestDir>(), "\\Sub", file), "C:\\Program Files\\App\\Sub");
  EXPECT_EQ(ExpandPathPair(Get<TpsContainerArchiveFile>(), "", file), "C:\\Dist\\files.1");
  EXPECT_EQ(ExpandPathPair(Get<TpsMainInstall>(), "\\System", file), "C:\\Program Files\\App\\System");
  EXPECT_EQ(ExpandPathPair(Get<TpsInstallSource>(), "", file), "C:\\Temp");
  EXPECT_EQ(Get<TpsMainArchiveFile>()->Expand(file), "C:\\Temp\\files.1");
  install->selfExtractor = "Setup.exe";
  EXPECT_EQ(Get<TpsMainArchiveFile>()->Expand(file), "C:\\Temp\\Setup.exe");
  install->selfExtractor = " ";
  EXPECT_THROW(Get<TpsMainArchiveFile>()->Expand(file), IEInstall);

  EXPECT_EQ(Get<TpsContainerDestDir>()->GetDescriptionFor(file), "Path of the <Main> group");
  EXPECT_EQ(Get<TpsContainerDestDir>()->GetDescriptionFor(&form), "Path of the group (container)");
  EXPECT_EQ(Get<TpsSystem>()->GetDescriptionFor(file), "Path of system directory");

  FakeObject orphan(nullptr, "Orphan");
  FakeObject plainChild(nullptr, "Child", &orphan);  // its container is not file-related
  FakeObject notAnObject(nullptr, "Thing", nullptr, false);
  const struct {
    TCustomPathSpecifier* specifier;
    TComponent* component;
    const char* message;
  } failures[] = {
      {Get<TpsContainerArchiveFile>(), &notAnObject, "Thing must be a TInstallObject to use the psContainerArchiveFile path specifier"},
      {Get<TpsContainerArchiveFile>(), &orphan, "Cannot use ddContainerArchiveFile for Orphan unless you assign a Container"},
      {Get<TpsContainerArchiveFile>(), &plainChild,
       "Cannot use the ddContainerArchiveFile path specifier for Child because the Container is not a TFileRelated descendant"},
      {Get<TpsContainerDestDir>(), &notAnObject, "Thing must be a TInstallObject to use the psContainerDestDir path specifier"},
      {Get<TpsContainerDestDir>(), &orphan, "Cannot use ddContainerDestDir for Orphan unless you assign a Container"},
      {Get<TpsMainInstall>(), install, "Cannot use the ddMainInstallDir path specifier for a TInstall component"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.message);
    for (int expand = 0; expand < 2; ++expand) {
      try {
        if (expand) f.specifier->Expand(f.component);
        else f.specifier->ValidateFor(f.component);
        ADD_FAILURE() << "accepted";
      } catch (const IEPathSpecifier& e) {
        EXPECT_EQ(e.Message(), f.message);
      }
    }
  }

  SetPathInstall(nullptr);
  for (TCustomPathSpecifier* s : std::initializer_list<TCustomPathSpecifier*>{
           Get<TpsInstallSource>(), Get<TpsMainInstall>(), Get<TpsMainArchiveFile>()}) {
    try {
      s->Expand(file);
      ADD_FAILURE() << s->Name();
    } catch (const IEPathSpecifier& e) {
      EXPECT_EQ(e.Message(), "There is no TInstall component so the path specifier could not be expanded for InstallFile1");
    }
  }
}

// Sets one registry string value, or removes it, for the length of a test; the old state comes back.
class RegValueOverride {
 public:
  RegValueOverride(os::RootKey root, const std::string& key, const std::string& name, std::optional<std::string> value)
      : root_(root), key_(key), name_(name) {
    os::RegKey k = os::RegKey::Create(root, key);
    old_ = k.Query(name);
    if (value) k.Set(name, os::RegType::String, value->c_str(), value->size() + 1);
    else k.DeleteValue(name);
  }
  ~RegValueOverride() {
    os::RegKey k = os::RegKey::Create(root_, key_);
    if (old_) k.Set(name_, old_->type, old_->data.data(), old_->data.size());
    else k.DeleteValue(name_);
  }

 private:
  os::RootKey root_;
  std::string key_, name_;
  std::optional<os::RegValue> old_;
};

constexpr char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

TEST(ShellFolders, FallbacksWhenValuesAreAbsent) {
  RegValueOverride start(os::kCurrentUser, kShellFolders, "Start Menu", std::nullopt);
  RegValueOverride programs(os::kCurrentUser, kShellFolders, "Programs", std::nullopt);
  RegValueOverride desktop(os::kCurrentUser, kShellFolders, "Desktop", std::nullopt);
  RegValueOverride startup(os::kCurrentUser, kShellFolders, "Startup", std::nullopt);
  RegValueOverride files(os::kLocalMachine, kCurrentVersion, "ProgramFilesDir", std::nullopt);
  RegValueOverride common(os::kLocalMachine, kCurrentVersion, "CommonFilesDir", std::nullopt);
  const std::string windows = WindowsDirectory();
  const std::string drive = ExtractFileDrive(os::CurrentDirectory());
  EXPECT_EQ(StartMenuDir(), windows + "\\Startmen");
  EXPECT_EQ(ProgramsMenuDir(), windows + "\\Startmen\\Programs");
  EXPECT_EQ(DesktopDir(), windows + "\\Desktop");
  EXPECT_EQ(StartupDir(), windows + "\\Startup");
  EXPECT_EQ(ProgramFilesDir(), drive + "\\Program Files");
  EXPECT_EQ(CommonFilesDir(), drive + "\\Program Files\\Common Files");
}

TEST_F(Specifiers, ShellFoldersFromTheRegistry) {
  RegValueOverride desktop(os::kCurrentUser, kShellFolders, "Desktop", "C:\\WINDOWS\\Desktop\\");
  RegValueOverride start(os::kCurrentUser, kShellFolders, "Start Menu", "D:\\Menu");
  RegValueOverride programs(os::kCurrentUser, kShellFolders, "Programs", std::nullopt);
  RegValueOverride files(os::kLocalMachine, kCurrentVersion, "ProgramFilesDir", "");
  EXPECT_EQ(DesktopDir(), "C:\\WINDOWS\\Desktop");
  EXPECT_EQ(ProgramsMenuDir(), "D:\\Menu\\Programs");
  EXPECT_EQ(ExpandPathPair(Get<TpsProgramFiles>(), "\\MyApplication", file), "\\MyApplication");
  EXPECT_EQ(Get<TpsSystem>()->Expand(file), SystemDirectory());
  EXPECT_EQ(Get<TpsWindow>()->Expand(file), WindowsDirectory());
}

TEST(ShellFolders, DatabaseEngineFolder) {
  const char* key = "Software\\Borland\\Database Engine";
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\IDAPI\\", "C:\\IDAPI\\"},
      {"C:\\First;C:\\Second", "C:\\First"},
  };
  for (const auto& [value, expected] : cases) {
    RegValueOverride dllPath(os::kLocalMachine, key, "DLLPath", value);
    EXPECT_EQ(BDEDLLPath(), expected);
  }
  {
    RegValueOverride dllPath(os::kLocalMachine, key, "DLLPath", std::nullopt);
    RegValueOverride files(os::kLocalMachine, kCurrentVersion, "ProgramFilesDir", "E:\\Progs\\");
    EXPECT_EQ(BDEDLLPath(), "E:\\Progs\\Borland\\Common Files\\BDE");
  }
  // The engine's key did not exist before.
  tvktest::RemoveRegTree(os::kLocalMachine, "Software\\Borland\\Database Engine");
  os::RegDeleteKey(os::kLocalMachine, "Software\\Borland");
}

}  // namespace
