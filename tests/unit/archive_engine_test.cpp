#include <gtest/gtest.h>

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

TEST(ArchiveEngine, RoundTripsAtEdgeSizes) {
  std::cout << "seed " << archivetest::kSeed << "\n";
  tvktest::ScratchDir dir;
  std::vector<std::string> files;
  std::vector<std::size_t> sizes = {0, 1, 4095, 4096, 4097, 8192, 65535, 65536, 65537, 300000};
  for (std::size_t size : sizes) {
    files.push_back(dir / ("f" + std::to_string(size) + ".dat"));
    WriteFile(files.back(), archivetest::SampleBytes(size, archivetest::kSeed + unsigned(size)));
    ASSERT_TRUE(os::File::Open(files.back(), os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting)
                    .SetLastWriteTime(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0)));
  }
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "a.tvk", files, lzcOverwrite, 12);

  std::vector<TlzhFileStats> finals;
  engine.OnStatus = [&](TTvlkCompress*, const TlzhFileStats& s) {
    if (s.FileDone) finals.push_back(s);
  };
  archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out", files);
  ASSERT_EQ(finals.size(), sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    const std::string out = dir / ("out\\" + ExtractFileName(files[i]));
    EXPECT_EQ(ReadFile(out), ReadFile(files[i]));
    EXPECT_EQ(os::FileAge(out).value_or(0), EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0));
    EXPECT_EQ(finals[i].BytesDone, std::int64_t(sizes[i]));
    EXPECT_EQ(finals[i].FilePercent, sizes[i] == 0 ? 0 : 100);
  }
  EXPECT_EQ(finals.back().TotalPercent, 100);
  EXPECT_FALSE(engine.Abort());
  EXPECT_EQ(engine.FilesToProcess().Count(), 0);
}

TEST(ArchiveEngine, AppendKeepsEntriesAndOverwriteDropsThem) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "one", "first file");
  WriteFile(dir / "two", "second file");
  const std::string archive = dir / "sub\\dir\\a.tvk";  // missing folders are made
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, archive, {dir / "one"}, lzcOnlyAdd, 5);  // a missing archive is created
  const std::string afterOne = ReadFile(archive);
  archivetest::AddFiles(engine, archive, {dir / "two"}, lzcOnlyAdd, 6);
  const std::string afterTwo = ReadFile(archive);
  EXPECT_EQ(afterTwo.substr(5, afterOne.size() - 5), afterOne.substr(5));  // old entry untouched
  EXPECT_EQ(GetInt32(afterTwo, 0), 2);
  EXPECT_EQ(engine.FileCount(), 2);
  engine.LoadHeaders();
  EXPECT_EQ(engine.IndexOfFileId(5), 0);
  EXPECT_EQ(engine.IndexOfFileId(6), 1);
  EXPECT_EQ(engine.IndexOfFileId(7), -1);  // no entry must not read as entry 0
  EXPECT_EQ(engine.IndexOfFileId(-1), -1);
  EXPECT_EQ(engine.IndexOfFileId(2000), -1);

  archivetest::AddFiles(engine, archive, {dir / "two"}, lzcOverwrite, 6);
  EXPECT_EQ(engine.FileCount(), 1);
  engine.LoadHeaders();
  EXPECT_EQ(engine.IndexOfFileId(5), -1);
  TlzhFileStats stats;
  engine.GetFileStats(0, stats);
  EXPECT_EQ(stats.FileName, dir / "two");
  EXPECT_EQ(stats.OriginalSize, 11);
  EXPECT_EQ(MessageOf([&] { engine.GetFileStats(1, stats); }), "Tried to access the 1th file. This file is not defined");
}

TEST(ArchiveEngine, AbortDuringAddLeavesAReadableArchive) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "small", "small file");
  WriteFile(dir / "big", archivetest::RandomBytes(300000));
  const std::string archive = dir / "a.tvk";
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, archive, {dir / "small"});
  const std::string before = ReadFile(archive);

  // Each way of stopping: the flag seen at the next status step, or a handler's silent EAbort.
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "EAbort" : "Abort flag");
    int aborted = 0;
    engine.OnAborted = [&](TObject*) { ++aborted; };
    engine.OnStatus = [&](TTvlkCompress* e, const TlzhFileStats& s) {
      if (s.FileName != dir / "big") return;
      if (silent) ::Abort();
      e->SetAbort(true);
    };
    EXPECT_NO_THROW(archivetest::AddFiles(engine, archive, {dir / "big", dir / "small"}, lzcOnlyAdd));
    EXPECT_EQ(aborted, 1);
    EXPECT_TRUE(engine.Abort());
    EXPECT_EQ(ReadFile(archive), before);  // the unfinished entry is gone, the prefix never counted it
    EXPECT_EQ(engine.FileCount(), 1);
  }
}

