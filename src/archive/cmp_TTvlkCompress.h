// TTvlkCompress: the archive engine. Adds files to an archive, extracts them, lists what it holds,
// writes a single-file archive onto numbered disk files, and copies a file uncompressed under the same
// replacement rule as extraction. Work runs on the calling thread; window messages are processed once per
// buffer, and a handler stops an operation by setting Abort.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/cmp_TTvlkCompress_Format.h"
#include "archive/cmp_TVersion.h"
#include "archive/routines_Compression.h"
#include "classlib/Classes.h"
#include "classlib/Streams.h"
#include "classlib/Strings.h"

enum TlzhCommand : std::uint8_t { lzcOverwrite, lzcOnlyAdd };

// The status record the engine passes to its events, refreshed before each call. Percentages and ratios
// are rounded (halves to even), 0 when the division has no answer, and clamped to 0..255.
struct TlzhFileStats {
  std::uint8_t FilePercent = 0;
  std::int64_t BytesDone = 0;
  std::string FileName;
  std::int64_t CompressedSize = 0;
  std::uint8_t Ratio = 0;
  std::int64_t OriginalSize = 0;
  TFileHeaderRecord Header;
  std::uint8_t FileDone = 0;
  std::uint8_t TotalPercent = 0;
  std::int64_t TotalBytesDone = 0;
  std::int64_t TotalCompressed = 0;
  std::uint8_t TotalRatio = 0;
  std::int64_t TotalOriginal = 0;
};

// A / B × 100, rounded half to even; 0 when B is 0 (or the quotient is not a number); clamped to 0..255.
std::uint8_t Percentage(double a, double b);

class TTvlkCompress;
using TlzhFileStatsEvent = std::function<void(TTvlkCompress* TvlkCompress, const TlzhFileStats& FileStats)>;
// Path is a directory without a trailing backslash; the handler may replace it.
using TlzhNewDiskEvent = std::function<void(TTvlkCompress* TvlkCompress, int DiskNumber, std::string& Path)>;
// Temporary names the complete new file beside Destination, which could not be replaced (it is in use).
// The handler takes the file over: it moves it or leaves it for a later exchange, or throws, and then
// the engine removes it.
using TlzhDestinationInUseEvent =
    std::function<void(TTvlkCompress* TvlkCompress, const std::string& Temporary, const std::string& Destination)>;

namespace tvk_archive {
class PendingFile;
}

class TTvlkCompress : public TComponent {
 public:
  static constexpr int kMaxFileId = 1999;  // identifiers 0..1999 are indexed

  explicit TTvlkCompress(TComponent* owner);
  ~TTvlkCompress() override;
  std::string ClassName() const override { return "TTvlkCompress"; }

  // Properties.
  bool Abort() const { return abort_; }
  void SetAbort(bool value) { abort_ = value; }
  const std::string& CompressedFile() const { return compressedFile_; }
  // Moving between the disk files of one set (same name once both extensions read ".1") keeps the table.
  void SetCompressedFile(const std::string& value);
  TCompressionLevel CompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(TCompressionLevel value) { compressionLevel_ = value; }
  const std::string& ExtractDirectory() const { return extractDirectory_; }
  void SetExtractDirectory(const std::string& value) { extractDirectory_ = value; }
  TStringList& FilesToProcess() { return filesToProcess_; }
  // Removes the blank lines from Value itself, then copies it.
  void SetFilesToProcess(TStrings& value);
  std::int32_t Offset() const { return offset_; }
  void SetOffset(std::int32_t value) { offset_ = value; }
  TOverwriteType Overwrite() const { return overwrite_; }
  void SetOverwrite(TOverwriteType value) { overwrite_ = value; }

  // Public state handlers may change during an extraction or a copy.
  std::string DestFileName;  // the next extracted file's name, without directory; empty: the entry's own
  bool SkipFile = false;     // set by OnBeforeExtracting or OnReplace to leave the current file alone

  TNotifyEvent OnAborted;
  TlzhFileStatsEvent OnAfterAdding;
  TlzhFileStatsEvent OnBeforeAdding;
  TlzhFileStatsEvent OnAfterExtracting;  // kept for stored forms; never called
  TlzhFileStatsEvent OnBeforeExtracting;
  TlzhDestinationInUseEvent OnDestinationInUse;
  TNotifyEvent OnFullDisk;
  TlzhFileStatsEvent OnListing;  // kept for stored forms; never called
  TlzhNewDiskEvent OnNewDisk;
  TlzhFileStatsEvent OnReplace;
  TlzhFileStatsEvent OnStatus;

