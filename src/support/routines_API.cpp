#include "support/routines_API.h"

#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_Strings.h"

namespace {
constexpr std::size_t kShortPathLimit = 400;
}

int WindowsPlatform() {
  auto version = os::WindowsVersion();
  if (!version) throw EAPIRoutines("Could not get information about the current version of Windows");
  std::string text = std::to_string(version->major) + "." + std::to_string(version->minor);
  switch (version->platformId) {
    case 0: return 0;
    case 1: return 1;
    case 2: return text.find("3.5") != std::string::npos ? 3 : 2;
    default: return 4;
  }
}

std::string TempFileName(bool keep) {
  auto dir = os::TempPath();
  if (!dir) throw EAPIRoutines("Cannot create a temporary file");
  auto name = os::TempFileName(*dir, "bat", 0);
  if (!name || name->empty()) throw EAPIRoutines("Cannot create a temporary file");
  // The caller creates the file itself; only the unique name is wanted.
  if (!keep) os::DeleteFile(*name);
  return *name;
}

std::string NewTempFile(const std::string& extension) {
  // The system reserves a unique name only with its own extension; the one asked for is claimed here.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = ChangeFileExt(TempFileName(false), extension);
    if (os::File::Open(name, os::Access::Write, os::Share::DenyNone, os::Disposition::CreateNew)) return name;
  }
  throw EAPIRoutines("Cannot create a temporary file");
}

std::string SystemDirectory() {
  auto dir = os::SystemDirectory();
  if (!dir) throw EAPIRoutines("Could not retrieve the system directroy from windows");
  return *dir;
}

std::string WindowsDirectory() {
  auto dir = os::WindowsDirectory();
  if (!dir) throw EAPIRoutines("Could not retrieve the windows directory from windows");
  return *dir;
}

std::string ShortPathName(const std::string& path) {
  auto shortName = os::ShortPathName(path);
  // The only use is as a registry value name: an empty text there would name the key's default value.
  if (!shortName || shortName->empty() || shortName->size() > kShortPathLimit) return path;
  return *shortName;
}

void CreateDirectoryPath(const std::string& dir) {
  if (dir.empty()) throw Exception("Unable to create directory");
  std::string path = WithoutTrailingBackslash(dir);
  if (path.size() <= 2 || os::DirectoryExists(path)) return;
  std::string parent = ExtractFilePath(path);
  // A relative name of one level has no parent to make.
  if (!parent.empty() && parent != path) CreateDirectoryPath(parent);
  os::CreateDirectory(path);
}
