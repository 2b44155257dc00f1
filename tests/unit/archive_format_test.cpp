#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "archive/cmp_TTvlkCompress.h"
#include "archive_test_data.h"
#include "support/exceptions_Tavelock.h"

namespace {

using archivetest::GetInt32;
using archivetest::MessageOf;
using archivetest::PutInt32;
using tvktest::ReadFile;
using tvktest::WriteFile;

const std::string kCorruptTable =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";

// Two files in a single-file archive: "a.txt" (300 bytes) and "b.bin" (empty).
struct TwoFileArchive {
  tvktest::ScratchDir dir;
  std::string archive = dir / "out\\test.tvk";
  std::string a = dir / "a.txt";
  std::string b = dir / "b.bin";
  TwoFileArchive() {
    WriteFile(a, archivetest::SampleBytes(300));
    WriteFile(b, "");
    TTvlkCompress engine(nullptr);
    archivetest::AddFiles(engine, archive, {a, b}, lzcOverwrite, 7);
  }
};

TEST(ArchiveFormat, SingleFileLayoutByteForByte) {
  TwoFileArchive fx;
  const std::string bytes = ReadFile(fx.archive);
  EXPECT_EQ(GetInt32(bytes, 0), 2);
  EXPECT_EQ(bytes[4], 0);

  std::size_t header = 5;
  for (const std::string& name : {fx.a, fx.b}) {
    SCOPED_TRACE(name);
    const std::int32_t dataStart = GetInt32(bytes, header + 132);
    const std::int32_t compressed = GetInt32(bytes, header + 136);
    EXPECT_EQ(dataStart, std::int32_t(header + 172));
    EXPECT_EQ(GetInt32(bytes, header + 16), dataStart + compressed - 1);  // EndPosition
    EXPECT_EQ(GetInt32(bytes, header + 124), dataStart + compressed);     // NextHeader
    EXPECT_EQ(GetInt32(bytes, header + 144), 7);                          // FileId
    EXPECT_EQ(std::uint8_t(bytes[header + 20]), name.size());
    EXPECT_EQ(bytes.substr(header + 21, name.size()), name);
    // The name's unused bytes, the version text of an unversioned file and every reserved byte are zero.
    EXPECT_EQ(bytes.substr(header + 21 + name.size(), 100 - name.size()), std::string(100 - name.size(), '\0'));
    EXPECT_EQ(bytes.substr(header + 148, 24), std::string(24, '\0'));
    for (std::size_t at : {13, 121, 141}) EXPECT_EQ(bytes.substr(header + at, 3), std::string(3, '\0'));
    EXPECT_EQ(bytes[header + 12], 0);   // LastDisk
    EXPECT_EQ(bytes[header + 140], 0);  // FirstDisk
    header = std::size_t(dataStart + compressed);
  }
  EXPECT_EQ(header, bytes.size());  // the last NextHeader is the archive's length
  EXPECT_EQ(GetInt32(bytes, 5 + 0), 1);  // EntryNumber
  EXPECT_EQ(GetInt32(bytes, 5 + 128), 300);
}

TEST(ArchiveFormat, SourceNamesAreCutToOneHundredCharacters) {
  tvktest::ScratchDir dir;
  const std::string base = dir / "";
  ASSERT_LT(base.size(), 90u);
  const std::string exact = base + std::string(100 - base.size(), 'e');
  const std::string longer = base + std::string(130 - base.size(), 'l');
  WriteFile(exact, "exact");
  WriteFile(longer, "longer");
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "names.tvk", {exact, longer});

  EXPECT_EQ(engine.FileCount(), 2);
  EXPECT_EQ(engine.Headers().Items(0).Record.SourceName(), exact);
  EXPECT_EQ(engine.Headers().Items(1).Record.SourceName(), longer.substr(0, 100));
  engine.LoadHeaders();
  EXPECT_EQ(engine.Headers().IndexOfName(UpperCase(exact) + ";ignored;fields"), 0);
  EXPECT_EQ(engine.Headers().IndexOfName(longer), -1);
  EXPECT_EQ(engine.Headers().IndexOfName(longer.substr(0, 100)), 1);
}

TEST(ArchiveFormat, NameLookupFindsTheFirstMatchAndFollowsChanges) {
  TFileHeaders headers;
  auto add = [&](const char* name) {
    auto header = std::make_unique<TFileHeader>();
    header->Record.SetSourceName(name);
    headers.Add(std::move(header));
  };
  for (const char* name : {"C:\\a.txt", "C:\\B.txt", "c:\\b.TXT"}) add(name);
  EXPECT_EQ(headers.IndexOfName("c:\\b.txt;more"), 1);  // the first of the two
  headers.Items(1).Record.SetSourceName("C:\\renamed.txt");
  EXPECT_EQ(headers.IndexOfName("c:\\b.txt"), 2);
  EXPECT_EQ(headers.IndexOfName("C:\\RENAMED.TXT"), 1);
  headers.Clear();
  add("C:\\b.txt");
  EXPECT_EQ(headers.IndexOfName("c:\\b.txt"), 0);
  EXPECT_EQ(headers.IndexOfName("c:\\a.txt"), -1);
}

