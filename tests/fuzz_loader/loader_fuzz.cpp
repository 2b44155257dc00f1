// The loading program's archive reader on arbitrary bytes taken as a whole setup.exe: a valid extraction
// record (at the end, or before the certificate table a PE security directory names) chooses the embedded
// setup.1, otherwise the bytes are setup.1 itself. Every entry is
// read and inflated in order, as the loader does, until the first failure. Beyond crashes and undefined
// behaviour, findings are: a read outside the archive's bytes, more output than an entry's recorded size,
// a different size accepted, and a name accepted that is no plain file name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/routines_EntryNames.h"
#include "loader/loader_archive.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::uint64_t start, limit;
};

struct Output {
  std::uint64_t written = 0, allowed = 0;
};

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "loader reader: %s\n", what);
  std::abort();
}

int Read(void* context, std::uint64_t position, void* buffer, std::uint32_t count) {
  const Input& input = *static_cast<const Input*>(context);
  if (position < input.start || position > input.limit || count > input.limit - position)
    Finding("read outside the archive");
  std::memcpy(buffer, input.data + position, count);
  return 1;
}

int Write(void* context, const void*, std::uint32_t count) {
  Output& output = *static_cast<Output*>(context);
  output.written += count;
  if (output.written > output.allowed) Finding("more output than the recorded size");
  return 1;
}

// The whole input, as the loader reads its own file to find the record.
int ReadWhole(void* context, std::uint64_t position, void* buffer, std::uint32_t count) {
  const Input& input = *static_cast<const Input*>(context);
  if (position > input.limit || count > input.limit - position) return 0;
  std::memcpy(buffer, input.data + position, count);
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input{data, 0, size};
  TvkExtractionRecord record;
  if (TvkFindExtractionRecord(ReadWhole, &input, size, &record)) {
    const std::uint64_t first = std::uint64_t(record.setupStart), last = std::uint64_t(record.setupEnd);
    if (record.setupStart < 0 || first > last || last + TVK_RECORD_SIZE >= size)
      Finding("setup.1 outside the self-extractor");
    input.start = first;
    input.limit = last + 1;
  }
  LoaderArchive archive{Read, &input, input.start, input.limit, 0};
  if (LoaderOpen(&archive) != LOADER_OK) return 0;
  std::uint64_t position = archive.start + TVK_PREFIX_SIZE;
  for (std::int32_t i = 0; i < archive.count; ++i) {
    LoaderEntry entry;
    if (LoaderReadEntry(&archive, position, i, &entry) != LOADER_OK) return 0;
    if (!TvkIsSafeFileName(entry.fileName, std::strlen(entry.fileName))) Finding("an unusable name accepted");
    Output output;
    output.allowed = entry.originalSize;
    if (LoaderInflate(&archive, &entry, Write, &output) != LOADER_OK) return 0;
    if (output.written != entry.originalSize) Finding("a size other than the recorded one accepted");
    position = entry.next;
  }
  return 0;
}