TEST(ArchiveEngine, ExtractionRules) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "src.txt", "new contents");
  const TDateTime stamp = EncodeDate(2010, 6, 1);
  os::File::Open(dir / "src.txt", os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting)
      .SetLastWriteTime(stamp);
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "a.tvk", {dir / "src.txt"});
  const std::string dest = dir / "out\\src.txt";

  // Unversioned files tie on version, so the dates decide under owVersionDate as under owDate.
  struct Row {
    const char* why;
    TOverwriteType mode;
    bool exists;
    TDateTime destDate;
    bool replaced;
  };
  const Row rows[] = {
      {"always over a newer file", owAlways, true, stamp + 10, true},
      {"never over an older file", owNever, true, stamp - 10, false},
      {"never with no destination", owNever, false, 0, true},
      {"date: destination older", owDate, true, stamp - 1, true},
      {"date: destination newer", owDate, true, stamp + 1, false},
      {"date: same date", owDate, true, stamp, false},
      {"version and date: tie, destination older", owVersionDate, true, stamp - 1, true},
      {"version and date: tie, destination newer", owVersionDate, true, stamp + 1, false},
      {"version: unversioned both, missing destination", owVersion, false, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    tvktest::RemoveTree(dir / "out");
    if (row.exists) {
      os::CreateDirectory(dir / "out");
      WriteFile(dest, "old");
      os::File::Open(dest, os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting)
          .SetLastWriteTime(row.destDate);
    }
    int statusCalls = 0, doneCalls = 0;
    engine.OnStatus = [&](TTvlkCompress*, const TlzhFileStats& s) {
      ++statusCalls;
      doneCalls += s.FileDone;
    };
    engine.SetOverwrite(row.mode);
    archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out", {dir / "src.txt"});
    EXPECT_EQ(ReadFile(dest), row.replaced ? "new contents" : "old");
    EXPECT_EQ(doneCalls, 1);
    if (!row.replaced) {
      EXPECT_EQ(statusCalls, 1);
    }
  }
}

TEST(ArchiveEngine, ExtractionEventsAndNames) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "a.txt", "AAA");
  WriteFile(dir / "b.txt", "BBB");
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "a.tvk", {dir / "a.txt", dir / "b.txt"});

  bool unexpected = false;
  engine.OnAfterExtracting = [&](TTvlkCompress*, const TlzhFileStats&) { unexpected = true; };
  engine.OnListing = [&](TTvlkCompress*, const TlzhFileStats&) { unexpected = true; };
  engine.OnBeforeExtracting = [&](TTvlkCompress* e, const TlzhFileStats& s) {
    if (s.FileName == dir / "a.txt") e->DestFileName = "C:\\ignored\\renamed.txt";  // only the name part counts
    if (s.FileName == dir / "b.txt") e->SkipFile = true;
  };
  archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out", {dir / "A.TXT;field", dir / "b.txt"});
  EXPECT_EQ(ReadFile(dir / "out\\renamed.txt"), "AAA");
  EXPECT_FALSE(os::FileExists(dir / "out\\b.txt"));
  EXPECT_FALSE(unexpected);
  EXPECT_EQ(engine.DestFileName, "");

  // A missing name stops the extraction at that line.
  engine.OnBeforeExtracting = nullptr;
  EXPECT_EQ(MessageOf([&] {
              archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out2", {dir / "missing.txt", dir / "a.txt"});
            }),
            "The file <" + dir / "missing.txt" + "> was not found in the archive <" + dir / "a.tvk" + ">");
  EXPECT_TRUE(engine.Abort());
  EXPECT_FALSE(os::FileExists(dir / "out2\\a.txt"));
  EXPECT_EQ(engine.FilesToProcess().Count(), 0);

  EXPECT_EQ(MessageOf([&] { archivetest::ExtractFiles(engine, dir / "a.tvk", "", {dir / "a.txt"}); }),
            "Unable to create directory");
  engine.SetCompressedFile(dir / "none.tvk");
  EXPECT_EQ(MessageOf([&] { engine.LoadHeaders(); }), "Cannot open the compressed file " + dir / "none.tvk");
  EXPECT_EQ(MessageOf([&] { engine.DiskFull(); }), "The disk is full");
}

