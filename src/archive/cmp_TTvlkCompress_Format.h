// The bytes of an archive: the 5-byte prefix, the 172-byte entry header, and the in-memory table of
// contents (TFileHeader, TFileHeaders) with its reading and writing.
//
// Both layouts share the header. Single-file: prefix, then each header followed by its data, chained by
// NextHeader. Disk set: prefix and the whole table at the start of disk file 1, then the data of every
// entry in order, running on over "files.2", "files.3"...
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/types_Distribution.h"
#include "classlib/Classes.h"
#include "classlib/Streams.h"
#include "classlib/Strings.h"

inline constexpr int kArchivePrefixSize = TVK_PREFIX_SIZE;

// One header record as stored, byte for byte. Readers clamp the two length bytes to their fields, so a
// crafted length never reaches past the record.
class TFileHeaderRecord {
 public:
  static constexpr int kSize = TVK_HEADER_SIZE;
  static constexpr int kMaxSourceName = TVK_HEADER_MAX_SOURCE_NAME;
  static constexpr int kMaxVersionText = TVK_HEADER_MAX_VERSION_TEXT;

  std::int32_t EntryNumber() const { return GetInt(TVK_HEADER_ENTRY_NUMBER); }
  void SetEntryNumber(std::int32_t value) { SetInt(TVK_HEADER_ENTRY_NUMBER, value); }
  TDateTime FileDate() const;
  void SetFileDate(TDateTime value);
  std::uint8_t LastDisk() const { return bytes_[TVK_HEADER_LAST_DISK]; }
  void SetLastDisk(std::uint8_t value) { bytes_[TVK_HEADER_LAST_DISK] = value; }
  std::int32_t EndPosition() const { return GetInt(TVK_HEADER_END_POSITION); }
  void SetEndPosition(std::int32_t value) { SetInt(TVK_HEADER_END_POSITION, value); }
  std::string SourceName() const { return GetText(TVK_HEADER_SOURCE_NAME, kMaxSourceName); }
  void SetSourceName(const std::string& value) { SetText(TVK_HEADER_SOURCE_NAME, kMaxSourceName, value); }  // cut to 100
  std::int32_t NextHeader() const { return GetInt(TVK_HEADER_NEXT_HEADER); }
  void SetNextHeader(std::int32_t value) { SetInt(TVK_HEADER_NEXT_HEADER, value); }
  std::int32_t OriginalSize() const { return GetInt(TVK_HEADER_ORIGINAL_SIZE); }
  void SetOriginalSize(std::int32_t value) { SetInt(TVK_HEADER_ORIGINAL_SIZE, value); }
  std::int32_t DataStart() const { return GetInt(TVK_HEADER_DATA_START); }
  void SetDataStart(std::int32_t value) { SetInt(TVK_HEADER_DATA_START, value); }
  std::int32_t CompressedSize() const { return GetInt(TVK_HEADER_COMPRESSED_SIZE); }
  void SetCompressedSize(std::int32_t value) { SetInt(TVK_HEADER_COMPRESSED_SIZE, value); }
  std::uint8_t FirstDisk() const { return bytes_[TVK_HEADER_FIRST_DISK]; }
  void SetFirstDisk(std::uint8_t value) { bytes_[TVK_HEADER_FIRST_DISK] = value; }
  std::int32_t FileId() const { return GetInt(TVK_HEADER_FILE_ID); }
  void SetFileId(std::int32_t value) { SetInt(TVK_HEADER_FILE_ID, value); }
  std::string VersionText() const { return GetText(TVK_HEADER_VERSION_TEXT, kMaxVersionText); }
  void SetVersionText(const std::string& value) { SetText(TVK_HEADER_VERSION_TEXT, kMaxVersionText, value); }  // cut to 20

  std::uint8_t* Bytes() { return bytes_.data(); }
  const std::uint8_t* Bytes() const { return bytes_.data(); }
  bool operator==(const TFileHeaderRecord&) const = default;

 private:
  std::int32_t GetInt(int at) const;
  void SetInt(int at, std::int32_t value);
  std::string GetText(int at, int capacity) const;
  void SetText(int at, int capacity, const std::string& value);

  std::array<std::uint8_t, kSize> bytes_{};
};

class TFileHeader : public TObject {
 public:
  std::string ClassName() const override { return "TFileHeader"; }

  // True when SourceName, trimmed of blanks, is not empty.
  bool IsValid() const;
  // Records the first ";"-field of ItemText as SourceName with that file's date, size and version text.
  // ETvlkCompress "Cannot open the file %s"; a file of 2 GB or more cannot be stored:
  // ETvlkCompress "The file %s is too large for the archive"; EtcUnusableName when the stored name (cut to
  // 100 characters) ends in a part that extraction would refuse. (It reads the file: the engine's unit
  // holds it.)
  void BuildFromSource(const std::string& itemText);
  // The first ";"-field of ItemText as SourceFile and SourceName, checked as BuildFromSource says.
  void SetSource(const std::string& itemText);
  // The source file's date, to the file system's two seconds, and size, checked as BuildFromSource says.
  void SetSourceFacts(TDateTime date, std::int64_t size);
  // Exactly one record. ETvlkCompress "Could not read the file headers for the compressed file. The
  // Archive file could possible be corrupt".
  void ReadFrom(TStream& stream);
  // ETvlkCompress "Could not write the file headers for the compressed file".
  void WriteTo(TStream& stream) const;

  bool Loaded = false;  // read from an archive, as opposed to built from a source file awaiting compression
  TFileHeaderRecord Record;
  std::string SourceFile;  // the whole name given to BuildFromSource, which Record may hold cut short
};

class TFileHeaders : public TObject {
 public:
  std::string ClassName() const override { return "TFileHeaders"; }

  int Count() const { return int(items_.size()); }
  // ETvlkCompress "%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders".
  TFileHeader& GetFileHeaders(int index) const;
  TFileHeader& Items(int index) const { return GetFileHeaders(index); }
  // Takes the header; ETvlkCompress "Tried to add an invalid file header" (and drops it) when not valid.
  void Add(std::unique_ptr<TFileHeader> header);
  void Clear();
  // Headers built from the files named in Items, numbered from 1, after the existing ones when
  // KeepExisting.
  void BuildFromList(const TStrings& items, bool keepExisting);
  // The first header whose SourceName equals Text's first ";"-field, ignoring ASCII case; -1 when none.
  int IndexOfName(const std::string& text) const;

  // Replaces the table with the one stored at Offset. Every count and position is checked against the
  // stream's size before use: a count the file cannot hold, or a NextHeader that does not lead forward to
  // a whole header, fails as a corrupt table. Errors: ETvlkCompress "Could not read the file header count
  // for the compressed file", the header read error above, "Tried to add an invalid file header". After a
  // failure the table holds the headers read so far.
  void ReadFrom(TStream& stream, std::int64_t offset);
  // The prefix at position 0, and for a disk set the whole table after it (each NextHeader set to the
  // slot after its own). ETvlkCompress "Could not write the file headers for the compressed file".
  void WriteTo(TStream& stream);

  std::int64_t TotalOriginal() const;
  std::int64_t TotalCompressed() const;

  bool Spanned = false;

 private:
  std::vector<std::unique_ptr<TFileHeader>> items_;
  // Lower-case SourceName -> first index, for the headers before `indexed_`: an extraction of every entry
  // of a large table looks up each name once.
  mutable std::unordered_map<std::string, int> byName_;
  mutable std::size_t indexed_ = 0;
};

// The prefix of an archive with Count entries.
void WriteArchivePrefix(TStream& stream, std::int32_t count, bool spanned);
