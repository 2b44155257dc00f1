// The operating-system surface of the kit. Everything the kit asks of Windows goes through here.
//
// os/win32 implements it over the Win32 API; os/posix serves the native build, where Windows paths
// ("C:\Dir\File") map onto a root folder (<root>/c/Dir/File, matched without regard to case), the
// registry lives in memory and whatever has no meaning there fails as the real call would.
//
// Calls report failure the way the system does (false, an empty optional, an invalid handle) and leave
// the system's error code in LastError(); the kit above turns failures into its own exceptions.
// Strings are single-byte text in the ANSI code page. Dates are TDateTime values in local time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace os {

using TDateTime = double;  // days since 1899-12-30, time of day as the fraction

// Error codes the kit looks at, with their Win32 values.
enum : std::uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorSharingViolation = 32,
  kErrorDiskFull = 112,
  kErrorAlreadyExists = 183,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
  kErrorCallNotImplemented = 120,
};

// The error code of the last failing call on this thread.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// ---------------------------------------------------------------------------------------------------
// Files

enum class Access { Read, Write, ReadWrite };
enum class Share { Exclusive, DenyWrite, DenyRead, DenyNone };
enum class Disposition {
  OpenExisting,  // fails when the file is missing
  CreateAlways,  // creates or truncates
  CreateNew,     // fails when the file exists
  OpenAlways,    // opens, creating when missing
};
enum class Origin { Begin, Current, End };

// An open file. Move-only; closes on destruction.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // An invalid File when the system refuses (LastError() tells why; a conflicting share mode
  // gives kErrorSharingViolation).
  static File Open(const std::string& path, Access access, Share share, Disposition disposition);

  bool IsValid() const { return handle_ != kInvalid; }
  explicit operator bool() const { return IsValid(); }
  void Close();

  // Bytes transferred, or -1 on failure. A write that stops short means the disk is full.
  std::int64_t Read(void* buffer, std::size_t count);
  std::int64_t Write(const void* buffer, std::size_t count);
  // The new position, or -1.
  std::int64_t Seek(std::int64_t offset, Origin origin);
  std::int64_t Size();
  bool SetEnd();  // truncates or extends the file at the current position
  bool Flush();
  std::optional<TDateTime> LastWriteTime();
  bool SetLastWriteTime(TDateTime time);

 private:
  static constexpr std::intptr_t kInvalid = -1;
  explicit File(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kInvalid;
};

struct FindData {
  std::string name;  // the name within its directory
  bool directory = false;
  std::int64_t size = 0;
  TDateTime lastWrite = 0;
};

bool FileExists(const std::string& path);       // a file, not a directory
bool DirectoryExists(const std::string& path);  // a directory, not a file
std::optional<std::int64_t> FileSize(const std::string& path);
std::optional<TDateTime> FileAge(const std::string& path);  // last-write time
bool DeleteFile(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool MoveFile(const std::string& from, const std::string& to);
// Moves From over To, replacing an existing To, as one step where the system allows (the NT family); on
// the Windows 95 family To is deleted just before the rename. False when To is in use or cannot be
// replaced, with To untouched.
bool MoveFileReplacing(const std::string& from, const std::string& to);
// Schedules a move (or, with an empty target, a deletion) for the next start of Windows, replacing
// an existing target.
bool MoveFileAtRestart(const std::string& from, const std::string& to);
bool CreateDirectory(const std::string& path);  // one level
bool RemoveDirectory(const std::string& path);  // an empty directory
// Entries matching a pattern such as "C:\Dir\*.txt" ("*" and "?" in the last part), without "." and "..".
std::vector<FindData> FindFiles(const std::string& pattern);

std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);
std::optional<std::string> FullPathName(const std::string& path);

// For command-line tools, which take paths as the host's shell gives them. Natively the kit sees the
// host's own file system as drive Z:, as under Wine; under Windows the two are one.
//
// Makes the directory the tool was started in the current directory, so that relative paths mean what
// they meant to the caller: natively the host's working directory on drive Z:; under Windows it already
// is, and nothing changes. False (LastError() says why) when that directory cannot be the current one,
// as when its path holds a character Windows does not allow in names.
bool EnterHostDirectory();
// A path from the host's command line as the kit names it: natively "/" becomes "\", so that an absolute
// host path names its file on the current drive (Z: once EnterHostDirectory has run); under Windows the
// path as given.
std::string PathFromHost(std::string path);

// ---------------------------------------------------------------------------------------------------
// System

std::optional<std::string> TempPath();  // ends with a backslash
// A new unique file "<dir>\<prefix><hex>.tmp", created empty (unique == 0), or just named (unique != 0).
std::optional<std::string> TempFileName(const std::string& dir, const std::string& prefix, unsigned unique);
std::string ModuleFileName();  // full path of the running program
// The program's parameters, without the program itself. On Windows the command line is split at blanks
// outside double quotes, and the quotes are dropped: "-sC:\My Build" is one parameter.
std::vector<std::string> CommandLineArguments();
// That split, for a whole command line (whose first element is the program).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
std::optional<std::string> ShortPathName(const std::string& path);
std::optional<std::string> WindowsDirectory();
std::optional<std::string> SystemDirectory();

struct VersionInfo {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;  // 0 Win32s, 1 Windows 95 family, 2 Windows NT
  std::string servicePack;
};
std::optional<VersionInfo> WindowsVersion();

// Writes "key=value" in [section] of an initialisation file (WININIT.INI and the like).
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file);

