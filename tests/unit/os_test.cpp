// The os layer, through os.h only: the same tests run natively and, under Wine, against Win32.
#include "os/os.h"

#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using os::Access;
using os::Disposition;
using os::File;
using os::Share;

std::string Unique() {
  static std::random_device device;
  // The clock as well, in case the random device is deterministic on some runtime.
  const auto ms = static_cast<unsigned long long>(os::Now() * 86400000.0);
  return std::to_string(device() ^ static_cast<unsigned>(ms));
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Names sorted without regard to case, to compare listings whose order or case the system may choose.
std::vector<std::string> Normalised(std::vector<std::string> names) {
  for (auto& name : names) name = Upper(name);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& dir) {
  for (const auto& entry : os::FindFiles(dir + "\\*")) {
    const std::string path = dir + "\\" + entry.name;
    if (entry.directory) {
      RemoveTree(path);
    } else {
      os::DeleteFile(path);
    }
  }
  os::RemoveDirectory(dir);
}

constexpr double kOneMs = 1.0 / 86400000.0;

// A fresh folder below the system's temporary folder for each test.
class OsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto temp = os::TempPath();
    ASSERT_TRUE(temp);
    ASSERT_EQ(temp->back(), '\\');
    dir_ = *temp + "tvk-os-" + Unique();
    ASSERT_TRUE(os::CreateDirectory(dir_)) << dir_ << " error " << os::LastError();
  }
  void TearDown() override { RemoveTree(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  void Write(const std::string& name, const std::string& text) {
    File file = File::Open(Path(name), Access::Write, Share::Exclusive, Disposition::CreateAlways);
    ASSERT_TRUE(file) << name << " error " << os::LastError();
    ASSERT_EQ(file.Write(text.data(), text.size()), static_cast<std::int64_t>(text.size()));
  }

  static std::string Read(const std::string& path) {
    File file = File::Open(path, Access::Read, Share::DenyWrite, Disposition::OpenExisting);
    if (!file) return "<cannot open>";
    std::string text(static_cast<std::size_t>(file.Size()), '\0');
    if (file.Read(text.data(), text.size()) != static_cast<std::int64_t>(text.size())) return "<cannot read>";
    return text;
  }

  std::string dir_;
};

// ---------------------------------------------------------------------------------------------------
// Open files

TEST_F(OsFiles, SecondOpenObeysBothShareModes) {
  struct Case {
    Access firstAccess;
    Share firstShare;
    Access secondAccess;
    Share secondShare;
    bool allowed;
  };
  const Case cases[] = {
      {Access::Read, Share::DenyWrite, Access::Read, Share::DenyWrite, true},
      {Access::Read, Share::DenyWrite, Access::Write, Share::DenyNone, false},
      {Access::Read, Share::DenyWrite, Access::ReadWrite, Share::DenyNone, false},
      {Access::Read, Share::DenyNone, Access::Read, Share::DenyWrite, true},
      {Access::Write, Share::DenyNone, Access::Read, Share::DenyWrite, false},  // would deny the writer
      {Access::Read, Share::DenyNone, Access::Write, Share::DenyRead, false},   // would deny the reader
      {Access::Write, Share::DenyRead, Access::Write, Share::DenyRead, true},
      {Access::Write, Share::DenyRead, Access::Read, Share::DenyNone, false},
      {Access::ReadWrite, Share::DenyNone, Access::ReadWrite, Share::DenyNone, true},
      {Access::Read, Share::Exclusive, Access::Read, Share::DenyNone, false},
      {Access::Read, Share::DenyNone, Access::Read, Share::Exclusive, false},
  };
  Write("shared.txt", "data");
  const std::string path = Path("shared.txt");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const Case& c = cases[i];
    File first = File::Open(path, c.firstAccess, c.firstShare, Disposition::OpenExisting);
    ASSERT_TRUE(first);
    File second = File::Open(path, c.secondAccess, c.secondShare, Disposition::OpenExisting);
    EXPECT_EQ(second.IsValid(), c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(os::LastError(), os::kErrorSharingViolation);
      first.Close();
      EXPECT_TRUE(File::Open(path, c.secondAccess, c.secondShare, Disposition::OpenExisting))
          << "after close";
    }
  }
}

