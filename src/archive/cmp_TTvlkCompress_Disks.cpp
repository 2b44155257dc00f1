// The engine's transfer of a single-file archive onto numbered disk files, and its uncompressed copy.
#include <algorithm>
#include <vector>

#include "archive/cmp_TTvlkCompress.h"
#include "archive/cmp_TTvlkCompress_Internal.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

using namespace tvk_archive;

namespace {

constexpr int kChunk = 8192;
constexpr int kMaxDisks = 255;  // disk numbers are stored in one byte

std::string DiskName(const std::string& dir, const std::string& diskFileName, int disk) {
  return WithTrailingBackslash(dir) + ChangeFileExt(ExtractFileName(diskFileName), "." + std::to_string(disk));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Transfer to disks

std::unique_ptr<TStream> TTvlkCompress::OpenArchiveFile(const std::string& name, unsigned mode) {
  return OpenStream(name, mode, kCannotCreateFile);
}

void TTvlkCompress::TransferToDisks(const std::string& destDir, const std::string& diskFileName) {
  abort_ = false;
  const bool spanned = headers_.Spanned;
  const ScopeExit end([&] {
    // The table now describes the disk set, not CompressedFile: read it afresh next time.
    loaded_ = false;
    headers_.Spanned = spanned;
    archive_.reset();
  });
  try {
    TransferFiles(destDir, diskFileName);
  } catch (const EtcAborted&) {
    if (OnAborted) OnAborted(this);
  } catch (const Exception&) {
    abort_ = true;
    throw;
  }
}

void TTvlkCompress::TransferFiles(const std::string& destDirectory, const std::string& diskFileName) {
  if (ExtractFileExt(diskFileName) != ".1")
    throw ETvlkCompress("The first disk file %s must have the extension .1", {diskFileName});
  EnsureLoaded();
  if (headers_.Spanned) throw ETvlkCompress("The archive %s is already a disk set", {compressedFile_});
  currentDisk_ = 1;
  headers_.Spanned = true;
  ResetTotals();

  std::string destDir = destDirectory;
  archive_ = OpenStream(compressedFile_, fmOpenRead | fmShareDenyNone, kCannotOpenArchive);
  TStream& source = *archive_;
  const std::int64_t sourceSize = source.Size();
  std::string destName = WithTrailingBackslash(destDir) + ExtractFileName(diskFileName);
  CreateDirectoryPath(destDir);
  std::unique_ptr<TStream> dest = OpenArchiveFile(destName, fmCreate);

  // Until the final table replaces it, disk 1 carries a count no reader accepts, so a transfer that
  // stops early never leaves a disk set that looks whole.
  headers_.WriteTo(*dest);
  dest->SetPosition(0);
  WriteArchivePrefix(*dest, -1, true);
  dest->Seek(0, TSeekOrigin::soEnd);

  for (int i = 0; i < headers_.Count(); ++i) {
    TFileHeaderRecord& record = headers_.Items(i).Record;
    FillFromEntry(record);
    const std::int64_t start = std::int64_t(offset_) + record.DataStart();
    const std::int64_t limit = std::int64_t(offset_) + record.EndPosition();
    if (start < 0 || limit < start - 1 || limit >= sourceSize)
      throw ETvlkCompress(kCorruptEntry, {record.SourceName()});
    source.SetPosition(start);
    record.SetDataStart(std::int32_t(dest->Position()));
    record.SetFirstDisk(std::uint8_t(currentDisk_));
    while (TransferChunk(source, limit, dest, destDir, diskFileName, destName) != 0) {
    }
    record.SetEndPosition(std::int32_t(dest->Position() - 1));
    record.SetLastDisk(std::uint8_t(currentDisk_));
  }

  dest.reset();
  archive_.reset();
  std::unique_ptr<TFileStream> first = OpenDisk(1, fmOpenReadWrite | fmShareDenyNone, destName);
  headers_.WriteTo(*first);
}

std::int64_t TTvlkCompress::TransferChunk(TStream& source, std::int64_t limit, std::unique_ptr<TStream>& dest,
                                          std::string& destDir, const std::string& diskFileName,
                                          std::string& destName) {
  if (abort_) throw EtcAborted(kAborted);
  const std::int64_t position = source.Position();
  if (position > limit) return 0;
  char buffer[kChunk];
  const std::int64_t want = std::min<std::int64_t>(kChunk, limit - position + 1);
  const std::int64_t got = source.Read(buffer, want);
  if (got <= 0) throw ETvlkCompress("Cannot read the compressed file %s", {compressedFile_});
  ProcessMessages();
  const std::int64_t written = std::max<std::int64_t>(dest->Write(buffer, got), 0);
  if (written < got) {
    dest.reset();
    if (currentDisk_ >= kMaxDisks) throw ETvlkCompress("A disk set cannot have more than %d disks", {kMaxDisks});
    ++currentDisk_;
    if (!OnNewDisk)
      throw ETvlkCompress(
          "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted");
    OnNewDisk(this, currentDisk_, destDir);
    destName = DiskName(destDir, diskFileName, currentDisk_);
    CreateDirectoryPath(destDir);
    dest = OpenArchiveFile(destName, fmCreate);
    if (dest->Write(buffer + written, got - written) < got - written)
      throw ETvlkCompress("There is too little space on this disk to operate");
  }
  stats_.BytesDone += got;
  stats_.FilePercent = Percentage(double(stats_.BytesDone), double(stats_.CompressedSize));
  stats_.TotalBytesDone += got;
  stats_.TotalPercent = Percentage(double(stats_.TotalBytesDone), double(stats_.TotalCompressed));
  if (OnStatus) OnStatus(this, stats_);
  return got;
}

// ---------------------------------------------------------------------------------------------------
// Uncompressed copy

bool TTvlkCompress::SameFile(const std::string& a, const std::string& b) {
  auto fullA = os::FullPathName(a);
  auto fullB = os::FullPathName(b);
  if (!fullA || !fullB) return SameText(a, b);
  if (SameText(*fullA, *fullB)) return true;
  // Another spelling of one file: its short name against its long one.
  auto shortA = os::ShortPathName(*fullA);
  auto shortB = os::ShortPathName(*fullB);
  return shortA && shortB && SameText(*shortA, *shortB);
}

void TTvlkCompress::CopyUncompressed(const std::string& source, const std::string& dest) {
  abort_ = false;
  offset_ = 0;
  SkipFile = false;
  extractDirectory_ = WithoutTrailingBackslash(ExtractFilePath(dest));
  DestFileName = ExtractFileName(dest);
  CheckFileName(source, EntryFileName(dest));
  std::string target = dest;

  bool replace = true;
  if (os::FileExists(target)) {
    TFileNewerResult r = TVersionResource::IsFileNewerByName(source, target, overwrite_);
    if (r == fnCompareFailed) throw ETvlkCompress(kCompareFailed);
    replace = r != fnSame && r != fnKeep;
    if (replace && OnReplace) {
      OnReplace(this, TlzhFileStats{});
      target = Destination(source);
    }
  }
  if (!replace || SkipFile) return;
  // Creating the destination would empty the source before a byte was read.
  if (SameFile(source, target)) return;

  stats_ = TlzhFileStats{};
  stats_.FileName = source;
  auto input = OpenStream(source, fmOpenRead | fmShareDenyNone, kCannotOpenFile);
  stats_.OriginalSize = input->Size();
  CreateDirectoryPath(ExtractFilePath(target));
  PendingFile pending(target);
  TFileStream* output = &pending.Stream();

  std::vector<char> buffer(kChunk);
  for (;;) {
    if (abort_) ::Abort();
    const std::int64_t got = input->Handle().Read(buffer.data(), kChunk);
    if (got < 0) throw ETvlkCompress("Cannot read the file %s", {source});
    if (std::max<std::int64_t>(output->Write(buffer.data(), got), 0) < got) LostBytes();
    stats_.BytesDone += got;
    stats_.TotalBytesDone += got;
    stats_.FilePercent = Percentage(double(stats_.BytesDone), double(stats_.OriginalSize));
    stats_.TotalPercent = Percentage(double(stats_.TotalBytesDone), double(stats_.OriginalSize));
    if (OnStatus) OnStatus(this, stats_);
    ProcessMessages();
    if (got < kChunk) break;
  }
  if (stats_.BytesDone != stats_.OriginalSize) throw ETvlkCompress("The file %s was not copied completely", {source});
  auto date = input->Handle().LastWriteTime();
  if (!date || !output->Handle().SetLastWriteTime(*date))
    throw ETvlkCompress("Cannot set the date of the file just extracted.");
  stats_.FileDone = 1;
  if (OnStatus) OnStatus(this, stats_);
  PutInPlace(pending);
}
