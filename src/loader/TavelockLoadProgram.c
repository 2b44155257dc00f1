/* The loading program, shipped as "setup.exe". It unpacks "setup.1" (from inside itself when it is a
   self-extractor, else from beside it) into a new folder of its own in the temporary directory and
   starts the installation program, the archive's first entry:
     self-extracting:  "<program>" "-s<own folder>" "-e<own name>" -c   (with *TODISK: -f instead of -c)
     plain:            "<program>" "-s<own folder>" -c
   The unpacked copy stays: the installation program removes it at the end, and a run that waits for a
   restart still needs it.

   Its own arguments follow the agreed ones (all but a leading *TODISK, which is its own); it waits for the installation
   program and ends with its exit code, so a script that runs setup.exe learns how the installation ended.

   It has to be small, since a self-extracting setup.exe shares a floppy with the installation program:
   plain C over kernel32 with zlib's inflateBack, no C runtime. The program starts at LoaderStart and provides
   the few C library routines zlib calls. Reading the archive is loader_archive.c's part, kept apart from
   Windows so that it is fuzzed natively. Whatever goes wrong ends in one message box (none when started
   with -q) and exit code 1603, never in a crash: every number read from the archive is checked before it
   is used.

   setup.exe is usually started from a downloads folder, where anything else downloaded lies too. The
   libraries a program imports, and those they import in turn, are looked for in the program's own
   folder first, before any of its code runs. So the program imports kernel32 alone, which the system
   always takes from its own directory, and loads every other library later, by its full path in the
   system directory. */
#include <windows.h>
#include <wintrust.h>

#include <stdarg.h>
#include <zlib.h>

#include "archive/routines_EntryNames.h"
#include "loader/loader_archive.h"

/* ---------------------------------------------------------------------------------------------------
   The C library routines zlib and the archive reader need, over the process heap. */

void* memcpy(void* to, const void* from, size_t count) {
  unsigned char* t = to;
  const unsigned char* f = from;
  while (count--) *t++ = *f++;
  return to;
}

void* memset(void* to, int value, size_t count) {
  unsigned char* t = to;
  while (count--) *t++ = (unsigned char)value;
  return to;
}

void* malloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void free(void* block) {
  if (block != NULL) HeapFree(GetProcessHeap(), 0, block);
}

/* The Adler-32 sum the archive's zlib streams end with, in place of zlib's, which is built for speed
   (unrolled, four times the size). This one is quick enough for the one program the loader unpacks. */
uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  enum { kBase = 65521, kRun = 5552 };  /* the largest run whose sums cannot overflow 32 bits */
  unsigned long a = adler & 0xffff;
  unsigned long b = (adler >> 16) & 0xffff;
  if (buf == Z_NULL) return 1;
  while (len > 0) {
    uInt run = len < kRun ? len : kRun;
    len -= run;
    while (run-- > 0) {
      a += *buf++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return a | (b << 16);
}

/* ---------------------------------------------------------------------------------------------------
   Text. Every buffer is an array of its own size: a path or a message is at most a few hundred
   characters, well inside them. */

#define PATH_SIZE 1024
#define TEXT_SIZE 2048

/* Appends the strings up to a NULL to Text, an array of Size characters, cutting what does not fit. */
static void Append(char* text, size_t size, ...) {
  size_t length = (size_t)lstrlenA(text);
  va_list parts;
  va_start(parts, size);
  for (const char* part = va_arg(parts, const char*); part != NULL; part = va_arg(parts, const char*))
    for (; *part != '\0' && length + 1 < size; ++part) text[length++] = *part;
  va_end(parts);
  text[length] = '\0';
}
#define APPEND(text, ...) Append(text, sizeof(text), __VA_ARGS__, (const char*)NULL)
#define COPY(text, value) ((text)[0] = '\0', APPEND(text, value))

static int SameText(const char* a, const char* b) {
  for (; *a != '\0' && TvkUpperAscii(*a) == TvkUpperAscii(*b); ++a, ++b) {
  }
  return TvkUpperAscii(*a) == TvkUpperAscii(*b);
}

/* ---------------------------------------------------------------------------------------------------
   Libraries */

/* A library from the system directory, by its full path; the libraries it imports are looked for there
   first as well. NULL when it cannot be loaded. */
static HMODULE LoadSystemLibrary(const char* name) {
  char path[PATH_SIZE];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return NULL;
  APPEND(path, "\\", name);
  return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

/* A function of a library from the system directory, or NULL. */
static void* SystemFunction(const char* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  return module != NULL ? (void*)GetProcAddress(module, name) : NULL;
}

/* ---------------------------------------------------------------------------------------------------
   Failures: one message box, exit code 1. */

static char g_folder[PATH_SIZE];  /* the folder being filled, to be removed on failure; "" when none */

static void RemoveFolder(void) {
  char pattern[PATH_SIZE];
  WIN32_FIND_DATAA found;
  HANDLE search;
  if (g_folder[0] == '\0') return;
  COPY(pattern, g_folder);
  APPEND(pattern, "\\*");
  search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      char file[PATH_SIZE];
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      COPY(file, g_folder);
      APPEND(file, "\\", found.cFileName);
      SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(g_folder);
  g_folder[0] = '\0';
}

/* Started with -q, the installation runs unattended: no message box, here either. */
static int g_quiet;

/* The exit code of a failed installation, as the installation program gives it too. */
#define EXIT_FAILED 1603

/* Shows Text on one line (unless quiet) and ends the program with exit code 1603. */
static _Noreturn void Fail(char* text) {
  for (char* c = text; *c != '\0'; ++c)
    if ((unsigned char)*c < ' ') *c = ' ';
  RemoveFolder();
  if (!g_quiet) {
    typedef int(WINAPI * MessageBoxFn)(HWND, LPCSTR, LPCSTR, UINT);
    MessageBoxFn show = (MessageBoxFn)SystemFunction("user32.dll", "MessageBoxA");
    if (show != NULL) show(NULL, text, "Setup", MB_OK | MB_ICONSTOP);
  }
  ExitProcess(EXIT_FAILED);
}

#define FAIL(...)               \
  do {                          \
    char text_[TEXT_SIZE];      \
    text_[0] = '\0';            \
    APPEND(text_, __VA_ARGS__); \
    Fail(text_);                \
  } while (0)

/* ---------------------------------------------------------------------------------------------------
   Files */

static HANDLE OpenForReading(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
}

/* The size of an open file; files beyond 4 GB count as 4 GB, more than any archive position reaches. */
static ULONGLONG FileSize(HANDLE file) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return high != 0 ? 0xFFFFFFFFull : low;
}

/* Exactly Count bytes from Position of the file Context, or false. */
static int ReadAt(void* context, uint64_t position, void* buffer, uint32_t count) {
  LONG high = 0;
  DWORD done = 0;
  if (position > 0x7FFFFFFFull) return FALSE;
  if (SetFilePointer((HANDLE)context, (LONG)position, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return FALSE;
  return ReadFile((HANDLE)context, buffer, count, &done, NULL) && done == count;
}

/* ---------------------------------------------------------------------------------------------------
   The archive, read by loader_archive.c. */

typedef struct {
  LoaderArchive reader;
  char path[PATH_SIZE]; /* the file that holds it, for messages */
} Archive;

static _Noreturn void Damaged(const Archive* archive) {
  FAIL("The installation archive ", archive->path, " is damaged");
}

static void ReadEntry(const Archive* archive, ULONGLONG position, LONG index, LoaderEntry* entry) {
  switch (LoaderReadEntry(&archive->reader, position, index, entry)) {
    case LOADER_OK:
      return;
    case LOADER_UNUSABLE_NAME:
      FAIL("The installation archive ", archive->path, " holds a file with an unusable name: ", entry->name);
    default:
      Damaged(archive);
  }
}

/* Opens the archive (unless it is open already) and checks its prefix. */
static void OpenArchive(Archive* archive) {
  HANDLE file = archive->reader.context != NULL ? archive->reader.context : OpenForReading(archive->path);
  if (file == INVALID_HANDLE_VALUE) FAIL("Cannot open the installation archive ", archive->path);
  archive->reader.read = ReadAt;
  archive->reader.context = file;
  if (archive->reader.limit == 0) archive->reader.limit = FileSize(file);
  switch (LoaderOpen(&archive->reader)) {
    case LOADER_OK:
      return;
    case LOADER_EMPTY:
      FAIL("The installation archive ", archive->path, " holds no installation program");
    default:
      Damaged(archive);
  }
}

/* Walks the whole chain of headers without unpacking: a damaged archive fails before a folder is made.
   The name of the first entry goes to Program. */
static void CheckArchive(const Archive* archive, char* program) {
  ULONGLONG position = archive->reader.start + TVK_PREFIX_SIZE;
  for (LONG i = 0; i < archive->reader.count; ++i) {
    LoaderEntry entry;
    ReadEntry(archive, position, i, &entry);
    if (i == 0) memcpy(program, entry.fileName, sizeof entry.fileName);
    position = entry.next;
  }
}

/* Archive dates are days since 1899-12-30 in local time; a date no file can carry is left out. */
static void SetFileDate(HANDLE file, double date) {
  const double daysBefore1601 = -109205.0, daysBefore10000 = 2958466.0, ticksPerDay = 864000000000.0;
  FILETIME local, utc;
  LONGLONG ticks;
  if (!(date >= daysBefore1601 && date < daysBefore10000)) return;
  ticks = (LONGLONG)((date - daysBefore1601) * ticksPerDay + 0.5);
  local.dwLowDateTime = (DWORD)ticks;
  local.dwHighDateTime = (DWORD)((ULONGLONG)ticks >> 32);
  if (LocalFileTimeToFileTime(&local, &utc)) SetFileTime(file, NULL, NULL, &utc);
}

static int WriteTo(void* context, const void* buffer, uint32_t count) {
  DWORD written;
  return WriteFile((HANDLE)context, buffer, count, &written, NULL) && written == count;
}

/* Unpacks one entry into the new folder, as a file no one else made first. */
static void ExtractEntry(const Archive* archive, const LoaderEntry* entry) {
  char target[PATH_SIZE];
  HANDLE out;
  LoaderResult result;

  COPY(target, g_folder);
  APPEND(target, "\\", entry->fileName);
  out = CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      FAIL("The installation archive ", archive->path, " holds two files named ", entry->fileName);
    FAIL("Cannot create the file ", target);
  }
  result = LoaderInflate(&archive->reader, entry, WriteTo, out);
  if (result == LOADER_OK) SetFileDate(out, entry->date);
  if (!CloseHandle(out) && result == LOADER_OK) result = LOADER_WRITE_FAILED;
  if (result == LOADER_NO_MEMORY) FAIL("Not enough memory to unpack ", archive->path);
  if (result == LOADER_WRITE_FAILED) FAIL("Cannot write the file ", target);
  if (result != LOADER_OK)
    FAIL("The installation archive ", archive->path, " is damaged at the file ", entry->fileName);
}

/* ---------------------------------------------------------------------------------------------------
   Start-up */

/* Loads only from the system directory from now on, where the system allows choosing. */
static void RestrictLibrarySearch(void) {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesFn setDefault;
  SetDllDirectoryFn setDirectory;
  if (kernel == NULL) return;
  setDefault = (SetDefaultDllDirectoriesFn)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
  setDirectory = (SetDllDirectoryFn)(void*)GetProcAddress(kernel, "SetDllDirectoryA");
  if (setDirectory != NULL) setDirectory("");
  if (setDefault != NULL) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

/* A signed setup.exe whose signature no longer matches its bytes was changed after signing, by damage or
   by someone: it is refused before anything is unpacked. The system judges (WinVerifyTrust); its answers
   in the security facility (0x8009xxxx: a bad digest, a signature or certificate that does not verify, an
   encoding it cannot read) mean the signature is there but does not hold. Everything else lets the file
   run as an unsigned one does: no signature, a certificate the system does not trust (a company's own, a
   throw-away one; trust is the system's own prompt to ask), or no way to check at all (no wintrust.dll on
   the oldest systems). */
static void CheckSignature(const char* self) {
  typedef LONG(WINAPI * VerifyTrustFn)(HWND, const GUID*, LPVOID);
  /* WINTRUST_ACTION_GENERIC_VERIFY_V2 */
  static const GUID action = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
  static WCHAR path[PATH_SIZE];
  static WINTRUST_FILE_INFO file;
  static WINTRUST_DATA data; /* the system writes into it */
  VerifyTrustFn verify = (VerifyTrustFn)SystemFunction("wintrust.dll", "WinVerifyTrust");
  GetModuleFileNameW(NULL, path, PATH_SIZE);
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path;
  /* Judged from the file alone, without a window: no revocation lists, no certificate fetched from the net. */
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  if (verify != NULL && ((ULONG)verify((HWND)INVALID_HANDLE_VALUE, &action, &data) >> 16) == 0x8009)
    FAIL("The setup program ", self, " was changed after it was signed");
}

/* Random bytes from the system's generator, loaded from the system directory. Without one (the oldest
   systems), a mix of clocks and identifiers, which the exclusive creation of the folder still guards. */
static void RandomBytes(void* buffer, DWORD count) {
  typedef BOOLEAN(WINAPI * RtlGenRandomFn)(PVOID, ULONG);
  typedef BOOL(WINAPI * AcquireFn)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
  typedef BOOL(WINAPI * GenRandomFn)(ULONG_PTR, DWORD, BYTE*);
  typedef BOOL(WINAPI * ReleaseFn)(ULONG_PTR, DWORD);
  const DWORD providerRsaFull = 1, verifyContext = 0xF0000000;  /* PROV_RSA_FULL, CRYPT_VERIFYCONTEXT */
  static HMODULE advapi;
  static BOOL loaded;
  static ULONGLONG counter;
  unsigned char* bytes = buffer;

  if (!loaded) {
    loaded = TRUE;
    advapi = LoadSystemLibrary("advapi32.dll");
  }
  if (advapi != NULL) {
    RtlGenRandomFn generate = (RtlGenRandomFn)(void*)GetProcAddress(advapi, "SystemFunction036");
    AcquireFn acquire = (AcquireFn)(void*)GetProcAddress(advapi, "CryptAcquireContextA");
    GenRandomFn genRandom = (GenRandomFn)(void*)GetProcAddress(advapi, "CryptGenRandom");
    ReleaseFn release = (ReleaseFn)(void*)GetProcAddress(advapi, "CryptReleaseContext");
    ULONG_PTR provider;
    if (generate != NULL && generate(buffer, count)) return;
    if (acquire != NULL && genRandom != NULL && release != NULL &&
        acquire(&provider, NULL, NULL, providerRsaFull, verifyContext)) {
      BOOL done = genRandom(provider, count, bytes);
      release(provider, 0);
      if (done) return;
    }
  }
  for (DWORD i = 0; i < count; ++i) {
    LARGE_INTEGER now;
    FILETIME time;
    ULONGLONG x;
    QueryPerformanceCounter(&now);
    GetSystemTimeAsFileTime(&time);
    x = (ULONGLONG)now.QuadPart ^ ((ULONGLONG)time.dwHighDateTime << 32 | time.dwLowDateTime) ^
        ((ULONGLONG)GetCurrentProcessId() << 32 | GetTickCount()) ^ (ULONGLONG)(ULONG_PTR)&now ^
        (++counter * 0x9E3779B97F4A7C15ull);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    bytes[i] = (unsigned char)x;
  }
}

/* A new folder with a name no one can guess, made by this call alone: an existing one is never used. */
static void NewPrivateFolder(void) {
  static const char hex[] = "0123456789abcdef";
  char temp[PATH_SIZE];
  DWORD length = GetTempPathA(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) FAIL("Cannot find the temporary folder");
  if (temp[length - 1] != '\\') APPEND(temp, "\\");
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[8];
    char name[4 + 2 * sizeof random];
    RandomBytes(random, sizeof random);
    name[0] = 't';
    name[1] = 'v';
    name[2] = 'k';
    for (size_t i = 0; i < sizeof random; ++i) {
      name[3 + 2 * i] = hex[random[i] >> 4];
      name[4 + 2 * i] = hex[random[i] & 15];
    }
    name[3 + 2 * sizeof random] = '\0';
    COPY(g_folder, temp);
    APPEND(g_folder, name);
    if (CreateDirectoryA(g_folder, NULL)) return;
  }
  g_folder[0] = '\0';
  FAIL("Cannot create a folder in ", temp);
}

/* The command line after the program's name: its arguments, as they were written. */
static const char* Arguments(void) {
  const char* c = GetCommandLineA();
  int quoted = 0;
  while (*c != '\0' && (unsigned char)*c <= ' ') ++c;
  for (; *c != '\0' && (quoted || (unsigned char)*c > ' '); ++c)
    if (*c == '"') quoted = !quoted;
  while (*c != '\0' && (unsigned char)*c <= ' ') ++c;
  return c;
}

/* The argument that starts at Arguments, split the way the kit splits command lines, into Argument;
   returns where the next one starts. */
static const char* NextArgument(const char* c, char* argument, size_t size) {
  size_t length = 0;
  int quoted = 0;
  for (; *c != '\0' && (quoted || (unsigned char)*c > ' '); ++c) {
    if (*c == '"') quoted = !quoted;
    else if (length + 1 < size) argument[length++] = *c;
  }
  argument[length] = '\0';
  while (*c != '\0' && (unsigned char)*c <= ' ') ++c;
  return c;
}

/* Whether the arguments hold the quiet switch (-q, in either case). */
static int HasQuietSwitch(const char* c) {
  char argument[16];
  while (*c != '\0') {
    c = NextArgument(c, argument, sizeof argument);
    if (argument[0] == '-' && (argument[1] == 'q' || argument[1] == 'Q')) return 1;
  }
  return 0;
}

static DWORD Run(void) {
  static char self[PATH_SIZE], ownFolder[PATH_SIZE], program[PATH_SIZE];
  static char command[TEXT_SIZE], argument[16];
  const char* arguments;
  DWORD exitCode = EXIT_FAILED;
  static Archive archive;
  char programName[TVK_HEADER_MAX_SOURCE_NAME + 1];
  size_t nameStart;
  DWORD length;
  HANDLE own;
  TvkExtractionRecord record;
  BOOL selfExtracting;
  const unsigned char* image = (const unsigned char*)GetModuleHandleA(NULL);
  uint32_t certificates; /* where the certificate table starts, 0 without one */
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;

  RestrictLibrarySearch();
  arguments = Arguments();
  g_quiet = HasQuietSwitch(arguments);
  length = GetModuleFileNameA(NULL, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) FAIL("Cannot find the path of the setup program");
  nameStart = TvkFileNameStart(self, length);
  COPY(ownFolder, self);
  ownFolder[nameStart] = '\0';
  if (nameStart > 0 && ownFolder[nameStart - 1] == '\\') ownFolder[nameStart - 1] = '\0';

  /* Only a file whose headers (here as the system loaded them) name a certificate table can carry a
     signature. An unsigned one is not judged: asking would load wintrust and what it needs, the window
     system among them, which would double the time this program takes. */
  certificates = TvkCertificateTableAt(image, TVK_HEADERS_READ);
  if (certificates != 0) CheckSignature(self);
  /* A self-extractor's own file holds setup.1, where its extraction record says: at its end, or before
     the certificate table its headers name. */
  own = OpenForReading(self);
  selfExtracting =
      TvkFindExtractionRecordBefore(ReadAt, own, FileSize(own), certificates, &record);
  if (selfExtracting) {
    COPY(archive.path, self);
    archive.reader.context = own;
    archive.reader.start = (ULONGLONG)record.setupStart;
    archive.reader.limit = (ULONGLONG)record.setupEnd + 1;
  } else {
    CloseHandle(own);
    COPY(archive.path, ownFolder);
    APPEND(archive.path, "\\" TVK_SETUP_ARCHIVE);
    if (GetFileAttributesA(archive.path) == INVALID_FILE_ATTRIBUTES)
      FAIL("Cannot find the installation archive ", archive.path);
  }
  OpenArchive(&archive);
  CheckArchive(&archive, programName);

  NewPrivateFolder();
  {
    ULONGLONG position = archive.reader.start + TVK_PREFIX_SIZE;
    for (LONG i = 0; i < archive.reader.count; ++i) {
      LoaderEntry entry;
      ReadEntry(&archive, position, i, &entry);
      ExtractEntry(&archive, &entry);
      position = entry.next;
    }
  }
  CloseHandle((HANDLE)archive.reader.context);

  COPY(program, g_folder);
  APPEND(program, "\\", programName);
  COPY(command, "\"");
  APPEND(command, program, "\" \"-s", ownFolder, "\"");
  {
    /* *TODISK is the loader's own word: a self-extractor copies itself to disks, a plain setup ignores it. */
    const char* next = NextArgument(arguments, argument, sizeof argument);
    const int toDisk = SameText(argument, "*TODISK");
    if (toDisk) arguments = next;
    if (selfExtracting) APPEND(command, " \"-e", self + nameStart, "\"", toDisk ? " -f" : " -c");
    else APPEND(command, " -c");
  }
  /* The rest of setup.exe's own arguments go to the installation program as they were written. */
  if (*arguments != '\0') APPEND(command, " ", arguments);
  if (lstrlenA(command) + 1 >= (int)sizeof command) FAIL("The command line is too long");

  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  if (!CreateProcessA(program, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    FAIL("Cannot start ", program);
  /* The unpacked copy is the installation program's now. */
  g_folder[0] = '\0';
  CloseHandle(process.hThread);
  /* Whoever started setup.exe learns how the installation ended. */
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &exitCode))
    exitCode = EXIT_FAILED;
  CloseHandle(process.hProcess);
  return exitCode;
}

void LoaderStart(void) { ExitProcess(Run()); }
