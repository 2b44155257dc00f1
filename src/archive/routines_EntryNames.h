/* The file names archive entries are unpacked under. Plain C, so that the engine, tvkarc and the loading
   program (which has no C runtime) judge a name in one and the same way.

   An entry stores its source's whole path; it is unpacked under the last part of it alone. */
#pragma once

#include <stddef.h>

/* Names come with their length: a stored name may hold a zero byte, which must not hide what follows it
   from the check. */

/* The position after the last "\", "/" or ":" of the Length characters of Path, where its file name
   starts. Windows reads "/" as a separator as well, so a name cut at "\" alone could still climb out of
   the target folder. */
static inline size_t TvkFileNameStart(const char* path, size_t length) {
  size_t start = 0;
  for (size_t i = 0; i < length; ++i)
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') start = i + 1;
  return start;
}

static inline char TvkUpperAscii(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

/* True when Name, up to its first "." or blank, is a reserved device name ("NUL", "com1.txt", "LPT\xB9"):
   in every folder such a name opens the device, not a file. */
static inline int TvkIsDeviceName(const char* name, size_t nameLength) {
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  size_t length = 0;
  while (length < nameLength && name[length] != '.' && name[length] != ' ') ++length;
  for (size_t d = 0; d < sizeof devices / sizeof devices[0]; ++d) {
    size_t i = 0;
    while (i < length && devices[d][i] != '\0' && TvkUpperAscii(name[i]) == devices[d][i]) ++i;
    if (i == length && devices[d][i] == '\0') return 1;
  }
  if (length == 4) {
    const char a = TvkUpperAscii(name[0]), b = TvkUpperAscii(name[1]), c = TvkUpperAscii(name[2]);
    const unsigned char digit = (unsigned char)name[3];
    /* Windows takes the superscript digits of code page 1252 for ports as well. */
    const int port = (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    if (port && ((a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T'))) return 1;
  }
  return 0;
}

/* True when Name can only be a plain file inside the target folder: not empty, no folder part, not "."
   or "..", no character Windows reads as a wildcard, a stream or a pipe, no trailing dot or blank (which
   Windows drops, making it another file's name) and no device. */
static inline int TvkIsSafeFileName(const char* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = (unsigned char)name[i];
    if (c < ' ' || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
        c == '|')
      return 0;
  }
  /* A name of dots alone ends in a dot. */
  if (length == 0 || name[length - 1] == '.' || name[length - 1] == ' ') return 0;
  return !TvkIsDeviceName(name, length);
}
