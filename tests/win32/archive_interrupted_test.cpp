// An extraction whose process is ended half-way, as a crash or a power cut would end it: the file it was
// replacing stays as it was, and the one temporary file it leaves goes with the next extraction of the
// same file.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "archive/cmp_TTvlkCompress.h"
#include "support/test_support.h"
#include "support/win32_process.h"

namespace {

TEST(InterruptedExtraction, KeepsTheOldFileAndTheNextRunTidiesUp) {
  tvktest::ScratchDir dir;
  std::mt19937 random(7);
  std::string words(2000000, '\0');
  for (char& c : words) c = char('a' + random() % 26);
  tvktest::WriteFile(dir / "American.dct", words);
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(dir / "files.1");
  engine.FilesToProcess().Add(dir / "American.dct");
  engine.Add(lzcOverwrite, 1);
  ASSERT_TRUE(os::CreateDirectory(dir / "dest"));
  tvktest::WriteFile(dir / "dest\\American.dct", "old words");

  const std::string command = "\"" + tvktest::ProgramDir() + "extract_probe.exe\" \"" + (dir / "files.1") + "\" \"" +
                              (dir / "dest") + "\" \"" + (dir / "American.dct") + "\"";
  tvktest::Process slow = tvktest::StartProcess(command + " slow");
  ASSERT_TRUE(slow);
  const std::string temporary = dir / "dest\\American.dct.tvkpart";
  for (int i = 0; i < 400 && os::FileSize(temporary).value_or(0) < 100000; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_GE(os::FileSize(temporary).value_or(0), 100000) << "the extraction did not get under way";
  slow.Terminate();
  EXPECT_EQ(tvktest::ReadFile(dir / "dest\\American.dct"), "old words");
  EXPECT_EQ(os::FindFiles(dir / "dest\\*").size(), 2u) << "the old file and one temporary file";

  EXPECT_EQ(tvktest::RunAndWait(command, 60000), std::optional<unsigned long>(0));
  EXPECT_TRUE(tvktest::ReadFile(dir / "dest\\American.dct") == words);
  EXPECT_EQ(os::FindFiles(dir / "dest\\*").size(), 1u);
}

}  // namespace
