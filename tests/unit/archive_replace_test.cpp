// Replacing an existing file: the new file is written beside the old one and takes its place only once
// complete, so whatever stops an extraction or a copy, the old file stays as it was.
#include <gtest/gtest.h>

#include <functional>

#include "archive/cmp_TTvlkCompress.h"
#include "archive_test_data.h"
#include "support/exceptions_Tavelock.h"

namespace {

using archivetest::MessageOf;
using tvktest::ReadFile;
using tvktest::WriteFile;

class ArchiveReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "p.dat", payload);
    archivetest::AddFiles(engine, dir / "a.tvk", {dir / "p.dat"});
    os::CreateDirectory(dir / "out");
    WriteFile(old, "the old file");
  }
  void Extract() { archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out", {dir / "p.dat"}); }
  // What the destination folder holds besides the destination itself.
  std::vector<std::string> Others() {
    std::vector<std::string> names;
    for (const os::FindData& entry : os::FindFiles(dir / "out\\*"))
      if (entry.name != "p.dat") names.push_back(entry.name);
    return names;
  }

  tvktest::ScratchDir dir;
  const std::string payload = archivetest::SampleBytes(100000);
  const std::string old = dir / "out\\p.dat";
  TTvlkCompress engine{nullptr};
};

TEST_F(ArchiveReplace, ACompleteFileTakesThePlaceOfTheOldOne) {
  WriteFile(old + ".tvkpart", "left by a run that was killed");
  Extract();
  EXPECT_EQ(ReadFile(old), payload);
  EXPECT_EQ(Others(), std::vector<std::string>{});
}

TEST_F(ArchiveReplace, AnAbortLeavesTheOldFile) {
  engine.OnStatus = [](TTvlkCompress* e, const TlzhFileStats& s) {
    if (s.BytesDone > 10000) e->SetAbort(true);
  };
  EXPECT_NO_THROW(Extract());
  EXPECT_TRUE(engine.Abort());
  EXPECT_EQ(ReadFile(old), "the old file");
  EXPECT_EQ(Others(), std::vector<std::string>{});
}

TEST_F(ArchiveReplace, AnOldFileInUse) {
  const os::File held = os::File::Open(old, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  ASSERT_TRUE(held);
  // Without a handler the extraction fails as if the file could not be created.
  EXPECT_EQ(MessageOf([&] { Extract(); }), "Cannot create the file " + old);
  EXPECT_EQ(Others(), std::vector<std::string>{});

  // With one, the handler gets the complete file and keeps it.
  std::string handed;
  engine.OnDestinationInUse = [&](TTvlkCompress*, const std::string& temporary, const std::string& destination) {
    EXPECT_EQ(destination, old);
    EXPECT_EQ(ReadFile(temporary), payload);
    ASSERT_TRUE(os::MoveFile(temporary, dir / "out\\p.1"));
    handed = temporary;
  };
  Extract();
  EXPECT_EQ(handed, old + ".tvkpart");
  EXPECT_EQ(ReadFile(dir / "out\\p.1"), payload);
  EXPECT_EQ(Others(), std::vector<std::string>{"p.1"});

  // A handler that fails leaves nothing behind.
  engine.OnDestinationInUse = [](TTvlkCompress*, const std::string&, const std::string&) {
    throw ETvlkCompress("the handler failed");
  };
  EXPECT_EQ(MessageOf([&] { Extract(); }), "the handler failed");
  EXPECT_EQ(Others(), std::vector<std::string>{"p.1"});
  EXPECT_EQ(ReadFile(old), "the old file");
}

TEST_F(ArchiveReplace, ACopyGoesThroughATemporaryFileToo) {
  const std::string source = dir / "p.dat";
  {
    const os::File held = os::File::Open(old, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
    EXPECT_EQ(MessageOf([&] { engine.CopyUncompressed(source, old); }), "Cannot create the file " + old);
    EXPECT_EQ(ReadFile(old), "the old file");
    EXPECT_EQ(Others(), std::vector<std::string>{});
  }
  engine.OnStatus = [](TTvlkCompress* e, const TlzhFileStats&) { e->SetAbort(true); };
  EXPECT_THROW(engine.CopyUncompressed(source, old), EAbort);
  EXPECT_EQ(ReadFile(old), "the old file");
  engine.OnStatus = nullptr;
  engine.CopyUncompressed(source, old);
  EXPECT_EQ(ReadFile(old), payload);
  EXPECT_EQ(Others(), std::vector<std::string>{});
}

}  // namespace
