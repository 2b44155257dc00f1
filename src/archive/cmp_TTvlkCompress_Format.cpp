#include "archive/cmp_TTvlkCompress_Format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "archive/cmp_TTvlkCompress_Internal.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_Strings.h"

namespace {

const char* const kCannotReadHeaders =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";
const char* const kCannotReadCount = "Could not read the file header count for the compressed file";
const char* const kCannotWriteHeaders = "Could not write the file headers for the compressed file";

std::string FirstField(const std::string& text) { return GetField(text, 1, ';'); }

// The file system's 2-second date stamp: whole even seconds, as every build and file system agree on.
TDateTime TwoSecondStamp(TDateTime date) {
  const double days = std::floor(date);
  double seconds = std::floor((date - days) * 86400.0 + 1e-6);
  seconds -= std::fmod(seconds, 2.0);
  return days + seconds / 86400.0;
}

}  // namespace

std::int32_t TFileHeaderRecord::GetInt(int at) const { return TvkGetInt32(bytes_.data() + at); }

void TFileHeaderRecord::SetInt(int at, std::int32_t value) { TvkPutInt32(bytes_.data() + at, value); }

TDateTime TFileHeaderRecord::FileDate() const {
  const std::uint8_t* at = bytes_.data() + TVK_HEADER_FILE_DATE;
  const std::uint64_t bits = std::uint32_t(TvkGetInt32(at)) | std::uint64_t(std::uint32_t(TvkGetInt32(at + 4))) << 32;
  return std::bit_cast<double>(bits);
}

void TFileHeaderRecord::SetFileDate(TDateTime value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  TvkPutInt32(bytes_.data() + TVK_HEADER_FILE_DATE, std::int32_t(std::uint32_t(bits)));
  TvkPutInt32(bytes_.data() + TVK_HEADER_FILE_DATE + 4, std::int32_t(std::uint32_t(bits >> 32)));
}

std::string TFileHeaderRecord::GetText(int at, int capacity) const {
  int length = std::min<int>(bytes_[std::size_t(at)], capacity);
  return std::string(reinterpret_cast<const char*>(bytes_.data() + at + 1), std::size_t(length));
}

void TFileHeaderRecord::SetText(int at, int capacity, const std::string& value) {
  std::size_t length = std::min(value.size(), std::size_t(capacity));
  std::memset(bytes_.data() + at + 1, 0, std::size_t(capacity));
  std::memcpy(bytes_.data() + at + 1, value.data(), length);
  bytes_[std::size_t(at)] = std::uint8_t(length);
}

bool TFileHeader::IsValid() const { return !Trim(Record.SourceName()).empty(); }

void TFileHeader::SetSource(const std::string& itemText) {
  const std::string name = FirstField(itemText);
  SourceFile = name;
  Record.SetSourceName(name);
  // An entry that could never be unpacked is refused now, not on the installing machine.
  const std::string stored = Record.SourceName();
  tvk_archive::CheckFileName(stored, tvk_archive::EntryFileName(stored));
}

void TFileHeader::SetSourceFacts(TDateTime date, std::int64_t size) {
  // Sizes and positions are signed 32-bit in the format.
  if (size > std::numeric_limits<std::int32_t>::max())
    throw ETvlkCompress("The file %s is too large for the archive", {SourceFile});
  Record.SetFileDate(TwoSecondStamp(date));
  Record.SetOriginalSize(std::int32_t(size));
}

void TFileHeader::ReadFrom(TStream& stream) {
  if (stream.Read(Record.Bytes(), TFileHeaderRecord::kSize) != TFileHeaderRecord::kSize)
    throw ETvlkCompress(kCannotReadHeaders);
  Loaded = true;
}

void TFileHeader::WriteTo(TStream& stream) const {
  if (stream.Write(Record.Bytes(), TFileHeaderRecord::kSize) != TFileHeaderRecord::kSize)
    throw ETvlkCompress(kCannotWriteHeaders);
}

TFileHeader& TFileHeaders::GetFileHeaders(int index) const {
  if (index < 0 || index >= Count())
    throw ETvlkCompress("%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders", {index});
  return *items_[std::size_t(index)];
}

