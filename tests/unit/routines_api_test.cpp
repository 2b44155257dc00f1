#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "classlib/SysUtils.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/test_support.h"

namespace {

TEST(TempFileName, KeptOrOnlyNamed) {
  std::string kept = TempFileName(true);
  EXPECT_TRUE(os::FileExists(kept));
  EXPECT_EQ(os::FileSize(kept).value_or(-1), 0);
  EXPECT_EQ(UpperCase(ExtractFileName(kept)).substr(0, 3), "BAT");
  EXPECT_EQ(UpperCase(ExtractFileExt(kept)), ".TMP");
  EXPECT_EQ(ExtractFilePath(kept), *os::TempPath());

  std::string named = TempFileName(false);
  EXPECT_FALSE(os::FileExists(named));
  EXPECT_NE(named, kept);
  os::DeleteFile(kept);
}

// Two downloads of one run each get a file of their own, the first one still there while the second is named.
TEST(TempFileName, NewFilesWithAnExtensionNeverShareAName) {
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    names.push_back(NewTempFile(".1"));
    EXPECT_TRUE(os::FileExists(names.back()));
    EXPECT_EQ(ExtractFileExt(names.back()), ".1");
    EXPECT_EQ(ExtractFilePath(names.back()), *os::TempPath());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  for (const std::string& name : names) os::DeleteFile(name);
}

TEST(SystemFolders, Exist) {
  EXPECT_TRUE(os::DirectoryExists(WindowsDirectory()));
  EXPECT_TRUE(os::DirectoryExists(SystemDirectory()));
  EXPECT_EQ(UpperCase(SystemDirectory()).rfind(UpperCase(WindowsDirectory()), 0), 0u);
  int platform = WindowsPlatform();
  EXPECT_GE(platform, 0);
  EXPECT_LE(platform, 4);
}

TEST(CreateDirectoryPath, MakesEveryMissingLevel) {
  tvktest::ScratchDir dir;
  CreateDirectoryPath(dir / "a\\b\\c\\");
  EXPECT_TRUE(os::DirectoryExists(dir / "a\\b\\c"));
  CreateDirectoryPath(dir / "a\\b\\c");  // already there: nothing happens
  CreateDirectoryPath("C:");             // a bare drive: nothing happens

  // A level that cannot be made is not reported: here a file stands in the way.
  tvktest::WriteFile(dir / "file", "x");
  EXPECT_NO_THROW(CreateDirectoryPath(dir / "file\\sub"));
  EXPECT_FALSE(os::DirectoryExists(dir / "file\\sub"));

  try {
    CreateDirectoryPath("");
    FAIL();
  } catch (const ECustomTavelockAbnormal&) {
    FAIL() << "a plain Exception is expected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
}

TEST(CreateDirectoryPath, RelativeSingleLevel) {
  tvktest::ScratchDir dir;
  std::string previous = os::CurrentDirectory();
  ASSERT_TRUE(os::SetCurrentDirectory(dir.Path()));
  EXPECT_NO_THROW(CreateDirectoryPath("single"));
  EXPECT_TRUE(os::DirectoryExists(dir / "single"));
  os::SetCurrentDirectory(previous);
}

}  // namespace
