#include <gtest/gtest.h>

#include <functional>

#include <zlib.h>

#include "archive/cmp_TTvlkCompress.h"
#include "archive_test_data.h"
#include "support/exceptions_Tavelock.h"

namespace {

using archivetest::GetInt32;
using archivetest::MessageOf;
using tvktest::ReadFile;
using tvktest::WriteFile;

// A disk file that takes at most Capacity bytes, the way a full floppy stops a write.
class TCappedStream : public TFileStream {
 public:
  TCappedStream(const std::string& name, unsigned mode, std::int64_t capacity)
      : TFileStream(name, mode), capacity_(capacity) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return TFileStream::Write(buffer, std::max<std::int64_t>(0, std::min(count, capacity_ - Position())));
  }

 private:
  std::int64_t capacity_;
};

// An engine whose disk N ("files.N") holds Capacity(N) bytes; an archive it adds to counts as disk 0.
class TSmallDiskEngine : public TTvlkCompress {
 public:
  TSmallDiskEngine() : TTvlkCompress(nullptr) {}
  std::function<std::int64_t(int)> Capacity = [](int) { return std::int64_t(1) << 40; };

 protected:
  std::unique_ptr<TStream> OpenArchiveFile(const std::string& name, unsigned mode) override {
    std::int64_t disk = 0;
    TryStrToInt(ExtractFileExt(name).substr(1), disk);
    return std::make_unique<TCappedStream>(name, mode, Capacity(int(disk)));
  }
};

struct SourceArchive {
  tvktest::ScratchDir dir;
  std::string archive = dir / "a.tvk";
  std::vector<std::string> files = {dir / "one.dat", dir / "two.dat", dir / "three.dat"};
  SourceArchive() {
    WriteFile(files[0], archivetest::RandomBytes(5000, 1));
    WriteFile(files[1], archivetest::RandomBytes(30000, 2));
    WriteFile(files[2], archivetest::SampleBytes(100, 3));
    TTvlkCompress engine(nullptr);
    archivetest::AddFiles(engine, archive, files);
  }
  std::int64_t TableEnd() const { return 5 + 172 * 3; }
};

void ExpectExtractsAll(TTvlkCompress& engine, const SourceArchive& fx, const std::string& setFirst) {
  const std::string out = fx.dir / "out";
  archivetest::ExtractFiles(engine, setFirst, out, fx.files);
  for (const auto& f : fx.files) EXPECT_EQ(ReadFile(out + "\\" + ExtractFileName(f)), ReadFile(f)) << f;
  tvktest::RemoveTree(out);
}

TEST(ArchiveDisks, OneDiskSetLayout) {
  SourceArchive fx;
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(fx.archive);
  engine.TransferToDisks(fx.dir / "set", "files.1");
  EXPECT_FALSE(os::FileExists(fx.dir / "set\\files.2"));
  const std::string disk = ReadFile(fx.dir / "set\\files.1");
  EXPECT_EQ(GetInt32(disk, 0), 3);
  EXPECT_EQ(disk[4], 1);
  std::int64_t expectedStart = fx.TableEnd();
  for (int i = 0; i < 3; ++i) {
    const std::size_t h = std::size_t(5 + 172 * i);
    EXPECT_EQ(GetInt32(disk, h + 124), std::int32_t(h + 172));  // NextHeader: the next slot
    EXPECT_EQ(disk[h + 140], 1);                                 // FirstDisk
    EXPECT_EQ(disk[h + 12], 1);                                  // LastDisk
    EXPECT_EQ(GetInt32(disk, h + 132), expectedStart);           // data follow the table without gaps
    expectedStart = GetInt32(disk, h + 16) + 1;
  }
  EXPECT_EQ(expectedStart, std::int64_t(disk.size()));
  TTvlkCompress reader(nullptr);
  ExpectExtractsAll(reader, fx, fx.dir / "set\\files.1");
}