TEST(ArchiveFormat, ReadingAtAnOffsetInsideALargerFile) {
  TwoFileArchive fx;
  const std::string archive = ReadFile(fx.archive);
  const std::string embedded = fx.dir / "setup.exe";
  WriteFile(embedded, archivetest::RandomBytes(40000) + archive + "trailer of the self-extractor");

  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(embedded);
  engine.SetOffset(40000);
  ASSERT_EQ(engine.FileCount(), 2);
  archivetest::ExtractFiles(engine, embedded, fx.dir / "x", {fx.a, fx.b});
  EXPECT_EQ(ReadFile(fx.dir / "x\\a.txt"), archivetest::SampleBytes(300));
  EXPECT_EQ(ReadFile(fx.dir / "x\\b.bin"), "");
}

TEST(ArchiveFormat, RecordClampsItsLengthBytes) {
  TFileHeaderRecord record;
  record.Bytes()[20] = 255;
  record.Bytes()[148] = 200;
  std::memset(record.Bytes() + 21, 'n', 100);
  std::memset(record.Bytes() + 149, 'v', 20);
  EXPECT_EQ(record.SourceName(), std::string(100, 'n'));
  EXPECT_EQ(record.VersionText(), std::string(20, 'v'));
  record.SetVersionText("1.2.3.4.5.6.7.8.9.10.11");
  EXPECT_EQ(record.VersionText(), "1.2.3.4.5.6.7.8.9.10");
  record.SetFileDate(45000.5);
  EXPECT_EQ(record.FileDate(), 45000.5);
}

// Damage to the table: every row must end in the table error, never a crash, a hang or a huge allocation.
TEST(ArchiveFormat, DamagedTablesAreRejected) {
  TwoFileArchive fx;
  const std::string good = ReadFile(fx.archive);
  const std::size_t second = std::size_t(GetInt32(good, 5 + 124));
  struct Row {
    const char* why;
    std::function<void(std::string&)> damage;
    std::string message;
  };
  const Row rows[] = {
      {"prefix cut short", [](std::string& b) { b.resize(3); }, kCorruptTable},
      {"negative count", [](std::string& b) { PutInt32(b, 0, -1); }, kCorruptTable},
      {"count larger than the file", [](std::string& b) { PutInt32(b, 0, 0x7fffffff); }, kCorruptTable},
      {"count one too many", [](std::string& b) { PutInt32(b, 0, 3); }, kCorruptTable},
      {"NextHeader pointing back", [](std::string& b) { PutInt32(b, 5 + 124, 5); }, kCorruptTable},
      {"NextHeader inside its own header", [](std::string& b) { PutInt32(b, 5 + 124, 100); }, kCorruptTable},
      {"NextHeader past the end", [](std::string& b) { PutInt32(b, 5 + 124, 1 << 30); }, kCorruptTable},
      {"NextHeader negative", [](std::string& b) { PutInt32(b, 5 + 124, -2000000000); }, kCorruptTable},
      {"second header cut short", [=](std::string& b) { b.resize(second + 100); }, kCorruptTable},
      {"blank source name", [](std::string& b) { b[5 + 20] = 1; b[5 + 21] = ' '; }, kCorruptTable},
  };
  TTvlkCompress engine(nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    std::string bytes = good;
    row.damage(bytes);
    const std::string file = fx.dir / "damaged.tvk";
    WriteFile(file, bytes);
    engine.SetCompressedFile("");
    engine.SetCompressedFile(file);
    EXPECT_EQ(MessageOf([&] { engine.LoadHeaders(); }), row.message);
  }
}

TEST(ArchiveFormat, TableReaderMessagesAndLimits) {
  TFileHeaders headers;
  TMemoryStream empty;
  EXPECT_EQ(MessageOf([&] { headers.ReadFrom(empty, 0); }), "Could not read the file header count for the compressed file");
  TMemoryStream prefixOnly;
  WriteArchivePrefix(prefixOnly, 0, true);
  headers.ReadFrom(prefixOnly, 0);
  EXPECT_EQ(headers.Count(), 0);
  EXPECT_TRUE(headers.Spanned);
  EXPECT_EQ(MessageOf([&] { headers.GetFileHeaders(0); }),
            "0 is an invalid TFileHeader index in TFileHeaders.GetFileHeaders");
  EXPECT_EQ(MessageOf([&] { headers.Add(std::make_unique<TFileHeader>()); }), "Tried to add an invalid file header");
  EXPECT_EQ(MessageOf([&] { TFileHeader().BuildFromSource("C:\\no\\such\\file.txt;x"); }),
            "Cannot open the file C:\\no\\such\\file.txt");
}

}  // namespace
