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

/* Inflated with zlib's inflateBack, which is half the size of inflate and made for a reader that hands it
   input and takes its output in whole windows. It inflates raw deflate data, so the zlib wrapper around
   it, a 2-byte header and the Adler-32 of the output after it, is checked here. */
#define INPUT_SIZE 65536
#define WINDOW_SIZE 32768
#define ZLIB_TRAILER_SIZE 4
static unsigned char g_input[INPUT_SIZE];
static unsigned char g_window[WINDOW_SIZE];

typedef struct {
  const LoaderArchive* archive;
  uint64_t position, end;  /* the deflate data's unread part */
  LoaderWriteFn write;
  void* context;
  uint32_t left;  /* of the recorded size */
  uLong check;
  int writeFailed;
} Inflation;

static unsigned Take(void* context, unsigned char** buffer) {
  Inflation* inflation = context;
  uint64_t left = inflation->end - inflation->position;
  uint32_t want = left < INPUT_SIZE ? (uint32_t)left : INPUT_SIZE;
  if (want == 0 || !inflation->archive->read(inflation->archive->context, inflation->position, g_input, want))
    return 0; /* a stream cut short, or unreadable: inflateBack ends with Z_BUF_ERROR */
  inflation->position += want;
  *buffer = g_input;
  return want;
}

static int Give(void* context, unsigned char* data, unsigned count) {
  Inflation* inflation = context;
  /* More output than recorded can only be damage; stop before writing it. */
  if (count > inflation->left) return 1;
  inflation->left -= count;
  inflation->check = adler32(inflation->check, data, count);
  if (!inflation->write(inflation->context, data, count)) {
    inflation->writeFailed = 1;
    return 1;
  }
  return 0;
}

LoaderResult LoaderInflate(const LoaderArchive* archive, const LoaderEntry* entry, LoaderWriteFn write,
                           void* context) {
  unsigned char bytes[ZLIB_TRAILER_SIZE];
  Inflation inflation = {archive, entry->dataStart + 2, 0, write, context, entry->originalSize, 0, 0};
  z_stream z;
  uint64_t rest;
  int result;

  /* The header: deflate with at most a 32 KB window, no preset dictionary, and its check bits. The
     trailer's four bytes are not the deflate data's. */
  if (entry->dataEnd - entry->dataStart < 2 + ZLIB_TRAILER_SIZE ||
      !archive->read(archive->context, entry->dataStart, bytes, 2) || (bytes[0] & 0x0f) != Z_DEFLATED ||
      (bytes[0] >> 4) > 7 || (bytes[1] & 0x20) != 0 || (bytes[0] * 256u + bytes[1]) % 31 != 0)
    return LOADER_DAMAGED;
  inflation.end = entry->dataEnd - ZLIB_TRAILER_SIZE;
  inflation.check = adler32(0, Z_NULL, 0);

  memset(&z, 0, sizeof z);
  if (inflateBackInit(&z, 15, g_window) != Z_OK) return LOADER_NO_MEMORY;
  result = inflateBack(&z, Take, &inflation, Give, &inflation);
  rest = z.next_in != Z_NULL ? z.avail_in : 0;
  inflateBackEnd(&z);
  if (inflation.writeFailed) return LOADER_WRITE_FAILED;
  /* The stream must end exactly where the trailer begins, having given the recorded size, whose sum the
     trailer holds (most significant byte first). */
  if (result != Z_STREAM_END || rest != 0 || inflation.position != inflation.end || inflation.left != 0 ||
      !archive->read(archive->context, inflation.end, bytes, ZLIB_TRAILER_SIZE) ||
      ((uLong)bytes[0] << 24 | (uLong)bytes[1] << 16 | (uLong)bytes[2] << 8 | bytes[3]) != inflation.check)
    return LOADER_DAMAGED;
  return LOADER_OK;
}
