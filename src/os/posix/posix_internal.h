// Shared by the posix implementation of the os layer; nothing outside src/os/posix includes it.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "os/os.h"

namespace os::posix {

// Win32 codes the posix side reports beyond those os.h names.
enum : std::uint32_t {
  kErrorTooManyOpenFiles = 4,
  kErrorNotSameDevice = 17,
  kErrorGenFailure = 31,
  kErrorBadNetPath = 53,
  kErrorInvalidName = 123,
  kErrorDirNotEmpty = 145,
  kErrorFilenameTooLong = 206,
  kErrorDirectory = 267,
  kErrorKeyDeleted = 1018,
};

// Sets the thread's last error and gives `result`, so that failing paths read as one statement.
template <typename T = bool>
T Fail(std::uint32_t code, T result = T{}) {
  os::SetLastError(code);
  return result;
}

// The Win32 code for an errno value. A missing entry is "file not found" when its directory exists and
// "path not found" when it does not, as Windows tells them apart.
std::uint32_t ErrorFromErrno(int err, bool parentExists = true);

// The folder standing for the Windows file system; created with its standard folders on first use.
const std::string& Root();

// A Windows path made absolute: drive, backslashes, no "." or ".." parts. Keeps a trailing backslash.
std::optional<std::string> FullPath(const std::string& path);

struct HostPath {
  std::string path;          // where the Windows path lives on the host
  bool parentExists = true;  // whether every folder above the last part exists
};
// Maps a Windows path to the host, matching each existing part without regard to case. Sets the last
// error and gives nothing when the path cannot name a file at all.
std::optional<HostPath> Resolve(const std::string& path);

TDateTime ToDateTime(const timespec& time);
timespec ToTimespec(TDateTime time);  // rounded to the millisecond

// ASCII case folding, which is what Windows file and registry names are compared with here.
inline int LowerAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte;
}
bool EqualNoCase(const std::string& a, const std::string& b);
std::string UpperCase(std::string text);

}  // namespace os::posix