TEST_F(OsFiles, CreateAlwaysChecksSharingBeforeTruncating) {
  Write("kept.txt", "content");
  File reader = File::Open(Path("kept.txt"), Access::Read, Share::DenyWrite, Disposition::OpenExisting);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(File::Open(Path("kept.txt"), Access::Write, Share::Exclusive, Disposition::CreateAlways));
  EXPECT_EQ(os::LastError(), os::kErrorSharingViolation);
  EXPECT_EQ(reader.Size(), 7);
}

TEST_F(OsFiles, OpenFileBlocksDeleteAndMoveUntilClosed) {
  Write("busy.txt", "x");
  File file = File::Open(Path("busy.txt"), Access::Read, Share::DenyNone, Disposition::OpenExisting);
  ASSERT_TRUE(file);
  EXPECT_FALSE(os::DeleteFile(Path("busy.txt")));
  EXPECT_EQ(os::LastError(), os::kErrorSharingViolation);
  EXPECT_FALSE(os::MoveFile(Path("busy.txt"), Path("moved.txt")));
  EXPECT_EQ(os::LastError(), os::kErrorSharingViolation);
  EXPECT_TRUE(os::FileExists(Path("busy.txt")));

  File moved = std::move(file);  // the handle travels with the object
  EXPECT_FALSE(file);
  EXPECT_FALSE(os::DeleteFile(Path("busy.txt")));
  moved.Close();
  EXPECT_TRUE(os::MoveFile(Path("busy.txt"), Path("moved.txt")));
  EXPECT_TRUE(os::DeleteFile(Path("moved.txt")));
  EXPECT_FALSE(os::FileExists(Path("moved.txt")));
}

