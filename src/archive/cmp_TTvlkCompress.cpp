#include "archive/cmp_TTvlkCompress.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "archive/cmp_TTvlkCompress_Internal.h"
#include "archive/routines_EntryNames.h"
#include "classlib/Forms.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

namespace {

constexpr int kInputBuffer = 65536;
constexpr std::size_t kOutputBuffer = 4096;  // the unit of extraction progress
// Inflate's output between writes. zlib copies the last 32 KB of every call's output into its window, and
// each write has a fixed cost of its own (higher under Wine): 256 KB makes both rare while the buffer still
// sits in the cache.
constexpr std::size_t kWriteBuffer = 262144;
constexpr TDateTime kFirstDate = -693593.0;   // 0001-01-01
constexpr TDateTime kPastLastDate = 2958466.0;  // 10000-01-01

TTvlkCompress* MakeSharedArchiveEngine() {
  static std::unique_ptr<TTvlkCompress> engine = std::make_unique<TTvlkCompress>(nullptr);
  return engine.get();
}

// A temporary file that is gone again on every path.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string name) : name_(std::move(name)) {}
  ~TemporaryFile() { os::DeleteFile(name_); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

}  // namespace

TTvlkCompress* SharedArchiveEngine = MakeSharedArchiveEngine();

namespace tvk_archive {

void ProcessMessages() {
  // Once per buffer would be every 4 KB of output: under Wine looking for messages that often costs more
  // than inflating. A look at most every 10 ms keeps the window just as responsive (Windows' tick is 10
  // to 16 ms, so that is every tick there; Wine's is 1 ms).
  static std::uint32_t last = 0;
  const std::uint32_t now = os::TickCount();
  if (now - last < 10) return;
  last = now;
  if (Application != nullptr) Application->ProcessMessages();
}

std::unique_ptr<TFileStream> OpenStream(const std::string& name, unsigned mode, const char* message) {
  try {
    return std::make_unique<TFileStream>(name, mode);
  } catch (const EStreamError&) {
    throw ETvlkCompress(message, {name});
  }
}

std::string EntryFileName(const std::string& path) {
  return path.substr(TvkFileNameStart(path.data(), path.size()));
}

void CheckFileName(const std::string& entry, const std::string& name) {
  if (!TvkIsSafeFileName(name.data(), name.size()))
    throw EtcUnusableName(TranslateFormat(kUnusableName), {entry, name});
}

PendingFile::PendingFile(std::string destination)
    : destination_(std::move(destination)), temporary_(destination_ + ".tvkpart") {
  os::DeleteFile(temporary_);
  try {
    stream_ = std::make_unique<TFileStream>(temporary_, fmCreate);
  } catch (const EStreamError&) {
    throw ETvlkCompress(kCannotCreateFile, {destination_});
  }
}

PendingFile::~PendingFile() {
  if (!armed_) return;
  stream_.reset();
  os::DeleteFile(temporary_);
}

}  // namespace tvk_archive

using namespace tvk_archive;

std::uint8_t Percentage(double a, double b) { return std::uint8_t(std::clamp(RoundedPercent(a, b), 0.0, 255.0)); }

TTvlkCompress::TTvlkCompress(TComponent* owner) : TComponent(owner) { ClearIdMap(); }

TTvlkCompress::~TTvlkCompress() = default;

void TTvlkCompress::SetCompressedFile(const std::string& value) {
  if (SameText(value, compressedFile_)) return;
  if (loaded_ && !SameText(ChangeFileExt(value, ".1"), ChangeFileExt(compressedFile_, ".1"))) loaded_ = false;
  compressedFile_ = value;
}

void TTvlkCompress::SetFilesToProcess(TStrings& value) {
  for (int i = value.Count() - 1; i >= 0; --i)
    if (Trim(value.Get(i)).empty()) value.Delete(i);
  filesToProcess_.Assign(&value);
}

void TTvlkCompress::DiskFull() {
  if (OnFullDisk) OnFullDisk(this);
  else throw EtcDiskFull("The disk is full");
}

void TTvlkCompress::LostBytes() {
  DiskFull();
  throw EtcDiskFull("The disk is full");
}

void TTvlkCompress::ClearIdMap() { idMap_.fill(-1); }

void TFileHeader::BuildFromSource(const std::string& itemText) {
  SetSource(itemText);
  const std::string& name = SourceFile;
  {
    os::File file = os::File::Open(name, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
    if (!file) throw ETvlkCompress("Cannot open the file %s", {name});
    auto date = file.LastWriteTime();
    const std::int64_t size = file.Size();
    if (!date || size < 0) throw ETvlkCompress("Cannot open the file %s", {name});
    SetSourceFacts(*date, size);
  }
  TVersionResource& reader = SharedVersionResource();
  reader.SetFileName(name);
  Record.SetVersionText(reader.VersionInfo()->FileVersion());
}

void TTvlkCompress::LoadHeaders() {
  if (!os::FileExists(compressedFile_)) throw ETvlkCompress(kCannotOpenArchive, {compressedFile_});
  auto file = OpenStream(compressedFile_, fmOpenRead | fmShareDenyNone, kCannotOpenArchive);
  loaded_ = false;
  ClearIdMap();
  try {
    headers_.ReadFrom(*file, offset_);
  } catch (const Exception&) {
    throw ETvlkCompress(kCannotReadHeaders);
  }
  for (int i = 0; i < headers_.Count(); ++i) {
    std::int32_t id = headers_.Items(i).Record.FileId();
    if (id >= 0 && id <= kMaxFileId) idMap_[std::size_t(id)] = i;
  }
  loaded_ = true;
}

void TTvlkCompress::EnsureLoaded() {
  if (!loaded_) LoadHeaders();
}

int TTvlkCompress::FileCount() {
  if (operation_ != Operation::Adding) EnsureLoaded();
  return headers_.Count();
}

void TTvlkCompress::GetFileStats(int index, TlzhFileStats& stats) {
  if (index < 0 || index >= FileCount())
    throw ETvlkCompress("Tried to access the %dth file. This file is not defined", {index});
  ResetTotals();
  FillFromEntry(headers_.Items(index).Record);
  stats = stats_;
}

int TTvlkCompress::IndexOfFileId(std::int32_t fileId) {
  EnsureLoaded();
  if (fileId < 0 || fileId > kMaxFileId) return -1;
  return idMap_[std::size_t(fileId)];
}

void TTvlkCompress::ResetTotals() {
  stats_.TotalBytesDone = 0;
  stats_.TotalPercent = 0;
  stats_.FileDone = 0;
  stats_.TotalOriginal = headers_.TotalOriginal();
  stats_.TotalCompressed = headers_.TotalCompressed();
  stats_.TotalRatio = Percentage(double(stats_.TotalCompressed), double(stats_.TotalOriginal));
}

void TTvlkCompress::FillFromEntry(const TFileHeaderRecord& record) {
  stats_.FileName = record.SourceName();
  stats_.OriginalSize = record.OriginalSize();
  stats_.CompressedSize = record.CompressedSize();
  stats_.BytesDone = 0;
  stats_.FilePercent = 0;
  stats_.FileDone = 0;
  stats_.Ratio = Percentage(double(stats_.CompressedSize), double(stats_.OriginalSize));
  stats_.Header = record;
}

void TTvlkCompress::HandleAbort() {
  abort_ = true;
  if (OnAborted) OnAborted(this);
}

template <class Body>
void TTvlkCompress::Guarded(Body body) {
  try {
    body();
  } catch (const EtcAborted&) {
    HandleAbort();
  } catch (const EAbort&) {
    // A handler's silent stop is still a stop: the caller must not take the operation as done.
    HandleAbort();
  } catch (const Exception&) {
    abort_ = true;
    throw;
  }
}

std::unique_ptr<TFileStream> TTvlkCompress::OpenDisk(int disk, unsigned mode, std::string& name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (headers_.Spanned) name = ChangeFileExt(name, "." + std::to_string(disk));
    if (!os::FileExists(name)) {
      if (!OnNewDisk) throw ETvlkCompress("Could not open the correct disk file %d", {disk});
      std::string path = WithoutTrailingBackslash(ExtractFilePath(name));
      OnNewDisk(this, disk, path);
      name = WithTrailingBackslash(path) + ExtractFileName(name);
    }
    if (os::FileExists(name)) return OpenStream(name, mode, kCannotOpenArchive);
  }
  throw ETvlkCompress(kCannotOpenArchive, {name});
}

// ---------------------------------------------------------------------------------------------------
// Add

void TTvlkCompress::Add(TlzhCommand command, std::int32_t fileId) {
  abort_ = false;
  operation_ = Operation::Adding;
  headers_.Spanned = false;
  offset_ = 0;
  bool done = false;
  const ScopeExit end([&] {
    loaded_ = false;
    // The table built for an unfinished add lists entries that were never written; read the file instead.
    if (!done) operation_ = Operation::None;
    archive_.reset();
    filesToProcess_.Clear();
  });
  Guarded([&] {
    AddFiles(command, fileId);
    done = true;
  });
}

void TTvlkCompress::AddStatus(TStream* source, TStream* dest) {
  if (abort_) throw EtcAborted(kAborted);
  ProcessMessages();
  if (dest == nullptr) throw ETvlkCompress("AddStatus has Nil DestFile");
  std::int64_t p = source->Position();
  stats_.TotalBytesDone += p - stats_.BytesDone - 1;
  stats_.BytesDone = p - 1;
  stats_.CompressedSize = dest->Size();
  stats_.FilePercent = Percentage(double(stats_.BytesDone), double(stats_.OriginalSize));
  stats_.TotalPercent = Percentage(double(stats_.TotalBytesDone), double(stats_.TotalOriginal));
  if (OnStatus) OnStatus(this, stats_);
}

void TTvlkCompress::AddFiles(TlzhCommand command, std::int32_t fileId) {
  CreateDirectoryPath(WithoutTrailingBackslash(ExtractFilePath(compressedFile_)));
  const bool append = command == lzcOnlyAdd && os::FileExists(compressedFile_);
  archive_ = OpenArchiveFile(compressedFile_, append ? fmOpenReadWrite | fmShareDenyNone : fmCreate);
  TStream& archive = *archive_;

  // The prefix always counts the entries written completely, so that an add stopped at any point
  // leaves an archive whose every counted entry is whole.
  std::int32_t completed = 0;
  std::int64_t end = kArchivePrefixSize;
  if (append) {
    headers_.ReadFrom(archive, 0);
    if (headers_.Spanned) throw ETvlkCompress("Files cannot be added to the disk set %s", {compressedFile_});
    completed = headers_.Count();
    const std::int64_t size = archive.Size();
    if (completed > 0) {
      std::int64_t next = headers_.Items(completed - 1).Record.NextHeader();
      end = next >= kArchivePrefixSize && next <= size ? next : size;
    }
  }
  archive.SetPosition(0);
  WriteArchivePrefix(archive, completed, false);
  // Anything after the last whole entry is what an interrupted add left; new entries replace it.
  archive.SetSize(end);
  headers_.BuildFromList(filesToProcess_, append);

  ResetTotals();
  stats_.TotalCompressed = 0;
  try {
    for (int i = 0; i < headers_.Count(); ++i) {
      TFileHeader& header = headers_.Items(i);
      if (header.Loaded) continue;
      const std::string sourceName = header.SourceFile;
      TemporaryFile temp(TempFileName(false));
      auto source = OpenStream(sourceName, fmOpenRead | fmShareDenyNone, kCannotOpenFile);
      auto compressed = OpenStream(temp.Name(), fmCreate, kCannotCreateFile);

      FillFromEntry(header.Record);
      stats_.CompressedSize = 0;
      if (OnBeforeAdding) OnBeforeAdding(this, stats_);
      {
        TCompressionStream zip(compressionLevel_, *compressed);
        zip.OnProgress = [&](TObject*) { AddStatus(source.get(), compressed.get()); };
        zip.CopyFrom(*source, 0);
        zip.Finish();
      }
      const std::int64_t compressedSize = compressed->Size();
      stats_.CompressedSize = compressedSize;
      stats_.Ratio = Percentage(double(compressedSize), double(stats_.OriginalSize));
      stats_.FileDone = 1;
      AddStatus(source.get(), compressed.get());
      stats_.FileDone = 0;

      // Every position in the format is a signed 32-bit number.
      const std::int64_t headerPosition = archive.Position();
      if (compressedSize > std::numeric_limits<std::int32_t>::max() - TFileHeaderRecord::kSize - headerPosition)
        throw ETvlkCompress("The archive %s cannot grow beyond 2 GB", {compressedFile_});
      header.WriteTo(archive);
      header.Record.SetDataStart(std::int32_t(archive.Position()));
      try {
        archive.CopyFrom(*compressed, 0);
      } catch (const EStreamError&) {
        LostBytes();
      }
      stats_.TotalCompressed += compressedSize;
      const std::int64_t position = archive.Position();
      header.Record.SetEndPosition(std::int32_t(position - 1));
      header.Record.SetNextHeader(std::int32_t(position));
      header.Record.SetCompressedSize(std::int32_t(compressedSize));
      header.Record.SetFileId(fileId);
      if (fileId >= 0 && fileId <= kMaxFileId) idMap_[std::size_t(fileId)] = i;

      archive.SetPosition(headerPosition);
      header.WriteTo(archive);
      archive.SetPosition(0);
      WriteArchivePrefix(archive, ++completed, false);
      archive.SetPosition(position);
      end = position;
      stats_.Header = header.Record;

      if (OnAfterAdding) OnAfterAdding(this, stats_);
    }
  } catch (...) {
    // Drop the unfinished entry's bytes; the prefix already leaves them out.
    try {
      archive.SetSize(end);
    } catch (const Exception&) {
    }
    throw;
  }
}

// ---------------------------------------------------------------------------------------------------
// Extract

template <class Body>
void TTvlkCompress::Extraction(Body body) {
  abort_ = false;
  operation_ = Operation::Extracting;
  const ScopeExit end([&] {
    archive_.reset();
    filesToProcess_.Clear();
    DestFileName.clear();
  });
  Guarded([&] {
    EnsureLoaded();
    currentDisk_ = 0;
    ResetTotals();
    body();
  });
}

void TTvlkCompress::Extract() {
  Extraction([&] {
    for (int line = 0; line < filesToProcess_.Count(); ++line) {
      const std::string item = filesToProcess_.Get(line);
      const int index = headers_.IndexOfName(item);
      if (index < 0) throw ETvlkCompress("The file <%s> was not found in the archive <%s>", {item, compressedFile_});
      ExtractOne(index);
    }
  });
}

void TTvlkCompress::ExtractIndex(int index) {
  Extraction([&] {
    if (index < 0 || index >= headers_.Count())
      throw ETvlkCompress("Tried to access the %dth file. This file is not defined", {index});
    ExtractOne(index);
  });
}

void TTvlkCompress::ExtractOne(int index) {
  SkipFile = false;
  const TFileHeader& entry = headers_.Items(index);

  FillFromEntry(entry.Record);
  if (Trim(DestFileName).empty()) DestFileName = EntryFileName(entry.Record.SourceName());
  if (OnBeforeExtracting) OnBeforeExtracting(this, stats_);
  std::string destination = Destination(entry.Record.SourceName());

  bool replace = true;
  if (os::FileExists(destination)) {
    TFileNewerResult r = TVersionResource::IsFileNewer(entry.Record.VersionText(), destination, overwrite_,
                                                       entry.Record.FileDate());
    if (r == fnCompareFailed) throw ETvlkCompress(kCompareFailed);
    replace = r != fnSame && r != fnKeep;
    if (replace && OnReplace) {
      OnReplace(this, stats_);
      destination = Destination(entry.Record.SourceName());
    }
  }
  if (SkipFile) replace = false;

  if (replace) {
    ExtractEntry(entry, destination);
  } else {
    stats_.FileDone = 1;
    if (OnStatus) OnStatus(this, stats_);
  }
  DestFileName.clear();
}

std::string TTvlkCompress::Destination(const std::string& entry) {
  DestFileName = EntryFileName(DestFileName);
  CheckFileName(entry, DestFileName);
  return WithTrailingBackslash(extractDirectory_) + DestFileName;
}

void TTvlkCompress::ExtractEntry(const TFileHeader& entry, const std::string& destination) {
  const TFileHeaderRecord& record = entry.Record;
  const std::string corrupt = Format(kCorruptEntry, {record.SourceName()});
  // Disk numbers must run forward; a single file has no disks to move between.
  if (headers_.Spanned ? record.FirstDisk() < 1 || record.LastDisk() < record.FirstDisk()
                       : record.LastDisk() != record.FirstDisk())
    throw ETvlkCompress(corrupt);

  archive_ = OpenDisk(record.FirstDisk() == 0 ? 1 : record.FirstDisk(), fmOpenRead | fmShareDenyNone, compressedFile_);
  currentDisk_ = record.FirstDisk();
  // Positions are checked against the disk before the destination is touched.
  const std::int64_t size = archive_->Size();
  const std::int64_t start = std::int64_t(offset_) + record.DataStart();
  const std::int64_t last = std::int64_t(offset_) + record.EndPosition();
  if (start < 0 || start > size) throw ETvlkCompress(corrupt);
  if (record.LastDisk() == record.FirstDisk() && (last < start - 1 || last >= size)) throw ETvlkCompress(corrupt);

  CreateDirectoryPath(ExtractFilePath(destination));
  PendingFile dest(destination);
  archive_->SetPosition(start);
  Decompress(record, dest.Stream(), corrupt);
  stats_.FileDone = 1;
  if (OnStatus) OnStatus(this, stats_);
  if (dest.Stream().Size() != record.OriginalSize()) throw ETvlkCompress(kSizeMismatch, {record.SourceName()});
  // The stored date is untrusted too: only years 1 to 9999 are dates at all.
  const TDateTime date = record.FileDate();
  if (!(date >= kFirstDate && date < kPastLastDate) || !dest.Stream().Handle().SetLastWriteTime(date))
    throw ETvlkCompress("Cannot set the date of the file just extracted.");
  archive_.reset();
  PutInPlace(dest);
}

void TTvlkCompress::PutInPlace(PendingFile& file) {
  file.Close();
  if (os::MoveFileReplacing(file.TemporaryName(), file.Destination())) {
    file.Keep();
    return;
  }
  // The old file could not be replaced, most often because it is in use: the handler may take the
  // complete file over and see to the exchange itself.
  if (!os::FileExists(file.Destination()) || !OnDestinationInUse)
    throw ETvlkCompress(kCannotCreateFile, {file.Destination()});
  OnDestinationInUse(this, file.TemporaryName(), file.Destination());
  file.Keep();
}

// One entry's inflation, in the steps in which its output is reported.
//
// Output is reported, checked for an abort and paced with the window messages in steps of kOutputBuffer
// bytes: a step is what one filling of a 4096-byte buffer holds, cut short only where a read finds no more
// bytes or the stream ends. Inflate runs ahead of the steps into one larger buffer, which goes to the disk
// in one write; inflating 4096 bytes per call would cost a tenth of the speed. The buffer holds
//   [reported, not yet written | inflated, not yet reported | room]
class TTvlkCompress::InflateSteps {
 public:
  InflateSteps(TTvlkCompress& engine, const TFileHeaderRecord& entry, TStream& dest)
      : engine_(engine),
        entry_(entry),
        dest_(dest),
        limit_(std::int64_t(engine.offset_) + entry.EndPosition()),
        inflater_(engine.Inflater()),
        z_(inflater_.Stream()),
        input_(engine.inflateInput_),
        output_(inflater_.Output()),
        capacity_(inflater_.OutputSize()) {
    z_.next_in = nullptr;
    z_.avail_in = 0;
    input_.resize(kInputBuffer);
  }

