/* The layout of a distribution, byte for byte: the names of its files, the kit's archive (prefix and entry
   header), and the record a self-extracting setup.exe ends with. Plain C, so that the build, the
   installation program and the loading program (which has no C runtime) read and write it in one way.

   A distribution: "setup.exe" (the loading program), "setup.1" (an archive holding the installation
   program and its presetup files), "files.1" (an archive of the install files, or a disk set "files.1",
   "files.2"...) and, for a net install, "filelist.lst". A self-extracting setup.exe is the loading
   program with setup.1 and files.1 appended and the extraction record after them; a signed one carries
   the signature's certificate table after the record.

   Every number is a little-endian 32-bit integer unless said otherwise. */
#pragma once

#include <stdint.h>

#define TVK_LOADER_FILE "setup.exe"
#define TVK_SETUP_ARCHIVE "setup.1"
#define TVK_FILES_ARCHIVE "files.1"
#define TVK_FILE_LIST "filelist.lst"

/* ---- The archive: a prefix, then for a single file each entry header followed by its data (a zlib
   stream), chained by NextHeader; for a disk set the whole table of headers, then the data of every entry
   in order. Positions are relative to the archive's start. */

#define TVK_PREFIX_SIZE 5
#define TVK_PREFIX_COUNT 0   /* the number of entries */
#define TVK_PREFIX_SPANNED 4 /* one byte: nonzero for a disk set */

#define TVK_HEADER_SIZE 172
#define TVK_HEADER_ENTRY_NUMBER 0
#define TVK_HEADER_FILE_DATE 4       /* a double: days since 1899-12-30, local time */
#define TVK_HEADER_LAST_DISK 12      /* one byte */
#define TVK_HEADER_END_POSITION 16   /* the data's last byte */
#define TVK_HEADER_SOURCE_NAME 20    /* a length byte, then the characters */
#define TVK_HEADER_MAX_SOURCE_NAME 100
#define TVK_HEADER_NEXT_HEADER 124
#define TVK_HEADER_ORIGINAL_SIZE 128
#define TVK_HEADER_DATA_START 132
#define TVK_HEADER_COMPRESSED_SIZE 136
#define TVK_HEADER_FIRST_DISK 140    /* one byte */
#define TVK_HEADER_FILE_ID 144
#define TVK_HEADER_VERSION_TEXT 148  /* a length byte, then the characters */
#define TVK_HEADER_MAX_VERSION_TEXT 20

static inline int32_t TvkGetInt32(const unsigned char* at) {
  return (int32_t)((uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24);
}

static inline void TvkPutInt32(unsigned char* at, int32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)((uint32_t)value >> (8 * i));
}

/* ---- The extraction record: the mark's length byte (14) and the mark "SELFEXTRACTING", a byte of
   padding, then the first and last byte of the embedded setup.1 and of files.1 in the whole file (files.1's
   both 0 when there is none), then zeros. */

#define TVK_RECORD_SIZE 56
#define TVK_RECORD_MARK "SELFEXTRACTING"
#define TVK_RECORD_MARK_LENGTH 14
#define TVK_RECORD_SETUP_START 16
#define TVK_RECORD_SETUP_END 20
#define TVK_RECORD_FILES_START 24
#define TVK_RECORD_FILES_END 28

typedef struct {
  int32_t setupStart, setupEnd;
  int32_t filesStart, filesEnd;
} TvkExtractionRecord;

static inline void TvkWriteExtractionRecord(const TvkExtractionRecord* record, unsigned char* bytes) {
  for (int i = 0; i < TVK_RECORD_SIZE; ++i) bytes[i] = 0;
  bytes[0] = TVK_RECORD_MARK_LENGTH;
  for (int i = 0; i < TVK_RECORD_MARK_LENGTH; ++i) bytes[1 + i] = (unsigned char)TVK_RECORD_MARK[i];
  TvkPutInt32(bytes + TVK_RECORD_SETUP_START, record->setupStart);
  TvkPutInt32(bytes + TVK_RECORD_SETUP_END, record->setupEnd);
  TvkPutInt32(bytes + TVK_RECORD_FILES_START, record->filesStart);
  TvkPutInt32(bytes + TVK_RECORD_FILES_END, record->filesEnd);
}

static inline int TvkRangeBefore(int32_t first, int32_t last, uint64_t limit) {
  return first >= 0 && first <= last && (uint64_t)last < limit;
}

/* True when Bytes, found at RecordAt in their file, are an extraction record whose ranges lie before it
   (files.1's may be absent: 0 and 0); Record then holds them. */