TEST_F(OsFiles, DispositionsAndOpenErrors) {
  Write("old.txt", "old content");
  const auto open = [&](const std::string& name, Disposition disposition) {
    return File::Open(Path(name), Access::ReadWrite, Share::Exclusive, disposition);
  };
  EXPECT_FALSE(open("missing.txt", Disposition::OpenExisting));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(open("nodir\\missing.txt", Disposition::CreateAlways));
  EXPECT_EQ(os::LastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(open("old.txt", Disposition::CreateNew));
  EXPECT_EQ(os::LastError(), os::kErrorFileExists);
  EXPECT_EQ(open("old.txt", Disposition::OpenAlways).Size(), 11);
  EXPECT_EQ(open("old.txt", Disposition::CreateAlways).Size(), 0);
  EXPECT_TRUE(open("new.txt", Disposition::OpenAlways));
  EXPECT_TRUE(os::FileExists(Path("new.txt")));

  ASSERT_TRUE(os::CreateDirectory(Path("folder")));
  EXPECT_FALSE(File::Open(Path("folder"), Access::Read, Share::DenyNone, Disposition::OpenExisting));
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
}

TEST_F(OsFiles, ReadWriteSeekAndSetEnd) {
  File file = File::Open(Path("io.bin"), Access::ReadWrite, Share::Exclusive, Disposition::CreateNew);
  ASSERT_TRUE(file);
  EXPECT_EQ(file.Write("hello world", 11), 11);
  EXPECT_EQ(file.Size(), 11);
  EXPECT_EQ(file.Seek(6, os::Origin::Begin), 6);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(file.Seek(-5, os::Origin::End), 6);
  EXPECT_EQ(file.Seek(-1, os::Origin::Current), 5);
  ASSERT_TRUE(file.SetEnd());
  EXPECT_EQ(file.Size(), 5);
  EXPECT_EQ(file.Seek(8, os::Origin::Begin), 8);
  ASSERT_TRUE(file.SetEnd());
  EXPECT_EQ(file.Size(), 8);
  EXPECT_TRUE(file.Flush());
  file.Close();
  EXPECT_FALSE(file);
  EXPECT_EQ(Read(Path("io.bin")), std::string("hello\0\0\0", 8));

  File reader = File::Open(Path("io.bin"), Access::Read, Share::DenyNone, Disposition::OpenExisting);
  EXPECT_EQ(reader.Write("x", 1), -1);
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
  File writer = File::Open(Path("io.bin"), Access::Write, Share::DenyNone, Disposition::OpenExisting);
  EXPECT_EQ(writer.Read(buffer, 1), -1);
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
}

// ---------------------------------------------------------------------------------------------------
// Dates

TEST_F(OsFiles, LastWriteTimeRoundTripsInLocalTime) {
  // One date in summer time and one in winter time, so that a wrong daylight offset shows.
  const os::TDateTime dates[] = {
      37127 + (14 * 3600 + 30 * 60 + 15.250) / 86400.0,  // 24 Aug 2001 14:30:15.250
      37636 + (8 * 3600 + 5 * 60 + 30.500) / 86400.0,    // 15 Jan 2003 08:05:30.500
  };
  for (const os::TDateTime date : dates) {
    SCOPED_TRACE(date);
    Write("dated.txt", "x");
    {
      File file = File::Open(Path("dated.txt"), Access::Write, Share::Exclusive, Disposition::OpenExisting);
      ASSERT_TRUE(file.SetLastWriteTime(date));
      ASSERT_TRUE(file.LastWriteTime());
      EXPECT_NEAR(*file.LastWriteTime(), date, kOneMs);
    }
    ASSERT_TRUE(os::FileAge(Path("dated.txt")));
    EXPECT_NEAR(*os::FileAge(Path("dated.txt")), date, kOneMs);
    const auto found = os::FindFiles(Path("dated.txt"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0].lastWrite, date, kOneMs);

    ASSERT_TRUE(os::CopyFile(Path("dated.txt"), Path("copy.txt"), false));
    EXPECT_NEAR(os::FileAge(Path("copy.txt")).value_or(0), date, kOneMs);
  }

  // Dates no file system can hold are refused, not wrapped.
  {
    File file = File::Open(Path("dated.txt"), Access::Write, Share::Exclusive, Disposition::OpenExisting);
    for (const os::TDateTime bad : {-700000.0, 1e12, std::numeric_limits<double>::quiet_NaN()})
      EXPECT_FALSE(file.SetLastWriteTime(bad)) << bad;
  }

  const os::TDateTime before = os::Now();
  Write("fresh.txt", "x");
  const auto age = os::FileAge(Path("fresh.txt"));
  ASSERT_TRUE(age);
  EXPECT_NEAR(*age, before, 60 * 1000 * kOneMs);  // both local time: minutes apart at most
}

// ---------------------------------------------------------------------------------------------------
// Folders and names

TEST_F(OsFiles, FindFilesMatchesPatternsWithoutCase) {
  for (const char* name : {"alpha.txt", "Beta.TXT", "gamma.dat", "a1.txt", "readme"}) Write(name, "12345");
  ASSERT_TRUE(os::CreateDirectory(Path("Sub")));

  const struct {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"*", {"a1.txt", "alpha.txt", "Beta.TXT", "gamma.dat", "readme", "Sub"}},
      {"*.*", {"a1.txt", "alpha.txt", "Beta.TXT", "gamma.dat", "readme", "Sub"}},
      {"*.TXT", {"a1.txt", "alpha.txt", "Beta.TXT"}},
      {"a*", {"a1.txt", "alpha.txt"}},
      {"?1.*", {"a1.txt"}},
      {"*e*", {"Beta.TXT", "readme"}},
      {"beta.txt", {"Beta.TXT"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<std::string> names;
    for (const auto& entry : os::FindFiles(Path(c.pattern))) names.push_back(entry.name);
    EXPECT_EQ(Normalised(names), Normalised(c.names));
  }

  for (const auto& entry : os::FindFiles(Path("*"))) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.directory, entry.name == "Sub");
    if (!entry.directory) {
      EXPECT_EQ(entry.size, 5);
    }
  }
  EXPECT_TRUE(os::FindFiles(Path("none*")).empty());
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_TRUE(os::FindFiles(Path("nodir\\*")).empty());
  EXPECT_EQ(os::LastError(), os::kErrorPathNotFound);
}