  // Compresses the files of FilesToProcess (stored under the names given) with identifier FileId, into a
  // new archive (lzcOverwrite) or after the entries of an existing one (lzcOnlyAdd). The prefix always
  // counts the entries written completely, so an interrupted add leaves a readable archive. An abort
  // (Abort set, EtcAborted, EAbort) ends it quietly after OnAborted; other errors set Abort and propagate.
  // Data that would reach 2 GB raises ETvlkCompress "The archive %s cannot grow beyond 2 GB".
  void Add(TlzhCommand command, std::int32_t fileId);
  // Extracts the entries named by FilesToProcess into ExtractDirectory under the Overwrite rule. Each file
  // is written beside its destination under a temporary name and replaces an existing file only once it
  // is complete and checked (OnDestinationInUse when that file is in use; without a handler, ETvlkCompress
  // "Cannot create the file %s"). A file whose extraction fails or is aborted is removed before the engine
  // returns or throws, and the old file stays as it was. An entry is written under the last part of its
  // name (after "\", "/" or ":") or of DestFileName; when that part cannot be a plain file there (a
  // device, "..", a trailing dot...) EtcUnusableName "The archive entry <%s> cannot be extracted as <%s>:
  // ..." is raised before anything is written for it.
  void Extract();
  // Extracts entry Index alone, as Extract does a line of FilesToProcess: the one way to reach an entry
  // whose name an earlier entry also has. ETvlkCompress "Tried to access the %dth file. This file is not
  // defined".
  void ExtractIndex(int index);
  // Writes the single-file archive CompressedFile (at Offset) as a disk set DestDir\DiskFileName,
  // DiskFileName ending in ".1", asking OnNewDisk for each further disk.
  void TransferToDisks(const std::string& destDir, const std::string& diskFileName);
  // Copies Source to Dest under the Overwrite rule, through a temporary file as Extract does. An abort
  // raises EAbort; a failed read, a short write or a short copy raise ETvlkCompress; in each case the
  // partial copy is removed and an existing Dest stays as it was.
  void CopyUncompressed(const std::string& source, const std::string& dest);

  int FileCount();
  // ETvlkCompress "Tried to access the %dth file. This file is not defined".
  void GetFileStats(int index, TlzhFileStats& stats);
  // The index of the last entry with this identifier; -1 when there is none or it is outside 0..1999.
  int IndexOfFileId(std::int32_t fileId);
  // ETvlkCompress "Cannot open the compressed file %s", or for any damage "Could not read the file headers
  // for the compressed file. The Archive file could possible be corrupt".
  void LoadHeaders();

  // OnFullDisk when assigned, else EtcDiskFull "The disk is full". Where bytes were already lost (an add,
  // an extraction, a copy) EtcDiskFull follows a handler that returns: the operation cannot go on whole.
  virtual void DiskFull();

  const TFileHeaders& Headers() const { return headers_; }

 protected:
  // Opens (Mode fmOpenReadWrite) or creates (fmCreate) a file the engine writes an archive into: the
  // archive of an add, each disk file of a transfer. ETvlkCompress "Cannot create the file %s".
  virtual std::unique_ptr<TStream> OpenArchiveFile(const std::string& name, unsigned mode);

 private:
  enum class Operation { None, Adding, Extracting };

  void ResetTotals();
  void FillFromEntry(const TFileHeaderRecord& record);
  void EnsureLoaded();
  void ClearIdMap();
  // Runs Body under the add and extract failure rules.
  template <class Body>
  void Guarded(Body body);
  void HandleAbort();
  [[noreturn]] void LostBytes();

  void AddFiles(TlzhCommand command, std::int32_t fileId);
  void AddStatus(TStream* source, TStream* dest);
  // Runs Body as an extraction: the table loaded, the totals reset, under the failure rules.
  template <class Body>
  void Extraction(Body body);
  void ExtractOne(int index);
  // Cuts DestFileName to its file name and gives its place in ExtractDirectory. EtcUnusableName, naming
  // Entry, when that name cannot be a file there.
  std::string Destination(const std::string& entry);
  void ExtractEntry(const TFileHeader& entry, const std::string& destination);
  // Moves a complete file over its destination.
  void PutInPlace(tvk_archive::PendingFile& file);
  // Inflates Entry from the archive's position into Dest, over as many disks as it spans, reporting it.
  void Decompress(const TFileHeaderRecord& entry, TStream& dest, const std::string& corrupt);
  class InflateSteps;
  // The engine's inflate state, ready for a new stream.
  TZlibInflater& Inflater();
  // Opens disk N of CompressedFile (or, at the end of a transfer, of Name), asking OnNewDisk when the file
  // is missing. Name ends up naming the file opened.
  std::unique_ptr<TFileStream> OpenDisk(int disk, unsigned mode, std::string& name);
  std::int64_t TransferChunk(TStream& source, std::int64_t limit, std::unique_ptr<TStream>& dest,
                             std::string& destDir, const std::string& diskFileName, std::string& destName);
  void TransferFiles(const std::string& destDir, const std::string& diskFileName);
  bool SameFile(const std::string& a, const std::string& b);

  bool abort_ = false;
  std::string compressedFile_;
  TCompressionLevel compressionLevel_ = colMax;
  std::string extractDirectory_;
  TStringList filesToProcess_;
  std::int32_t offset_ = 0;
  TOverwriteType overwrite_ = owAlways;

  Operation operation_ = Operation::None;
  int currentDisk_ = 0;
  bool loaded_ = false;
  TFileHeaders headers_;
  std::array<int, kMaxFileId + 1> idMap_{};
  // Extraction's buffers and inflate state (with its output buffer) live as long as the engine: made
  // afresh for every entry, their memory costs page faults that weigh on every small file.
  std::vector<std::uint8_t> inflateInput_;
  std::unique_ptr<TZlibInflater> inflater_;
  TlzhFileStats stats_;
  std::unique_ptr<TStream> archive_;  // the archive stream of the running operation
};

// The one engine for every archive operation that needs none of its own; made at start-up.
extern TTvlkCompress* SharedArchiveEngine;