TEST(ArchiveDisks, EntrySpanningThreeDisksWithNewDiskRequests) {
  SourceArchive fx;
  TSmallDiskEngine engine;
  // Disk 1 ends 10 bytes into entry 1's data; entry 2 (30000 stored bytes) runs over disks 2 and 3.
  std::int64_t entry1 = 0;
  {
    TTvlkCompress probe(nullptr);
    probe.SetCompressedFile(fx.archive);
    TlzhFileStats s;
    probe.GetFileStats(0, s);
    entry1 = s.CompressedSize;
  }
  const std::int64_t disk1 = fx.TableEnd() + entry1 + 10;
  engine.Capacity = [&](int disk) { return disk == 1 ? disk1 : 16384; };
  std::vector<int> asked;
  // Each new disk goes to its own folder, as if a floppy had been swapped.
  engine.OnNewDisk = [&](TTvlkCompress*, int n, std::string& path) {
    asked.push_back(n);
    path = fx.dir / ("disk" + std::to_string(n));
    os::CreateDirectory(path);
  };
  engine.SetCompressedFile(fx.archive);
  os::CreateDirectory(fx.dir / "disk1");
  engine.TransferToDisks(fx.dir / "disk1", "files.1");
  EXPECT_EQ(asked, (std::vector<int>{2, 3, 1}));  // disk 1 again for the final table
  ASSERT_EQ(os::FileSize(fx.dir / "disk1\\files.1").value_or(0), disk1);
  EXPECT_TRUE(os::FileExists(fx.dir / "disk2\\files.2"));
  EXPECT_TRUE(os::FileExists(fx.dir / "disk3\\files.3"));

  TTvlkCompress reader(nullptr);
  reader.SetCompressedFile(fx.dir / "disk1\\files.1");
  reader.LoadHeaders();
  const TFileHeaderRecord& second = reader.Headers().Items(1).Record;
  EXPECT_EQ(second.FirstDisk(), 1);
  EXPECT_EQ(second.DataStart(), disk1 - 10);
  EXPECT_EQ(second.LastDisk(), 3);
  EXPECT_EQ(reader.Headers().Items(2).Record.FirstDisk(), 3);

  // Without a handler the reader names the disk it cannot find; with one it is told where each disk is.
  EXPECT_EQ(MessageOf([&] { ExpectExtractsAll(reader, fx, fx.dir / "disk1\\files.1"); }),
            "Could not open the correct disk file 2");
  EXPECT_TRUE(reader.Abort());
  asked.clear();
  reader.OnNewDisk = [&](TTvlkCompress*, int n, std::string& path) {
    asked.push_back(n);
    path = fx.dir / ("disk" + std::to_string(n));
  };
  ExpectExtractsAll(reader, fx, fx.dir / "disk1\\files.1");
  EXPECT_EQ(asked, (std::vector<int>{2, 3}));
}

// The progress an extraction reports, as filling a 4096-byte buffer at a time makes it: one step per
// filling that produced output. Disks holds the entry's bytes on each disk it spans; each disk is read
// 65536 bytes at a time, and a filling ends early where a read finds nothing more.
std::vector<std::int64_t> FillingSteps(const std::vector<std::string>& disks) {
  z_stream z{};
  inflateInit(&z);
  std::vector<std::int64_t> steps;
  std::size_t disk = 0, at = 0;
  std::string block;
  int passes = int(disks.size());
  bool ended = false;
  while (passes > 0) {
    Bytef out[4096];
    z.next_out = out;
    z.avail_out = sizeof out;
    while (z.avail_out > 0 && !ended) {
      if (z.avail_in == 0) {
        block = disks[disk].substr(std::min(at, disks[disk].size()), 65536);
        at += block.size();
        if (block.empty()) break;
        z.next_in = reinterpret_cast<Bytef*>(block.data());
        z.avail_in = uInt(block.size());
      }
      const int result = inflate(&z, Z_NO_FLUSH);
      ended = result == Z_STREAM_END;
      if (result != Z_OK && !ended) ADD_FAILURE() << "inflate " << result;
      if (result != Z_OK && !ended) return steps;
    }
    const std::int64_t have = std::int64_t(sizeof out - z.avail_out);
    if (have > 0) {
      steps.push_back(have);
      continue;
    }
    if (ended) break;
    if (disk + 1 < disks.size()) {
      ++disk;
      at = 0;
    }
    --passes;
  }
  inflateEnd(&z);
  return steps;
}