static inline int TvkParseExtractionRecord(const unsigned char* bytes, uint64_t recordAt, TvkExtractionRecord* record) {
  if (bytes[0] != TVK_RECORD_MARK_LENGTH) return 0;
  for (int i = 0; i < TVK_RECORD_MARK_LENGTH; ++i)
    if (bytes[1 + i] != (unsigned char)TVK_RECORD_MARK[i]) return 0;
  record->setupStart = TvkGetInt32(bytes + TVK_RECORD_SETUP_START);
  record->setupEnd = TvkGetInt32(bytes + TVK_RECORD_SETUP_END);
  record->filesStart = TvkGetInt32(bytes + TVK_RECORD_FILES_START);
  record->filesEnd = TvkGetInt32(bytes + TVK_RECORD_FILES_END);
  return TvkRangeBefore(record->setupStart, record->setupEnd, recordAt) &&
         ((record->filesStart == 0 && record->filesEnd == 0) ||
          TvkRangeBefore(record->filesStart, record->filesEnd, recordAt));
}


/* ---- Where the record stands. A signature appends a certificate table to a program, named by its PE
   security directory (the fifth data directory, in 32-bit and 64-bit images alike, whose "address" is a
   file offset), and aligns the table to 8 bytes with zeros. So in a signed setup.exe the record stands
   just before the table, up to 7 zero bytes before it; in any other file at the very end. */

#define TVK_ALIGNMENT_MAX 7

/* Exactly Count bytes from Position of the file Context: nonzero, or 0 when they cannot be had. */
typedef int (*TvkReadFn)(void* context, uint64_t position, void* buffer, uint32_t count);

/* Where in the file a PE image's security directory entry (the certificate table's position and size)
   stands, read from the first Count bytes of the file, where every program the kit builds has its
   headers; 0 when they hold no PE image or it has no such entry. */
static inline uint32_t TvkSecurityDirectoryAt(const unsigned char* headers, uint32_t count) {
  /* The signature "PE\0\0", the 20-byte file header, then the optional header, whose magic (32-bit or
     64-bit) says where the data directories stand, after their count. */
  const uint32_t pe = count >= 0x40 ? (uint32_t)TvkGetInt32(headers + 0x3C) : count;
  uint32_t directories;
  if (pe > count || count - pe < 24 + 112 + 5 * 8 || TvkGetInt32(headers + pe) != 0x4550 || headers[pe + 24] != 0x0B ||
      (headers[pe + 25] != 1 && headers[pe + 25] != 2))
    return 0;
  directories = pe + 24 + (headers[pe + 25] == 2 ? 112 : 96);
  return (uint32_t)TvkGetInt32(headers + directories - 4) > 4 ? directories + 4 * 8 : 0;
}

/* Where the certificate table the security directory names starts; 0 when it names none. */
static inline uint32_t TvkCertificateTableAt(const unsigned char* headers, uint32_t count) {
  const uint32_t entry = TvkSecurityDirectoryAt(headers, count);
  return entry != 0 ? (uint32_t)TvkGetInt32(headers + entry) : 0;
}

#define TVK_HEADERS_READ 1024

/* The extraction record of a file of Size bytes whose certificate table starts at TableAt (0 when it has
   none), found as said above: true with Record filled when it is there and valid. Anything else between
   the record and the table, or a table outside the file, finds none. */
static inline int TvkFindExtractionRecordBefore(TvkReadFn read, void* context, uint64_t size, uint32_t tableAt,
                                                TvkExtractionRecord* record) {
  unsigned char bytes[TVK_RECORD_SIZE + TVK_ALIGNMENT_MAX];
  /* Every position a record holds is below 2 GB, and so is the record in a file it fits. */
  const uint32_t end = tableAt != 0 ? tableAt : (uint32_t)size, window = tableAt != 0 ? TVK_ALIGNMENT_MAX : 0;
  uint32_t zeros = 0;
  if (size > 0xFFFFFFFFu || end > size || end < TVK_RECORD_SIZE + window ||
      !read(context, end - TVK_RECORD_SIZE - window, bytes, TVK_RECORD_SIZE + window))
    return 0;
  /* With Zeros bytes of alignment the record starts at Window - Zeros in Bytes. */
  for (;;) {
    if (TvkParseExtractionRecord(bytes + window - zeros, end - TVK_RECORD_SIZE - zeros, record)) return 1;
    if (zeros == window || bytes[window + TVK_RECORD_SIZE - 1 - zeros] != 0) return 0;
    ++zeros;
  }
}

/* The same, with the certificate table named by the headers of the file itself. */
static inline int TvkFindExtractionRecord(TvkReadFn read, void* context, uint64_t size, TvkExtractionRecord* record) {
  unsigned char headers[TVK_HEADERS_READ];
  const uint32_t count = size < TVK_HEADERS_READ ? (uint32_t)size : TVK_HEADERS_READ;
  return read(context, 0, headers, count) &&
         TvkFindExtractionRecordBefore(read, context, size, TvkCertificateTableAt(headers, count), record);
}