TEST_F(OsFiles, NamesMatchWithoutCaseAndRelativePathsFollowCurrentDirectory) {
  Write("MixedCase.txt", "abc");
  EXPECT_TRUE(os::FileExists(Path("mixedcase.TXT")));
  EXPECT_EQ(os::FileSize(dir_ + "/MIXEDCASE.txt"), 3);
  EXPECT_FALSE(os::DirectoryExists(Path("MixedCase.txt")));
  EXPECT_TRUE(os::DirectoryExists(dir_));
  EXPECT_FALSE(os::FileExists(dir_));

  const std::string saved = os::CurrentDirectory();
  ASSERT_TRUE(os::SetCurrentDirectory(dir_));
  {
    File file = File::Open("relative.txt", Access::Write, Share::Exclusive, Disposition::CreateNew);
    EXPECT_TRUE(file);
  }
  const auto full = os::FullPathName("Sub\\..\\.\\relative.txt");
  EXPECT_TRUE(os::SetCurrentDirectory(saved));
  ASSERT_TRUE(full);
  EXPECT_EQ(os::CompareTextLocale(*full, Path("relative.txt")), 0) << *full;
  EXPECT_TRUE(os::FileExists(Path("relative.txt")));
  EXPECT_FALSE(os::SetCurrentDirectory(Path("missing")));
}

TEST_F(OsFiles, FolderCopyAndMoveErrors) {
  EXPECT_FALSE(os::CreateDirectory(dir_));
  EXPECT_EQ(os::LastError(), os::kErrorAlreadyExists);
  EXPECT_FALSE(os::CreateDirectory(Path("a\\b")));
  EXPECT_EQ(os::LastError(), os::kErrorPathNotFound);
  ASSERT_TRUE(os::CreateDirectory(Path("full")));
  Write("full\\inside.txt", "x");
  EXPECT_FALSE(os::RemoveDirectory(Path("full")));
  EXPECT_TRUE(os::DirectoryExists(Path("full")));

  Write("source.txt", "new");
  Write("target.txt", "old");
  EXPECT_FALSE(os::CopyFile(Path("source.txt"), Path("target.txt"), true));
  EXPECT_EQ(os::LastError(), os::kErrorFileExists);
  EXPECT_EQ(Read(Path("target.txt")), "old");
  EXPECT_TRUE(os::CopyFile(Path("source.txt"), Path("target.txt"), false));
  EXPECT_EQ(Read(Path("target.txt")), "new");

  EXPECT_FALSE(os::MoveFile(Path("source.txt"), Path("target.txt")));
  EXPECT_EQ(os::LastError(), os::kErrorAlreadyExists);
  EXPECT_TRUE(os::MoveFile(Path("full"), Path("moved")));
  EXPECT_TRUE(os::FileExists(Path("moved\\inside.txt")));

  EXPECT_FALSE(os::DeleteFile(Path("missing.txt")));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
}

TEST_F(OsFiles, TempFileNameCreatesOnlyWithoutUniqueNumber) {
  const auto first = os::TempFileName(dir_, "tvkx", 0);
  const auto second = os::TempFileName(dir_, "tvkx", 0);
  ASSERT_TRUE(first && second);
  EXPECT_NE(Upper(*first), Upper(*second));
  for (const std::string& name : {*first, *second}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Upper(name.substr(0, dir_.size() + 4)), Upper(dir_ + "\\tvk"));
    EXPECT_EQ(Upper(name.substr(name.size() - 4)), ".TMP");
    EXPECT_EQ(os::FileSize(name), 0);
  }

  const auto named = os::TempFileName(dir_, "tvkx", 0x1A2B);
  ASSERT_TRUE(named);
  EXPECT_EQ(Upper(*named), Upper(dir_ + "\\tvk1A2B.tmp"));
  EXPECT_FALSE(os::FileExists(*named));

  EXPECT_FALSE(os::TempFileName(Path("missing"), "tvk", 0));
}