// Extracts every entry of the set whose first disk is Files1 (its disk N lies beside it as files.N) and
// compares the steps reported with those of 4096-byte fillings.
void ExpectFillingSteps(const std::string& files1) {
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(files1);
  engine.LoadHeaders();
  const bool spanned = engine.Headers().Spanned;
  std::vector<std::vector<std::int64_t>> expected;
  for (int i = 0; i < engine.Headers().Count(); ++i) {
    const TFileHeaderRecord& r = engine.Headers().Items(i).Record;
    std::vector<std::string> disks;
    for (int d = std::max(1, int(r.FirstDisk())); d <= std::max(1, int(r.LastDisk())); ++d) {
      std::string bytes = ReadFile(spanned ? ChangeFileExt(files1, "." + std::to_string(d)) : files1);
      if (d == std::max(1, int(r.LastDisk()))) bytes.resize(std::size_t(r.EndPosition()) + 1);
      if (d == std::max(1, int(r.FirstDisk()))) bytes.erase(0, std::size_t(r.DataStart()));
      disks.push_back(bytes);
    }
    expected.push_back(FillingSteps(disks));
  }
  std::vector<std::vector<std::int64_t>> reported(expected.size());
  std::int64_t done = 0;
  std::size_t entry = 0;
  engine.OnStatus = [&](TTvlkCompress*, const TlzhFileStats& s) {
    if (s.FileDone) {
      ++entry;
      done = 0;
      return;
    }
    reported.at(entry).push_back(s.BytesDone - done);
    done = s.BytesDone;
  };
  std::vector<std::string> names;
  for (int i = 0; i < engine.Headers().Count(); ++i) names.push_back(engine.Headers().Items(i).Record.SourceName());
  archivetest::ExtractFiles(engine, files1, ExtractFilePath(files1) + "out", names);
  EXPECT_EQ(reported, expected);
}

TEST(ArchiveDisks, ExtractionStepsAreThoseOfFourKilobyteFillings) {
  tvktest::ScratchDir dir;
  std::vector<std::string> files;
  for (std::size_t size : {0, 1, 4096, 4097, 70000, 300000}) {
    files.push_back(dir / ("s" + std::to_string(size)));
    WriteFile(files.back(), archivetest::SampleBytes(size, unsigned(size)));
  }
  files.push_back(dir / "noise");
  WriteFile(files.back(), archivetest::RandomBytes(100000, 9));
  TTvlkCompress engine(nullptr);
  archivetest::AddFiles(engine, dir / "single\\a.tvk", files);
  ExpectFillingSteps(dir / "single\\a.tvk");
  // Disk ends fall anywhere inside the entries' streams; with disks of 10313 bytes one falls where inflate
  // has used up the disk's bytes but still holds output that did not fit the filling.
  for (std::int64_t capacity : {8500, 10313, 16384, 40000}) {
    SCOPED_TRACE(capacity);
    TSmallDiskEngine small;
    small.Capacity = [&](int) { return capacity; };
    small.OnNewDisk = [](TTvlkCompress*, int, std::string&) {};
    small.SetCompressedFile(dir / "single\\a.tvk");
    const std::string set = dir / ("set" + std::to_string(capacity));
    small.TransferToDisks(set, "files.1");
    ExpectFillingSteps(set + "\\files.1");
  }
}