TDateTime Now();  // local time
// Milliseconds since some fixed moment, wrapping around after 2^32: cheap enough to ask very often.
std::uint32_t TickCount();
std::uint16_t UserDefaultLangID();
// Case-insensitive comparison in the user's locale: <0, 0 or >0.
int CompareTextLocale(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------------------------------
// Programs and libraries

// Starts a command line with the given show state (SW_ value), not waiting for it: the system's
// answer, 32 or more on success (as WinExec).
unsigned WinExec(const std::string& commandLine, int show);
inline constexpr int kShowHidden = 0;  // SW_HIDE
// Starts a command line hidden, not waiting for it. A console program (a batch file's interpreter) gets
// a console that has no window at all, which its own children share, instead of a hidden console window:
// one process and the window system fewer under Wine. Where the system knows no such console (the
// Windows 95 family), as WinExec with SW_HIDE. True when it started.
bool StartHidden(const std::string& commandLine);
// Runs a command line with the given show state and waits for it, at most TimeoutMs: its exit code, or
// nothing when it could not start or did not end in time (it then runs on).
std::optional<std::uint32_t> RunAndWait(const std::string& commandLine, int show, std::uint32_t timeoutMs);

// A loaded library. Move-only; frees the library on destruction.

class Module {
 public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  static Module Load(const std::string& path);  // invalid when the system refuses
  // A component named by its full path, whose own imports are looked for in its folder and in the
  // system directory, never in the current folder or the program's; on systems that cannot restrict
  // the search, its folder comes first. Invalid when the system refuses.
  static Module LoadComponent(const std::string& path);
  bool IsValid() const { return handle_ != 0; }
  explicit operator bool() const { return IsValid(); }
  // Calls an exported function that takes no arguments and returns a 32-bit value in the system's
  // calling convention (DllRegisterServer); nothing when there is no such export.
  std::optional<std::int32_t> CallExport(const std::string& name);
  // The address of an exported function, or null; the caller casts it to the function's own type.
  void* Export(const std::string& name) const;

 private:
  explicit Module(std::uintptr_t handle) : handle_(handle) {}
  void Free();
  std::uintptr_t handle_ = 0;
};

// Has libraries loaded by name come from the system directory only, never from the program's or the
// current directory (where a downloaded setup.exe may find planted DLLs). False where the system cannot.
bool RestrictLibrarySearch();

// Asks Windows to restart, first enabling the shutdown privilege when asked (Windows NT). False when
// any step is refused.
bool RestartWindows(bool enableShutdownPrivilege);

// COM for the calling thread, initialised for the life of the object.
class OleScope {
 public:
  OleScope();
  ~OleScope();
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool initialised_ = false;
};

// ---------------------------------------------------------------------------------------------------
// Registry

// The predefined root keys, with their Win32 handle values.
using RootKey = std::uint32_t;
inline constexpr RootKey kClassesRoot = 0x80000000u;
inline constexpr RootKey kCurrentUser = 0x80000001u;
inline constexpr RootKey kLocalMachine = 0x80000002u;
inline constexpr RootKey kUsers = 0x80000003u;
inline constexpr RootKey kPerformanceData = 0x80000004u;
inline constexpr RootKey kCurrentConfig = 0x80000005u;
inline constexpr RootKey kDynData = 0x80000006u;

enum class RegType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  DWord = 4,
  MultiString = 7,
};

struct RegValue {
  RegType type = RegType::None;
  std::string data;  // raw bytes; strings include their terminating zero as the system stores them
};

enum class RegAccess { Read, All };
// Which registry a 64-bit Windows shows: the one of the calling program's kind (Default), or the 32-bit
// or 64-bit programs' one by name. Windows without the two (and the native build) have one registry.
enum class RegView { Default, Bits32, Bits64 };

// An open registry key. Move-only; closes on destruction. Paths are below the root, separated by
// backslashes, without a leading backslash; names compare without regard to case.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey();
  RegKey(RegKey&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  static RegKey Open(RootKey root, const std::string& path, RegAccess access, RegView view = RegView::Default);
  static RegKey Create(RootKey root, const std::string& path);  // opens, creating missing keys

  bool IsValid() const { return handle_ != 0; }
  explicit operator bool() const { return IsValid(); }
  void Close();

  std::optional<RegValue> Query(const std::string& name) const;
  bool Set(const std::string& name, RegType type, const void* data, std::size_t size);
  bool DeleteValue(const std::string& name);
  std::optional<std::vector<std::string>> SubKeyNames() const;
  std::optional<std::vector<std::string>> ValueNames() const;
  bool Flush();

 private:
  explicit RegKey(std::uintptr_t handle) : handle_(handle) {}
  std::uintptr_t handle_ = 0;
};

// Deletes a key that has no subkeys.
bool RegDeleteKey(RootKey root, const std::string& path);

// ---------------------------------------------------------------------------------------------------
// Version resources, after version.dll. The native build reads them with the PE reader of pe_version.h.

// The version block of a file, as GetFileVersionInfoSizeA and GetFileVersionInfoA give it together:
// nothing when the file has no version resource or cannot be read. Only QueryVersionValue of the same
// build reads it.
std::optional<std::vector<std::uint8_t>> FileVersionInfo(const std::string& path);
// A value of such a block, as VerQueryValueA answers: "\" for the fixed file information,
// "\VarFileInfo\Translation", "\StringFileInfo\040904E4\CompanyName". Text values come in the ANSI
// code page with as many characters as they declare, which may or may not include a terminating zero;
// other values as raw bytes. Nothing when the block has no such value. The system may use the block's
// spare room to convert text, hence the non-const block.
std::optional<std::string> QueryVersionValue(std::vector<std::uint8_t>& block, const std::string& subBlock);

}  // namespace os