TEST_F(OsFiles, WritePrivateProfileStringEditsSectionsInPlace) {
  const std::string ini = Path("test.ini");
  ASSERT_TRUE(os::WritePrivateProfileString("One", "a", "1", ini));
  ASSERT_TRUE(os::WritePrivateProfileString("Two", "c", "3", ini));
  ASSERT_TRUE(os::WritePrivateProfileString("one", "b", "2", ini));  // into the existing [One]
  ASSERT_TRUE(os::WritePrivateProfileString("ONE", "A", "9", ini));  // replaces a=1

  const std::string text = Read(ini);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "lines end in CR LF";
    if (end > start) lines.push_back(Upper(text.substr(start, end - start)));
    start = end + 2;
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"[ONE]", "A=9", "B=2", "[TWO]", "C=3"})) << text;
}

// ---------------------------------------------------------------------------------------------------
// System

TEST(OsSystem, StandardFoldersAndProgramExist) {
  const auto windows = os::WindowsDirectory();
  const auto system = os::SystemDirectory();
  const auto temp = os::TempPath();
  ASSERT_TRUE(windows && system && temp);
  EXPECT_TRUE(os::DirectoryExists(*windows));
  EXPECT_TRUE(os::DirectoryExists(*system));
  EXPECT_TRUE(os::DirectoryExists(*temp));

  const std::string program = os::ModuleFileName();
  EXPECT_TRUE(os::FileExists(program)) << program;
  const auto shortName = os::ShortPathName(program);
  ASSERT_TRUE(shortName);
  EXPECT_TRUE(os::FileExists(*shortName));
  EXPECT_FALSE(os::ShortPathName(*temp + "tvk-missing-" + Unique()));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);

  const auto version = os::WindowsVersion();
  ASSERT_TRUE(version);
  EXPECT_GE(version->major, 4u);
}

TEST(OsSystem, CompareTextLocaleIgnoresCase) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0}, {"", "", 0},      {"a", "B", -1},
      {"B", "a", 1},     {"abc", "ab", 1}, {"Setup", "setupx", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const int result = os::CompareTextLocale(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
  }
}

// ---------------------------------------------------------------------------------------------------
// Registry

class OsRegistry : public ::testing::Test {
 protected:
  void SetUp() override { path_ = "Software\\TvkTest" + Unique(); }
  void TearDown() override { DeleteTree(path_); }

  static void DeleteTree(const std::string& path) {
    {
      os::RegKey key = os::RegKey::Open(os::kCurrentUser, path, os::RegAccess::Read);
      if (!key) return;
      for (const auto& name : key.SubKeyNames().value_or(std::vector<std::string>{}))
        DeleteTree(path + "\\" + name);
    }
    os::RegDeleteKey(os::kCurrentUser, path);
  }

  static bool SetString(os::RegKey& key, const std::string& name, const std::string& text) {
    return key.Set(name, os::RegType::String, text.c_str(), text.size() + 1);
  }

  std::string path_;
};

TEST_F(OsRegistry, ValuesKeepTypeAndBytesAndMatchWithoutCase) {
  os::RegKey key = os::RegKey::Create(os::kCurrentUser, path_);
  ASSERT_TRUE(key);
  const std::uint32_t number = 0x12345678;
  const char binary[] = {0, 1, 2, '\xff'};
  ASSERT_TRUE(SetString(key, "Name", "hello"));
  ASSERT_TRUE(key.Set("Number", os::RegType::DWord, &number, sizeof number));
  ASSERT_TRUE(key.Set("Blob", os::RegType::Binary, binary, sizeof binary));
  ASSERT_TRUE(SetString(key, "", "default"));

  const auto name = key.Query("NAME");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->type, os::RegType::String);
  EXPECT_EQ(name->data, std::string("hello", 6));
  const auto stored = key.Query("number");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, os::RegType::DWord);
  EXPECT_EQ(stored->data, std::string(reinterpret_cast<const char*>(&number), 4));
  EXPECT_EQ(key.Query("Blob")->data, std::string(binary, 4));
  EXPECT_EQ(key.Query("")->data, std::string("default", 8));

  ASSERT_TRUE(SetString(key, "name", "again"));  // replaces, keeping one value
  EXPECT_EQ(key.Query("Name")->data, std::string("again", 6));
  const auto names = key.ValueNames();
  ASSERT_TRUE(names);
  EXPECT_EQ(Normalised(*names), Normalised({"", "Name", "Number", "Blob"}));

  ASSERT_TRUE(key.DeleteValue("BLOB"));
  EXPECT_FALSE(key.Query("Blob"));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(key.DeleteValue("Blob"));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_TRUE(key.Flush());
}

