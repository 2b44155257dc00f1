#include <gtest/gtest.h>

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