// Damage inside an entry: each row ends in an error naming the entry, no partial file stays behind, and a
// file the entry was to replace stays as it was.
TEST(ArchiveEngine, DamagedEntriesFailCleanly) {
  tvktest::ScratchDir dir;
  const std::string payload = archivetest::SampleBytes(200000);
  WriteFile(dir / "p.dat", payload);
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "a.tvk", {dir / "p.dat"});
  const std::string good = ReadFile(dir / "a.tvk");
  const std::string corrupt = "The compressed data of the file " + dir / "p.dat" + " is corrupt";
  const std::string sizeMismatch =
      "The decompressed file's size does not match with the actual size of the file.  The file is " + dir / "p.dat";
  const std::int32_t end = GetInt32(good, 5 + 16);
  struct Row {
    const char* why;
    std::function<void(std::string&)> damage;
    std::string message;
  };
  const Row rows[] = {
      {"DataStart past the end", [](std::string& b) { PutInt32(b, 5 + 132, 1 << 24); }, corrupt},
      {"DataStart negative", [](std::string& b) { PutInt32(b, 5 + 132, -100); }, corrupt},
      {"EndPosition past the end", [=](std::string& b) { PutInt32(b, 5 + 16, end + 10); }, corrupt},
      {"EndPosition before DataStart", [](std::string& b) { PutInt32(b, 5 + 16, 100); }, corrupt},
      {"stream cut short", [=](std::string& b) { PutInt32(b, 5 + 16, end - 50); }, corrupt},
      {"bytes after the stream's end", [=](std::string& b) { b += "junk"; PutInt32(b, 5 + 16, end + 4); }, corrupt},
      {"flipped bits in the data", [](std::string& b) { for (int i = 0; i < 64; ++i) b[400 + i] ^= 0x55; }, corrupt},
      {"OriginalSize too small", [](std::string& b) { PutInt32(b, 5 + 128, 1000); }, sizeMismatch},
      {"OriginalSize too large", [](std::string& b) { PutInt32(b, 5 + 128, 300000); }, sizeMismatch},
      {"disk numbers in a single file", [](std::string& b) { b[5 + 12] = 3; }, corrupt},
      {"date far outside the calendar", [](std::string& b) { b[5 + 11] = char(0xc9); },
       "Cannot set the date of the file just extracted."},
  };
  for (const Row& row : rows) {
    for (const bool replacing : {false, true}) {
      SCOPED_TRACE(std::string(row.why) + (replacing ? ", replacing a file" : ""));
      std::string bytes = good;
      row.damage(bytes);
      WriteFile(dir / "bad.tvk", bytes);
      engine.SetCompressedFile(dir / "bad.tvk");
      engine.LoadHeaders();
      os::CreateDirectory(dir / "out");
      if (replacing) WriteFile(dir / "out\\p.dat", "the old file");
      EXPECT_EQ(MessageOf([&] { archivetest::ExtractFiles(engine, dir / "bad.tvk", dir / "out", {dir / "p.dat"}); }),
                row.message);
      if (replacing) EXPECT_EQ(ReadFile(dir / "out\\p.dat"), "the old file");
      else EXPECT_FALSE(os::FileExists(dir / "out\\p.dat"));
      EXPECT_EQ(os::FindFiles(dir / "out\\*").size(), replacing ? 1u : 0u) << "no temporary file stays";
      os::DeleteFile(dir / "out\\p.dat");
      engine.SetCompressedFile("");
    }
  }
}

TEST(ArchiveEngine, AbortDuringExtractRemovesThePartialFile) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "p.dat", archivetest::RandomBytes(100000));
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "a.tvk", {dir / "p.dat"});
  int aborted = 0;
  engine.OnAborted = [&](TObject*) { ++aborted; };
  engine.OnStatus = [](TTvlkCompress* e, const TlzhFileStats& s) {
    if (s.BytesDone > 10000) e->SetAbort(true);
  };
  EXPECT_NO_THROW(archivetest::ExtractFiles(engine, dir / "a.tvk", dir / "out", {dir / "p.dat"}));
  EXPECT_EQ(aborted, 1);
  EXPECT_TRUE(engine.Abort());
  EXPECT_FALSE(os::FileExists(dir / "out\\p.dat"));
}

TEST(ArchiveEngine, AddRefusesToGrowPastTwoGigabytes) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "x", "x");
  const std::string archive = dir / "big.tvk";
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, archive, {dir / "x"});
  // Stretch the one entry (sparsely) so that it ends just below 2 GB.
  std::string bytes = ReadFile(archive);
  const std::int32_t next = 0x7fffffa0;  // too close for one more header and its data
  PutInt32(bytes, 5 + 16, next - 1);
  PutInt32(bytes, 5 + 124, next);
  WriteFile(archive, bytes);
  {
    os::File f = os::File::Open(archive, os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting);
    ASSERT_EQ(f.Seek(next, os::Origin::Begin), next);
    ASSERT_TRUE(f.SetEnd());
  }
  EXPECT_EQ(MessageOf([&] { archivetest::AddFiles(engine, archive, {dir / "x"}, lzcOnlyAdd); }),
            "The archive " + archive + " cannot grow beyond 2 GB");
  EXPECT_EQ(os::FileSize(archive).value_or(0), next);
  std::string prefix(5, '\0');
  os::File::Open(archive, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting).Read(prefix.data(), 5);
  EXPECT_EQ(GetInt32(prefix, 0), 1);
}

TEST(ArchiveEngine, Percentages) {
  struct Row {
    double a, b;
    int expected;
  };
  // 295000 / 1000000 × 100 is 29.5 as a double, a hair under it in the x87's wider registers.
  const Row rows[] = {{1, 2, 50},  {1, 8, 12}, {3, 8, 38},     {5, 200, 2},     {0, 0, 0},
                      {5, 0, 0},   {-5, 100, 0}, {600, 100, 255}, {295000, 1000000, 30}};
  for (const Row& row : rows) EXPECT_EQ(Percentage(row.a, row.b), row.expected) << row.a << "/" << row.b;
}

}  // namespace
