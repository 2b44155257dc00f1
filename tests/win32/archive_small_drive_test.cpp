// Full disks as Windows reports them: drives R: and S: are 64 KB file systems mapped into the prefix.
#include <gtest/gtest.h>

#include "archive/cmp_TTvlkCompress.h"
#include "support/exceptions_Tavelock.h"
#include "support/test_support.h"

#include <random>

namespace {

using tvktest::ReadFile;
using tvktest::WriteFile;

std::string Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = char(random());
  return data;
}

void EmptyDrive(const std::string& drive) {
  for (const auto& f : os::FindFiles(drive + "\\*"))
    if (!f.directory) os::DeleteFile(drive + "\\" + f.name);
}

class SmallDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!os::DirectoryExists("R:\\") || !os::DirectoryExists("S:\\"))
      GTEST_SKIP() << "drives R: and S: are not mapped (the small-drive fixture needs root to mount them)";
    EmptyDrive("R:");
    EmptyDrive("S:");
    // Two files that do not compress: about 150 KB of archive, more than two small disks hold.
    WriteFile(dir / "one.bin", Noise(90000, 1));
    WriteFile(dir / "two.bin", Noise(60000, 2));
    TStringList files;
    files.Add(dir / "one.bin");
    files.Add(dir / "two.bin");
    TTvlkCompress engine(nullptr);
    engine.SetCompressedFile(archive);
    engine.SetFilesToProcess(files);
    engine.Add(lzcOverwrite, 1);
  }
  void TearDown() override {
    EmptyDrive("R:");
    EmptyDrive("S:");
  }

  tvktest::ScratchDir dir;
  std::string archive = dir / "a.tvk";
};

TEST_F(SmallDrive, TransferAsksForNewDisksAndTheSetExtracts) {
  // One drive played as a floppy drive: each full disk is taken out (moved aside) and an empty one put in.
  TTvlkCompress engine(nullptr);
  std::vector<int> asked;
  engine.OnNewDisk = [&](TTvlkCompress*, int disk, std::string& path) {
    asked.push_back(disk);
    for (const auto& f : os::FindFiles("R:\\*")) os::MoveFile("R:\\" + f.name, dir / f.name);
    if (disk == 1) os::MoveFile(dir / "files.1", "R:\\files.1");
    path = "R:";
  };
  engine.SetCompressedFile(archive);
  engine.TransferToDisks("R:", "files.1");
  EXPECT_FALSE(engine.Abort());
  ASSERT_GE(asked.size(), 3u);
  EXPECT_EQ(asked.front(), 2);
  EXPECT_EQ(asked.back(), 1);  // disk 1 once more for the final table
  const int disks = asked[asked.size() - 2];
  EXPECT_EQ(disks, 3);

  // Gather the set in one folder and read it back.
  for (const auto& f : os::FindFiles("R:\\*")) os::MoveFile("R:\\" + f.name, dir / f.name);
  TTvlkCompress reader(nullptr);
  reader.SetCompressedFile(dir / "files.1");
  reader.SetExtractDirectory(dir / "out");
  TStringList names;
  names.Add(dir / "one.bin");
  names.Add(dir / "two.bin");
  reader.SetFilesToProcess(names);
  reader.Extract();
  EXPECT_EQ(ReadFile(dir / "out\\one.bin"), ReadFile(dir / "one.bin"));
  EXPECT_EQ(ReadFile(dir / "out\\two.bin"), ReadFile(dir / "two.bin"));
}

TEST_F(SmallDrive, TransferOntoADiskThatStaysFull) {
  // The "new" disk is the same full drive: nothing of the rest fits.
  TTvlkCompress engine(nullptr);
  engine.OnNewDisk = [](TTvlkCompress*, int, std::string& path) { path = "R:"; };
  engine.SetCompressedFile(archive);
  try {
    engine.TransferToDisks("R:", "files.1");
    FAIL() << "the transfer went through";
  } catch (const ETvlkCompress& e) {
    EXPECT_EQ(e.Message(), "There is too little space on this disk to operate");
  }
  EXPECT_TRUE(engine.Abort());
  // What is left on the drive does not read as a disk set.
  TTvlkCompress reader(nullptr);
  reader.SetCompressedFile("R:\\files.1");
  EXPECT_THROW(reader.LoadHeaders(), ETvlkCompress);
}

TEST_F(SmallDrive, ExtractionOntoAFullDriveLeavesNothingBehind) {
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory("S:\\dict");
  TStringList names;
  names.Add(dir / "one.bin");
  engine.SetFilesToProcess(names);
  try {
    engine.Extract();
    FAIL() << "90000 bytes fitted on a 64 KB drive";
  } catch (const EtcDiskFull& e) {
    EXPECT_EQ(e.Message(), "The disk is full");
  }
  EXPECT_TRUE(engine.Abort());
  EXPECT_FALSE(os::FileExists("S:\\dict\\one.bin"));

  // With a handler that lets it go on, the short file still fails its size check and is removed.
  int full = 0;
  engine.OnFullDisk = [&](TObject*) { ++full; };
  engine.SetFilesToProcess(names);
  EXPECT_THROW(engine.Extract(), ETvlkCompress);
  EXPECT_GE(full, 1);
  EXPECT_FALSE(os::FileExists("S:\\dict\\one.bin"));

  // The uncompressed copy fails the same way and removes its partial copy.
  engine.OnFullDisk = nullptr;
  EXPECT_THROW(engine.CopyUncompressed(dir / "one.bin", "S:\\copy.bin"), EtcDiskFull);
  EXPECT_FALSE(os::FileExists("S:\\copy.bin"));
}

// The old file stays whole when its replacement does not fit beside it, and no part of the new one stays.
TEST_F(SmallDrive, AFullDriveKeepsTheFileBeingReplaced) {
  const std::string old = Noise(20000, 3);
  os::CreateDirectory("S:\\kept");
  WriteFile("S:\\kept\\one.bin", old);
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory("S:\\kept");
  TStringList names;
  names.Add(dir / "one.bin");
  engine.SetFilesToProcess(names);
  EXPECT_THROW(engine.Extract(), EtcDiskFull);
  EXPECT_TRUE(ReadFile("S:\\kept\\one.bin") == old);
  EXPECT_EQ(os::FindFiles("S:\\kept\\*").size(), 1u);
  os::DeleteFile("S:\\kept\\one.bin");
  os::RemoveDirectory("S:\\kept");
}

}  // namespace
