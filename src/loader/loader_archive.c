#include "loader/loader_archive.h"

#include <string.h>
#include <zlib.h>

#include "archive/routines_EntryNames.h"

LoaderResult LoaderOpen(LoaderArchive* archive) {
  unsigned char prefix[TVK_PREFIX_SIZE];
  if (archive->start > archive->limit || archive->limit - archive->start < TVK_PREFIX_SIZE ||
      !archive->read(archive->context, archive->start, prefix, TVK_PREFIX_SIZE))
    return LOADER_DAMAGED;
  archive->count = TvkGetInt32(prefix + TVK_PREFIX_COUNT);
  /* setup.1 is always one file; a disk set's flag, or a count its bytes cannot hold, is damage. */
  if (prefix[TVK_PREFIX_SPANNED] != 0 || archive->count < 0 ||
      (uint64_t)archive->count * TVK_HEADER_SIZE > archive->limit - archive->start - TVK_PREFIX_SIZE)
    return LOADER_DAMAGED;
  return archive->count == 0 ? LOADER_EMPTY : LOADER_OK;
}

LoaderResult LoaderReadEntry(const LoaderArchive* archive, uint64_t position, int32_t index, LoaderEntry* entry) {
  unsigned char header[TVK_HEADER_SIZE];
  size_t length, start;
  int32_t dataStart, endPosition, next, originalSize;
  uint64_t dateBits;

  if (position > archive->limit || archive->limit - position < TVK_HEADER_SIZE ||
      !archive->read(archive->context, position, header, TVK_HEADER_SIZE))
    return LOADER_DAMAGED;

  dataStart = TvkGetInt32(header + TVK_HEADER_DATA_START);
  endPosition = TvkGetInt32(header + TVK_HEADER_END_POSITION); /* the data's last byte */
  next = TvkGetInt32(header + TVK_HEADER_NEXT_HEADER);
  originalSize = TvkGetInt32(header + TVK_HEADER_ORIGINAL_SIZE);
  /* A single-file archive keeps all of an entry on its one "disk". */
  if (header[TVK_HEADER_LAST_DISK] != header[TVK_HEADER_FIRST_DISK] || dataStart < 0 || endPosition < -1 || next < 0 || originalSize < 0)
    return LOADER_DAMAGED;
  entry->dataStart = archive->start + (uint64_t)dataStart;
  entry->dataEnd = archive->start + (uint64_t)((int64_t)endPosition + 1);
  entry->next = archive->start + (uint64_t)next;
  entry->originalSize = (uint32_t)originalSize;
  /* The data lie after their header and inside the archive; the next header, if any, after the data.
     So the chain only moves forward and ends. */
  if (entry->dataStart < position + TVK_HEADER_SIZE || entry->dataEnd < entry->dataStart ||
      entry->dataEnd > archive->limit || (index + 1 < archive->count && entry->next < entry->dataEnd))
    return LOADER_DAMAGED;

  length = header[TVK_HEADER_SOURCE_NAME] < TVK_HEADER_MAX_SOURCE_NAME ? header[TVK_HEADER_SOURCE_NAME] : TVK_HEADER_MAX_SOURCE_NAME;
  memcpy(entry->name, header + TVK_HEADER_SOURCE_NAME + 1, length);
  entry->name[length] = '\0';
  /* The build stores the source's whole path; the entry is unpacked under the name alone. */
  start = TvkFileNameStart(entry->name, length);
  memcpy(entry->fileName, entry->name + start, length - start + 1);
  if (!TvkIsSafeFileName(entry->fileName, length - start)) return LOADER_UNUSABLE_NAME;

  dateBits = (uint64_t)(uint32_t)TvkGetInt32(header + TVK_HEADER_FILE_DATE) | (uint64_t)(uint32_t)TvkGetInt32(header + TVK_HEADER_FILE_DATE + 4) << 32;
  memcpy(&entry->date, &dateBits, sizeof entry->date);
  return LOADER_OK;
}

#define BUFFER_SIZE 65536
static unsigned char g_input[BUFFER_SIZE];
static unsigned char g_output[BUFFER_SIZE];

LoaderResult LoaderInflate(const LoaderArchive* archive, const LoaderEntry* entry, LoaderWriteFn write,
                           void* context) {
  z_stream z;
  uint64_t position = entry->dataStart;
  uint32_t produced = 0;
  int result = Z_OK;

  memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return LOADER_NO_MEMORY;
  while (result != Z_STREAM_END) {
    uint32_t have;
    if (z.avail_in == 0 && position < entry->dataEnd) {
      uint64_t left = entry->dataEnd - position;
      uint32_t want = left < BUFFER_SIZE ? (uint32_t)left : BUFFER_SIZE;
      if (!archive->read(archive->context, position, g_input, want)) break;
      position += want;
      z.next_in = g_input;
      z.avail_in = want;
    }
    z.next_out = g_output;
    z.avail_out = BUFFER_SIZE;
    result = inflate(&z, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) break; /* damage, or a stream cut short */
    have = BUFFER_SIZE - z.avail_out;
    /* More output than recorded can only be damage; stop before writing it. */
    if (have > entry->originalSize - produced) {
      result = Z_DATA_ERROR;
      break;
    }
    produced += have;
    if (have > 0 && !write(context, g_output, have)) {
      inflateEnd(&z);
      return LOADER_WRITE_FAILED;
    }
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END || z.avail_in != 0 || position != entry->dataEnd || produced != entry->originalSize)
    return LOADER_DAMAGED;
  return LOADER_OK;
}
