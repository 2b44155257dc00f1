// The same input at the same level makes the same archive, byte for byte, in every build: the native and
// the Windows builds both check against the one digest below.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "archive/cmp_TTvlkCompress.h"
#include "support/test_support.h"

namespace {

std::uint64_t Fnv1a(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

TEST(ArchiveIdentity, SameBytesInEveryBuild) {
  tvktest::ScratchDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "word" + std::to_string(i * 7919 % 10007) + (i % 13 ? " " : "\r\n");
  tvktest::WriteFile(dir / "words.txt", text);
  {
    os::File f = os::File::Open(dir / "words.txt", os::Access::Write, os::Share::DenyNone, os::Disposition::OpenExisting);
    ASSERT_TRUE(f.SetLastWriteTime(45000.5));  // a fixed date: it is stored in the header
  }
  for (TCompressionLevel level : {colFastest, colMax}) {
    TTvlkCompress engine(nullptr);
    engine.SetCompressionLevel(level);
    engine.SetCompressedFile(dir / "words.1");
    engine.FilesToProcess().Clear();
    engine.FilesToProcess().Add("words.txt");  // stored under this name, read from the current directory
    const std::string previous = os::CurrentDirectory();
    ASSERT_TRUE(os::SetCurrentDirectory(dir.Path()));
    engine.Add(lzcOverwrite, 7);
    os::SetCurrentDirectory(previous);
    const std::uint64_t digest = Fnv1a(tvktest::ReadFile(dir / "words.1"));
    char shown[32];
    std::snprintf(shown, sizeof shown, "%016llx", static_cast<unsigned long long>(digest));
    EXPECT_EQ(std::string(shown), level == colMax ? "b98945fed64731f2" : "5e64b071325ba7e1") << "level " << int(level);
  }
}

}  // namespace