TEST_F(OsRegistry, KeysOpenWithoutCaseAndDeleteOnlyWithoutSubkeys) {
  ASSERT_TRUE(os::RegKey::Create(os::kCurrentUser, path_ + "\\MixedCase\\Deep"));
  ASSERT_TRUE(os::RegKey::Create(os::kCurrentUser, path_ + "\\Other"));
  {
    os::RegKey key = os::RegKey::Open(os::kCurrentUser, path_ + "\\MIXEDCASE", os::RegAccess::All);
    ASSERT_TRUE(key);
    ASSERT_TRUE(SetString(key, "v", "1"));
  }
  os::RegKey parent = os::RegKey::Open(os::kCurrentUser, path_, os::RegAccess::Read);
  ASSERT_TRUE(parent);
  const auto subkeys = parent.SubKeyNames();
  ASSERT_TRUE(subkeys);
  EXPECT_EQ(*subkeys, (std::vector<std::string>{"MixedCase", "Other"}));  // spelt as created
  EXPECT_TRUE(os::RegKey::Open(os::kCurrentUser, path_ + "\\mixedcase", os::RegAccess::Read).Query("V"));

  EXPECT_FALSE(os::RegKey::Open(os::kCurrentUser, path_ + "\\Missing", os::RegAccess::Read));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(os::RegDeleteKey(os::kCurrentUser, path_ + "\\MixedCase"));
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
  EXPECT_TRUE(os::RegDeleteKey(os::kCurrentUser, path_ + "\\mixedcase\\deep"));
  EXPECT_TRUE(os::RegDeleteKey(os::kCurrentUser, path_ + "\\MixedCase"));
  EXPECT_FALSE(os::RegDeleteKey(os::kCurrentUser, path_ + "\\MixedCase"));
  EXPECT_EQ(os::LastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(os::RegKey::Open(os::kCurrentUser, path_ + "\\MixedCase", os::RegAccess::Read));
  EXPECT_EQ(parent.SubKeyNames(), (std::vector<std::string>{"Other"}));
}

TEST_F(OsRegistry, ReadHandleRefusesChanges) {
  {
    os::RegKey key = os::RegKey::Create(os::kCurrentUser, path_);
    ASSERT_TRUE(SetString(key, "v", "1"));
  }
  os::RegKey key = os::RegKey::Open(os::kCurrentUser, path_, os::RegAccess::Read);
  ASSERT_TRUE(key);
  EXPECT_TRUE(key.Query("v"));
  EXPECT_FALSE(SetString(key, "v", "2"));
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(key.DeleteValue("v"));
  EXPECT_EQ(os::LastError(), os::kErrorAccessDenied);
  EXPECT_EQ(key.Query("v")->data, std::string("1", 2));
}

TEST_F(OsRegistry, HandleOfDeletedKeyFailsCleanly) {
  os::RegKey key = os::RegKey::Create(os::kCurrentUser, path_);
  ASSERT_TRUE(SetString(key, "v", "1"));
  ASSERT_TRUE(os::RegDeleteKey(os::kCurrentUser, path_));
  EXPECT_FALSE(key.Query("v"));
  EXPECT_FALSE(SetString(key, "v", "2"));
  EXPECT_FALSE(key.SubKeyNames());
  key.Close();
  EXPECT_FALSE(os::RegKey::Open(os::kCurrentUser, path_, os::RegAccess::Read));
}

}  // namespace
