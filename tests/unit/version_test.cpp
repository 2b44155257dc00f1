// The version reader and the replacement rules, on small executables built with chosen version
// resources. Natively the PE reader answers, under Wine version.dll: the expectations are the same.
#include "archive/cmp_TVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/os.h"
#include "support/test_support.h"

namespace {

// The fixture's Windows path ("Z:" is the host's root both natively and under Wine).
std::string Fixture(const std::string& name) {
#ifdef TVK_VERSION_FIXTURES
  std::string path = std::string("Z:") + TVK_VERSION_FIXTURES + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
#else
  return std::string();
#endif
}

#define REQUIRE_FIXTURES()                                                               \
  if (Fixture("x").empty()) GTEST_SKIP() << "the version fixtures were not built (no mingw)"

TEST(VersionResource, ReadsTheFixedInformationAndTheStringTable) {
  REQUIRE_FIXTURES();
  tvktest::ScratchDir dir;
  tvktest::WriteFile(dir / "plain.txt", "MZ but nothing of an executable after it");
  const struct {
    std::string file, why, fileVersion, productVersion, fileOS, fileType, fileSubType, companyName;
  } rows[] = {
      {Fixture("app100.exe"), "string table: ProductVersion string replaces the number, FileVersion string does not",
       "1.0.0.0", "1.0 Gold", "32 bit Windows", "Application", "", "Tavelock Test Fixtures"},
      {Fixture("lib10010.dll"), "a library", "1.0.0.10", "1.0.0.10", "Windows NT with 32 bit Windows",
       "Dynamic-Link Library", "", "Tavelock Test Fixtures"},
      {Fixture("driver.dll"), "fixed information only; a driver has a subtype", "2.5.0.1", "2.5.0.0",
       "Windows 3.0 or later with MS-Dos", "Device Driver", "Sound", ""},
      {Fixture("font.dll"), "a font; unknown OS; strings only in another language", "3.0.0.0", "3.0.0.0",
       "Unknown", "Font", "TrueType", ""},
      {Fixture("id2.dll"), "a version resource under another name is none", "", "", "", "", "", ""},
      {Fixture("noversion.dll"), "no resources at all", "", "", "", "", "", ""},
      {Fixture("noversion.exe"), "no resources at all", "", "", "", "", "", ""},
      {Fixture("nofixed.dll"), "no fixed information: strings only", "", "", "", "", "", "Malformed 1"},
      {Fixture("shortfixed.dll"), "a short fixed block is not believed", "", "", "", "", "", "Malformed 2"},
      {Fixture("unterminated.dll"), "a string without its zero ends at its length", "3.0.0.7", "3.0.0.7",
       "32 bit Windows", "Dynamic-Link Library", "", "Malformed 3"},
      {dir / "missing.dll", "a missing file", "", "", "", "", "", ""},
      {dir / "plain.txt", "not an executable", "", "", "", "", "", ""},
  };
  TVersionResource reader(nullptr);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why + ": " + row.file);
    reader.SetFileName(row.file);
    const TVersionInfo& info = *reader.VersionInfo();
    EXPECT_EQ(info.FileVersion(), row.fileVersion);
    EXPECT_EQ(info.ProductVersion(), row.productVersion);
    EXPECT_EQ(info.FileOS(), row.fileOS);
    EXPECT_EQ(info.FileType(), row.fileType);
    EXPECT_EQ(info.FileSubType(), row.fileSubType);
    EXPECT_EQ(info.CompanyName(), row.companyName);
    // Only app100 has these: a value left from an earlier file would show here.
    if (row.file != Fixture("app100.exe")) {
      EXPECT_EQ(info.Comment() + info.FileDescription() + info.InternalName() + info.LegalCopyright() +
                    info.LegalTradeMarks() + info.OriginalFileName() + info.PrivateBuild() + info.ProductName() +
                    info.SpecialBuild(),
                row.file == Fixture("unterminated.dll") ? "Next value" : "");
    }
  }
}