  // The size of the next step; 0 when the bytes read so far are used up: the stream ended, or a read
  // found no more (the disk's end, or the entry's). ETvlkCompress Corrupt when inflate failed before it.
  std::size_t Next(const std::string& corrupt) {
    if (ahead_ < kOutputBuffer && !dry_ && !ended_ && !damaged_) InflateAhead();
    if (ahead_ >= kOutputBuffer) return kOutputBuffer;
    if (damaged_) throw ETvlkCompress(corrupt);
    dry_ = false;
    return ahead_;
  }
  // The step is reported: its bytes go out with the next write.
  void Take(std::size_t step) {
    reported_ += step;
    ahead_ -= step;
  }
  // Writes what is reported and moves the rest to the buffer's start.
  void Write() {
    if (reported_ > 0 && dest_.Write(output_, std::int64_t(reported_)) != std::int64_t(reported_))
      engine_.LostBytes();
    std::memmove(output_, output_ + reported_, ahead_);
    reported_ = 0;
  }
  bool Ended() const { return ended_; }
  // The entry's bytes were read past what the stream used.
  bool InputLeft() const { return z_.avail_in > 0 || engine_.archive_->Position() <= limit_; }

 private:
  void InflateAhead() {
    Write();
    while (!ended_) {
      if (z_.avail_in == 0) {
        const std::int64_t got = Read();
        if (got <= 0) {
          dry_ = true;
          return;
        }
        z_.next_in = input_.data();
        z_.avail_in = uInt(got);
      }
      std::size_t room = capacity_ - ahead_;
      if (stepwise_) room = std::min(room, kOutputBuffer - ahead_ % kOutputBuffer);
      if (room == 0) return;
      z_.next_out = output_ + ahead_;
      z_.avail_out = uInt(room);
      const int result = inflater_.Inflate();
      ahead_ += room - z_.avail_out;
      if (result == Z_STREAM_END) ended_ = true;
      else if (result != Z_OK) damaged_ = true;
      if (damaged_ || capacity_ == ahead_) return;
    }
  }
  // The next input from the current disk, never past the entry's last byte on its last disk.
  std::int64_t Read() {
    TStream& archive = *engine_.archive_;
    std::int64_t want = kInputBuffer;
    const bool lastDisk = engine_.currentDisk_ == entry_.LastDisk();
    if (lastDisk) {
      const std::int64_t position = archive.Position();
      if (position > limit_) return 0;
      want = std::min(want, limit_ - position + 1);
    }
    const std::int64_t got = archive.Read(input_.data(), want);
    // Near the end of a disk that is not the entry's last, the steps must fall exactly where 4096-byte
    // fillings would put them, for inflate may still hold output when the disk's bytes run out.
    stepwise_ = !lastDisk && archive.Position() >= archive.Size();
    return got;
  }