TEST(ArchiveDisks, FullDisksWithoutRemedy) {
  SourceArchive fx;
  struct Row {
    const char* why;
    std::int64_t laterDisks;
    bool handler;
    std::string message;
  };
  const Row rows[] = {
      {"no handler for a new disk", 100000, false,
       "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted"},
      {"the new disk cannot take the rest of a chunk", 100, true, "There is too little space on this disk to operate"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TSmallDiskEngine engine;
    engine.Capacity = [&](int disk) { return disk == 1 ? 2000 : row.laterDisks; };
    if (row.handler) engine.OnNewDisk = [](TTvlkCompress*, int, std::string&) {};
    engine.SetCompressedFile(fx.archive);
    EXPECT_EQ(MessageOf([&] { engine.TransferToDisks(fx.dir / "full", "files.1"); }), row.message);
    EXPECT_TRUE(engine.Abort());
    // Disk 1 of the stopped transfer must not pass for a whole disk set.
    TTvlkCompress reader(nullptr);
    reader.SetCompressedFile(fx.dir / "full\\files.1");
    EXPECT_NE(MessageOf([&] { reader.LoadHeaders(); }), "");
    tvktest::RemoveTree(fx.dir / "full");
  }
}

// An entry whose data do not fit is never recorded: a full-disk handler that returns has not made the lost
// bytes fit, so the add fails and the archive counts, and holds, only the entries written whole.
TEST(ArchiveDisks, AddOntoAFullDiskKeepsOnlyWholeEntries) {
  SourceArchive fx;
  std::string oneEntry = ReadFile(fx.archive);
  oneEntry.resize(std::size_t(GetInt32(oneEntry, 5 + 124)));
  archivetest::PutInt32(oneEntry, 0, 1);
  const struct {
    const char* why;
    bool handler;
    TlzhCommand command;
  } rows[] = {
      {"no handler", false, lzcOverwrite},
      {"a handler that returns", true, lzcOverwrite},
      {"appending", true, lzcOnlyAdd},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    const std::string archive = fx.dir / "small.tvk";
    WriteFile(archive, oneEntry);
    TSmallDiskEngine engine;
    // The second entry's header fits, its data do not.
    engine.Capacity = [&](int) { return std::int64_t(oneEntry.size()) + 172 + 100; };
    int full = 0;
    if (row.handler) engine.OnFullDisk = [&](TObject*) { ++full; };
    const std::vector<std::string> files =
        row.command == lzcOnlyAdd ? std::vector<std::string>(fx.files.begin() + 1, fx.files.end()) : fx.files;
    EXPECT_EQ(MessageOf([&] { archivetest::AddFiles(engine, archive, files, row.command); }), "The disk is full");
    EXPECT_EQ(full, row.handler ? 1 : 0);
    EXPECT_TRUE(engine.Abort());
    EXPECT_EQ(ReadFile(archive), oneEntry);
  }
}

TEST(ArchiveDisks, AbortedTransfer) {
  SourceArchive fx;
  TTvlkCompress engine(nullptr);
  int aborted = 0;
  engine.OnAborted = [&](TObject*) { ++aborted; };
  engine.OnStatus = [](TTvlkCompress* e, const TlzhFileStats&) { e->SetAbort(true); };
  engine.SetCompressedFile(fx.archive);
  EXPECT_NO_THROW(engine.TransferToDisks(fx.dir / "set", "files.1"));
  EXPECT_EQ(aborted, 1);
  EXPECT_EQ(MessageOf([&] { engine.TransferToDisks(fx.dir / "set", "files.2"); }),
            "The first disk file files.2 must have the extension .1");
}

TEST(ArchiveDisks, CopyUncompressed) {
  tvktest::ScratchDir dir;
  const std::string data = archivetest::RandomBytes(2 * 8192);  // an exact multiple of the chunk
  WriteFile(dir / "src.bin", data);
  const TDateTime stamp = EncodeDate(2003, 3, 3);
  os::File::Open(dir / "src.bin", os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting)
      .SetLastWriteTime(stamp);
  TTvlkCompress engine(nullptr);
  std::vector<TlzhFileStats> calls;
  engine.OnStatus = [&](TTvlkCompress*, const TlzhFileStats& s) { calls.push_back(s); };

  engine.CopyUncompressed(dir / "src.bin", dir / "out\\dst.bin");
  EXPECT_EQ(ReadFile(dir / "out\\dst.bin"), data);
  EXPECT_EQ(os::FileAge(dir / "out\\dst.bin").value_or(0), stamp);
  ASSERT_EQ(calls.size(), 4u);  // two full chunks, the empty read, the end
  EXPECT_EQ(calls.back().FileDone, 1);
  EXPECT_EQ(calls.back().FilePercent, 100);
  EXPECT_EQ(engine.ExtractDirectory(), dir / "out");
  EXPECT_EQ(engine.DestFileName, "dst.bin");

  // owNever with an existing destination: nothing copied, no status call.
  calls.clear();
  WriteFile(dir / "out\\dst.bin", "kept");
  engine.SetOverwrite(owNever);
  engine.CopyUncompressed(dir / "src.bin", dir / "out\\dst.bin");
  EXPECT_EQ(ReadFile(dir / "out\\dst.bin"), "kept");
  EXPECT_TRUE(calls.empty());

  // SkipFile from one copy does not carry over to the next.
  engine.SetOverwrite(owAlways);
  engine.OnReplace = [](TTvlkCompress* e, const TlzhFileStats&) { e->SkipFile = true; };
  engine.CopyUncompressed(dir / "src.bin", dir / "out\\dst.bin");
  EXPECT_EQ(ReadFile(dir / "out\\dst.bin"), "kept");
  engine.OnReplace = nullptr;
  engine.CopyUncompressed(dir / "src.bin", dir / "out\\dst.bin");
  EXPECT_EQ(ReadFile(dir / "out\\dst.bin"), data);

  // A file copied onto itself under another spelling stays whole.
  engine.CopyUncompressed(dir / "src.bin", UpperCase(dir / "src.bin"));
  EXPECT_EQ(ReadFile(dir / "src.bin"), data);

  // An abort raises EAbort and leaves no partial copy.
  engine.OnStatus = [](TTvlkCompress* e, const TlzhFileStats&) { e->SetAbort(true); };
  EXPECT_THROW(engine.CopyUncompressed(dir / "src.bin", dir / "out\\aborted.bin"), EAbort);
  EXPECT_FALSE(os::FileExists(dir / "out\\aborted.bin"));
  EXPECT_EQ(MessageOf([&] { engine.CopyUncompressed(dir / "none.bin", dir / "out\\x.bin"); }),
            "Cannot open the file " + dir / "none.bin");
}

}  // namespace