TEST(VersionResource, ReadsEveryStringUnderItsOwnKey) {
  REQUIRE_FIXTURES();
  TVersionResource reader(nullptr);
  reader.SetFileName(Fixture("app100.exe"));
  const TVersionInfo& info = *reader.VersionInfo();
  EXPECT_EQ(info.Comment(), "The singular key");  // not "Comments"
  EXPECT_EQ(info.CompanyName(), "Tavelock Test Fixtures");
  EXPECT_EQ(info.FileDescription(), "An application with every string");
  EXPECT_EQ(info.FileVersion(), "1.0.0.0");  // the number, not the string "1.0 beta"
  EXPECT_EQ(info.InternalName(), "app100");
  EXPECT_EQ(info.LegalCopyright(), "Copyright \xA9 1997");  // in the ANSI code page
  EXPECT_EQ(info.LegalTradeMarks(), "None");
  EXPECT_EQ(info.OriginalFileName(), "APP100.EXE");
  EXPECT_EQ(info.PrivateBuild(), "private");
  EXPECT_EQ(info.ProductName(), "Fixture Suite");
  EXPECT_EQ(info.ProductVersion(), "1.0 Gold");
  EXPECT_EQ(info.SpecialBuild(), "special");

  // The string after an unterminated one is read whole too.
  reader.SetFileName(Fixture("unterminated.dll"));
  EXPECT_EQ(info.ProductName(), "Next value");
}

TEST(VersionResource, LanguageAndCharacterSetChooseTheStringTable) {
  REQUIRE_FIXTURES();
  TVersionResource reader(nullptr);
  EXPECT_EQ(reader.FileName(), os::ModuleFileName());
  EXPECT_EQ(reader.Language(), TVersionResource::lnUSEnglish);
  EXPECT_EQ(reader.CharacterSet(), TVersionResource::csMultilingual);

  reader.SetFileName(Fixture("font.dll"));
  EXPECT_EQ(reader.VersionInfo()->CompanyName(), "");
  reader.SetLanguage(TVersionResource::lnGerman);  // 0407 with 1252: still not the font's table
  EXPECT_EQ(reader.VersionInfo()->CompanyName(), "");
  reader.SetCharacterSet(TVersionResource::csUnicode);  // 040704B0
  EXPECT_EQ(reader.VersionInfo()->CompanyName(), "Deutsche Schriften");
  reader.SetLanguage(TVersionResource::lnSwissGerman);
  EXPECT_EQ(reader.VersionInfo()->CompanyName(), "");
}

TEST(VersionResource, LanguageIdentifiersAndCodePages) {
  const struct {
    TVersionResource::TLanguage language;
    std::uint16_t id;
  } languages[] = {
      {TVersionResource::lnArabic, 0x0401}, {TVersionResource::lnGerman, 0x0407}, {TVersionResource::lnUSEnglish, 0x0409}, {TVersionResource::lnBahasa, 0x0421},
      {TVersionResource::lnSimplifiedChinese, 0x0804}, {TVersionResource::lnUKEnglish, 0x0809}, {TVersionResource::lnSerboCroatian, 0x081A},
      {TVersionResource::lnCanadianFrench, 0x0C0C}, {TVersionResource::lnSwissFrench, 0x100C},
  };
  for (const auto& row : languages) EXPECT_EQ(TVersionResource::LanguageID(row.language), row.id) << row.language;
  EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csASCII), 0);
  EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csUnicode), 1200);
  EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csMultilingual), 1252);
  EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csArabic), 1256);
}

TEST(CompareVersions, FieldByField) {
  const struct {
    const char* first;
    const char* second;
    int expected;
    const char* why;
  } rows[] = {
      {"1.10", "1.2", 1, "numeric fields compare as numbers"},
      {"1.0.0.0", "1.0.0.10", 2, "the last field decides"},
      {"1.0.0.10", "1.0.0.9", 1, "not as text"},
      {"4.0.0.950", "4.0.0.950", 0, "the same"},
      {"007", "7", 0, "leading zeros do not count"},
      {"1.0", "1.0.0", 2, "an extra field is newer, whatever its value"},
      {"1.0.0", "1.0", 1, "the other way round"},
      {"", "", 0, "two empty versions are the same"},
      {"", "0", 2, "any version is newer than none"},
      {"1", "", 1, "the other way round"},
      {"2.a", "2.b", 2, "text fields compare as text"},
      {"2.B", "2.a", 2, "as bytes, case-sensitive"},
      {"1.a", "1.10", 1, "one text field makes both text"},
      {"99999999999999999999.1", "100000000000000000000.0", 2, "no number is too long"},
      {"1..2", "1..3", 0, "an empty field ends the comparison"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.why) + ": " + row.first + " vs " + row.second);
    EXPECT_EQ(CompareVersions(row.first, row.second), row.expected);
  }
}