  TTvlkCompress& engine_;
  const TFileHeaderRecord& entry_;
  TStream& dest_;
  const std::int64_t limit_;  // the entry's last byte on its last disk
  TZlibInflater& inflater_;
  z_stream& z_;
  std::vector<Bytef>& input_;
  Bytef* const output_;
  const std::size_t capacity_;
  std::size_t reported_ = 0;
  std::size_t ahead_ = 0;
  bool dry_ = false;      // a read found no more bytes, and the step it cuts short is still to come
  bool ended_ = false;    // the stream's end was decoded
  bool damaged_ = false;  // inflate failed after the bytes ahead
  bool stepwise_ = false;
};

TZlibInflater& TTvlkCompress::Inflater() {
  if (!inflater_) inflater_ = std::make_unique<TZlibInflater>(kWriteBuffer);
  else inflater_->Reset();
  return *inflater_;
}

void TTvlkCompress::Decompress(const TFileHeaderRecord& entry, TStream& dest, const std::string& corrupt) {
  int passes = entry.LastDisk() - currentDisk_ + 1;
  if (passes <= 0) return;
  InflateSteps steps(*this, entry, dest);
  std::int64_t produced = 0;
  while (passes > 0) {
    const std::size_t step = steps.Next(corrupt);
    if (abort_) throw EtcAborted(kAborted);
    ProcessMessages();
    if (step > 0) {
      // More output than recorded can only be damage; stop before writing it.
      if (std::int64_t(step) > entry.OriginalSize() - produced) throw ETvlkCompress(kSizeMismatch, {entry.SourceName()});
      steps.Take(step);
      produced += std::int64_t(step);
      stats_.BytesDone += std::int64_t(step);
      stats_.TotalBytesDone += std::int64_t(step);
      stats_.FilePercent = Percentage(double(stats_.BytesDone), double(stats_.OriginalSize));
      stats_.TotalPercent = Percentage(double(stats_.TotalBytesDone), double(stats_.TotalOriginal));
      if (OnStatus) OnStatus(this, stats_);
      continue;
    }
    if (steps.Ended()) break;
    if (currentDisk_ < entry.LastDisk()) {
      ++currentDisk_;
      archive_.reset();  // the finished disk is let go before the next one is asked for
      archive_ = OpenDisk(currentDisk_, fmOpenRead | fmShareDenyNone, compressedFile_);
    }
    --passes;
  }
  steps.Write();
  // The stream must end exactly where the entry's bytes end.
  if (!steps.Ended() || currentDisk_ < entry.LastDisk() || steps.InputLeft()) throw ETvlkCompress(corrupt);
}