void TFileHeaders::Add(std::unique_ptr<TFileHeader> header) {
  if (!header || !header->IsValid()) throw ETvlkCompress("Tried to add an invalid file header");
  items_.push_back(std::move(header));
}

void TFileHeaders::BuildFromList(const TStrings& items, bool keepExisting) {
  if (!keepExisting) Clear();
  for (int i = 0; i < items.Count(); ++i) {
    auto header = std::make_unique<TFileHeader>();
    header->BuildFromSource(items.Get(i));
    header->Record.SetEntryNumber(i + 1);
    Add(std::move(header));
  }
}

void TFileHeaders::Clear() {
  items_.clear();
  byName_.clear();
  indexed_ = 0;
}

int TFileHeaders::IndexOfName(const std::string& text) const {
  const std::string name = FirstField(text);
  for (; indexed_ < items_.size(); ++indexed_)
    byName_.emplace(LowerCase(items_[indexed_]->Record.SourceName()), int(indexed_));
  const auto found = byName_.find(LowerCase(name));
  if (found != byName_.end() && SameText(items_[std::size_t(found->second)]->Record.SourceName(), name))
    return found->second;
  // A name changed after its header was indexed is still found, the slow way.
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[std::size_t(i)]->Record.SourceName(), name)) return i;
  return -1;
}

void TFileHeaders::ReadFrom(TStream& stream, std::int64_t offset) {
  Clear();
  const std::int64_t size = stream.Size();
  if (offset < 0 || offset > size) throw ETvlkCompress(kCannotReadCount);
  stream.SetPosition(offset);
  std::uint8_t prefix[kArchivePrefixSize];
  if (stream.Read(prefix, kArchivePrefixSize) != kArchivePrefixSize) throw ETvlkCompress(kCannotReadCount);
  const std::int32_t count = TvkGetInt32(prefix + TVK_PREFIX_COUNT);
  Spanned = prefix[TVK_PREFIX_SPANNED] != 0;

  // A count larger than the headers the file could hold is a damaged table, not a reason to allocate.
  const std::int64_t room = size - offset - kArchivePrefixSize;
  if (count < 0 || count > room / TFileHeaderRecord::kSize) throw ETvlkCompress(kCannotReadHeaders);

  std::int64_t position = offset + kArchivePrefixSize;
  for (std::int32_t i = 0; i < count; ++i) {
    if (position > size - TFileHeaderRecord::kSize) throw ETvlkCompress(kCannotReadHeaders);
    stream.SetPosition(position);
    auto header = std::make_unique<TFileHeader>();
    header->ReadFrom(stream);
    const std::int64_t next = offset + header->Record.NextHeader();
    Add(std::move(header));
    // Only a chain that moves forward past the header just read can end; anything else is damage.
    if (i + 1 < count && next - position < TFileHeaderRecord::kSize) throw ETvlkCompress(kCannotReadHeaders);
    position = next;
  }
}

void WriteArchivePrefix(TStream& stream, std::int32_t count, bool spanned) {
  std::uint8_t prefix[kArchivePrefixSize];
  TvkPutInt32(prefix + TVK_PREFIX_COUNT, count);
  prefix[TVK_PREFIX_SPANNED] = spanned ? 1 : 0;
  if (stream.Write(prefix, kArchivePrefixSize) != kArchivePrefixSize) throw ETvlkCompress(kCannotWriteHeaders);
}

void TFileHeaders::WriteTo(TStream& stream) {
  stream.SetPosition(0);
  WriteArchivePrefix(stream, Count(), Spanned);
  if (!Spanned) return;
  std::int32_t position = kArchivePrefixSize;
  for (auto& header : items_) {
    header->Record.SetNextHeader(position + TFileHeaderRecord::kSize);
    header->WriteTo(stream);
    position += TFileHeaderRecord::kSize;
  }
}

std::int64_t TFileHeaders::TotalOriginal() const {
  std::int64_t total = 0;
  for (const auto& header : items_) total += header->Record.OriginalSize();
  return total;
}

std::int64_t TFileHeaders::TotalCompressed() const {
  std::int64_t total = 0;
  for (const auto& header : items_) total += header->Record.CompressedSize();
  return total;
}