constexpr double kMs = 1.0 / 86400000.0;

// A copy of a fixture in a scratch directory, stamped with a known date.
class Replacement : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Fixture("x").empty()) GTEST_SKIP() << "the version fixtures were not built (no mingw)";
    dest_ = Place("lib10010.dll", "dest.dll", kDestDate);
  }

  std::string Place(const std::string& fixture, const std::string& name, TDateTime date) {
    const std::string path = dir_ / name;
    EXPECT_TRUE(os::CopyFile(Fixture(fixture), path, false));
    os::File file = os::File::Open(path, os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting);
    EXPECT_TRUE(file && file.SetLastWriteTime(date));
    return path;
  }

  static constexpr TDateTime kDestDate = 36000.5;  // 1998-07-24 12:00
  tvktest::ScratchDir dir_;
  std::string dest_;  // version 1.0.0.10, dated kDestDate
};

TEST_F(Replacement, IsFileNewerFollowsTheMode) {
  const std::string missing = dir_ / "missing.dll";
  const struct {
    TOverwriteType mode;
    std::string version;
    TDateTime date;
    std::string dest;
    TFileNewerResult expected;
    const char* why;
  } rows[] = {
      {owAlways, "0.1", kDestDate - 1, dest_, fnReplace, "always, even over a newer file"},
      {owNever, "9.0", kDestDate + 1, dest_, fnKeep, "never over an existing file"},
      {owNever, "9.0", kDestDate + 1, missing, fnReplace, "but a missing one is installed"},
      {owNever, "9.0", kDestDate + 1, "  ", fnReplace, "and so is a blank name"},
      {owVersion, "1.0.0.0", kDestDate + 1, dest_, fnKeep, "1.0.0.0 does not replace 1.0.0.10"},
      {owVersion, "1.0.0.10", kDestDate + 1, dest_, fnSame, "the same version, whatever the dates"},
      {owVersion, "1.0.0.11", kDestDate - 1, dest_, fnReplace, "a newer version, whatever the dates"},
      {owVersion, "", kDestDate, dest_, fnKeep, "no version is older than any"},
      {owVersion, "", kDestDate, missing, fnReplace, "a missing destination is replaced"},
      {owDate, "", kDestDate + kMs * 2, dest_, fnReplace, "a later date"},
      {owDate, "", kDestDate, dest_, fnSame, "the same date"},
      {owDate, "", kDestDate + kMs * 0.3, dest_, fnSame, "under a millisecond is the same date"},
      {owDate, "", kDestDate - kMs * 2, dest_, fnKeep, "an earlier date"},
      {owDate, "", kDestDate, missing, fnReplace, "a missing destination is replaced, not an error"},
      {owVersionDate, "1.0.0.10", kDestDate - 1, dest_, fnKeep, "same version, destination later"},
      {owVersionDate, "1.0.0.10", kDestDate, dest_, fnSame, "same version, same date: a tie keeps"},
      {owVersionDate, "1.0.0.10", kDestDate + 1, dest_, fnReplace, "same version, source later"},
      {owVersionDate, "1.0.0.11", kDestDate - 1, dest_, fnReplace, "a newer version beats an older date"},
      {owVersionDate, "1.0.0.9", kDestDate + 1, dest_, fnKeep, "an older version beats a newer date"},
      {owVersionDate, "1.0.0.10", kDestDate, missing, fnReplace, "a missing destination is replaced"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(TVersionResource::IsFileNewer(row.version, row.dest, row.mode, row.date), row.expected);
  }
  // The comparisons leave the shared reader on the destination.
  TVersionResource::IsFileNewer("1.0", dest_, owVersion, 0);
  EXPECT_EQ(SharedVersionResource().FileName(), dest_);
}

TEST_F(Replacement, ADestinationThatCannotBeOpenedCannotBeCompared) {
  os::File lock = os::File::Open(dest_, os::Access::Read, os::Share::Exclusive, os::Disposition::OpenExisting);
  ASSERT_TRUE(lock);
  EXPECT_EQ(TVersionResource::IsFileNewer("", dest_, owDate, kDestDate), fnCompareFailed);
  EXPECT_EQ(TVersionResource::IsFileNewer("9.0", dest_, owNever, kDestDate), fnKeep);
}

TEST_F(Replacement, IsFileNewerByNameReadsTheSourceFile) {
  const std::string older = Place("app100.exe", "older.exe", kDestDate + 1);     // 1.0.0.0, dated later
  const std::string same = Place("lib10010.dll", "same.dll", kDestDate - 1);     // 1.0.0.10, dated earlier
  const std::string sameDay = Place("lib10010.dll", "sameday.dll", kDestDate);   // 1.0.0.10, same date
  const std::string plain = Place("noversion.dll", "plain.dll", kDestDate + 1);  // no version, dated later
  const std::string missing = dir_ / "missing.dll";
  const struct {
    std::string source;
    TOverwriteType mode;
    TFileNewerResult expected;
    const char* why;
  } rows[] = {
      {older, owVersion, fnKeep, "1.0.0.0 does not replace 1.0.0.10"},
      {older, owDate, fnReplace, "but it is dated later"},
      {older, owVersionDate, fnKeep, "the version decides first"},
      {same, owVersionDate, fnKeep, "same version, the destination dated later"},
      {sameDay, owVersionDate, fnSame, "a tie"},
      {plain, owVersion, fnKeep, "a file without a version against one with a version"},
      {missing, owDate, fnCompareFailed, "a source that cannot be opened has no date"},
      {missing, owVersion, fnKeep, "nor a version"},
      {missing, owAlways, fnReplace, "always is always"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(TVersionResource::IsFileNewerByName(row.source, dest_, row.mode), row.expected);
    if (row.mode == owVersion || row.mode == owVersionDate) {
      EXPECT_EQ(SharedVersionResource().FileName(), dest_);
    }
  }
  // Without a destination every mode installs, even from a source that cannot be read.
  for (TOverwriteType mode : {owAlways, owNever, owVersion, owDate, owVersionDate}) {
    EXPECT_EQ(TVersionResource::IsFileNewerByName(older, missing, mode), fnReplace) << mode;
    EXPECT_EQ(TVersionResource::IsFileNewerByName(missing, missing, mode), fnReplace) << mode;
  }
}

// What the install file asks of a version block to learn whether a library registers itself: the
// translation table, then "OLESelfRegister" in the table it names.
TEST(VersionBlock, TranslationTableAndSelfRegistration) {
  REQUIRE_FIXTURES();
  const struct {
    const char* file;
    std::string translation;  // raw bytes; empty when there is none
    const char* table;
    bool selfRegister;
  } rows[] = {
      {"app100.exe", std::string("\x09\x04\xE4\x04", 4), "040904E4", false},
      {"lib10010.dll", std::string("\x09\x04\xE4\x04", 4), "040904E4", true},
      {"font.dll", std::string("\x07\x04\xB0\x04", 4), "040704B0", true},
      {"selfreg_notrans.dll", "", "040904E4", true},
      {"driver.dll", "", "040904E4", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    auto block = os::FileVersionInfo(Fixture(row.file));
    ASSERT_TRUE(block);
    const auto translation = os::QueryVersionValue(*block, "\\VarFileInfo\\Translation");
    EXPECT_EQ(translation.value_or(""), row.translation);
    EXPECT_EQ(os::QueryVersionValue(*block, std::string("\\StringFileInfo\\") + row.table + "\\OLESelfRegister")
                  .has_value(),
              row.selfRegister);
  }
  EXPECT_FALSE(os::FileVersionInfo(Fixture("noversion.dll")));
  EXPECT_FALSE(os::FileVersionInfo(Fixture("missing.dll")));

  // Keys compare without regard to case; empty parts of the path are skipped.
  auto block = os::FileVersionInfo(Fixture("app100.exe"));
  ASSERT_TRUE(block);
  const auto name = os::QueryVersionValue(*block, "\\stringfileinfo\\040904e4\\\\PRODUCTNAME");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->substr(0, name->find('\0')), "Fixture Suite");
  EXPECT_FALSE(os::QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\ProductNam"));
  const auto fixed = os::QueryVersionValue(*block, "\\");
  ASSERT_TRUE(fixed);
  ASSERT_EQ(fixed->size(), 52u);
  EXPECT_EQ(fixed->substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));  // the fixed block's signature
}

}  // namespace
