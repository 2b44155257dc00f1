/* The loading program's reader of setup.1, apart from Windows so that it is also fuzzed natively. Every
   number read (the extraction record, the prefix, each header) is checked against the bytes there are
   before it is used; an entry is inflated through the caller's read and write. Positions are absolute in
   the file that holds the archive.

   The archive: a 5-byte prefix (the entry count and a disk-set flag), then each 172-byte header followed
   by its data, a zlib stream, chained by NextHeader. Every position stored in it is relative to its start. */
#pragma once

#include <stdint.h>

#include "archive/types_Distribution.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Exactly Count bytes from Position: nonzero, or 0 when they cannot be had. */
typedef int (*LoaderReadFn)(void* context, uint64_t position, void* buffer, uint32_t count);
/* All Count bytes written: nonzero, or 0. */
typedef int (*LoaderWriteFn)(void* context, const void* buffer, uint32_t count);

typedef enum {
  LOADER_OK,
  LOADER_DAMAGED,
  LOADER_EMPTY,          /* no entry, so no installation program */
  LOADER_UNUSABLE_NAME,  /* an entry's name cannot be a file in the folder it is unpacked into */
  LOADER_NO_MEMORY,
  LOADER_WRITE_FAILED
} LoaderResult;

typedef struct {
  LoaderReadFn read;
  void* context;
  uint64_t start;  /* where the archive begins in the file */
  uint64_t limit;  /* one past its last byte */
  int32_t count;   /* set by LoaderOpen */
} LoaderArchive;

typedef struct {
  uint64_t dataStart, dataEnd;  /* the zlib stream, DataEnd one past its last byte */
  uint64_t next;                /* the next header */
  uint32_t originalSize;
  double date;                       /* days since 1899-12-30, local time, as stored */
  char name[TVK_HEADER_MAX_SOURCE_NAME + 1];      /* the stored source name */
  char fileName[TVK_HEADER_MAX_SOURCE_NAME + 1];  /* the part of it the entry is unpacked under */
} LoaderEntry;

/* Reads and checks the prefix of the archive between Start and Limit; sets Count. LOADER_EMPTY when it
   holds nothing to start. */
LoaderResult LoaderOpen(LoaderArchive* archive);
/* Reads and checks the header at Position, the Index-th: its data lie after it and inside the archive,
   the next header after them, and its name can be a plain file. */
LoaderResult LoaderReadEntry(const LoaderArchive* archive, uint64_t position, int32_t index, LoaderEntry* entry);
/* Inflates an entry read by LoaderReadEntry to Write. The stream must end exactly where the entry's bytes
   end and give exactly the recorded size; no more than that size is ever written. */
LoaderResult LoaderInflate(const LoaderArchive* archive, const LoaderEntry* entry, LoaderWriteFn write,
                           void* context);

#ifdef __cplusplus
}
#endif
