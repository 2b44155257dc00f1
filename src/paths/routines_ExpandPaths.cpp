#include "paths/routines_ExpandPaths.h"

#include "archive/types_Distribution.h"
#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"

namespace {

constexpr char kShellFolders[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCurrentVersion[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The fallback is made first, always: a failing Windows directory query raises even when the registry
// holds the value.
std::string Lookup(int root, const char* key, const char* value, const std::string& base, const char* folder) {
  std::string fallback = WithTrailingBackslash(base) + folder;
  return WithoutTrailingBackslash(ReadRegString(root, key, value, fallback));
}

std::string CurrentDrive() { return ExtractFileDrive(os::CurrentDirectory()); }

}  // namespace

std::string StartMenuDir() { return Lookup(rrCurrentUser, kShellFolders, "Start Menu", WindowsDirectory(), "Startmen"); }

std::string ProgramsMenuDir() { return Lookup(rrCurrentUser, kShellFolders, "Programs", StartMenuDir(), "Programs"); }

std::string DesktopDir() { return Lookup(rrCurrentUser, kShellFolders, "Desktop", WindowsDirectory(), "Desktop"); }

std::string StartupDir() { return Lookup(rrCurrentUser, kShellFolders, "Startup", WindowsDirectory(), "Startup"); }

std::string ProgramFilesDir() {
  return Lookup(rrLocalMachine, kCurrentVersion, "ProgramFilesDir", CurrentDrive(), "Program Files");
}

std::string CommonFilesDir() {
  return Lookup(rrLocalMachine, kCurrentVersion, "CommonFilesDir", CurrentDrive(), "Program Files\\Common Files");
}

std::string BDEDLLPath() {
  std::string path = ReadRegString(rrLocalMachine, "\\Software\\Borland\\Database Engine", "DLLPath", "");
  if (path.empty()) path = WithTrailingBackslash(ProgramFilesDir()) + "Borland\\Common Files\\BDE";
  return GetField(path, 1, ';');
}

std::string MainArchivePath(const std::string& sourceDir, bool selfExtracting, const std::string& selfExtractorName) {
  if (!selfExtracting) return WithTrailingBackslash(sourceDir) + TVK_FILES_ARCHIVE;
  if (Trim(selfExtractorName).empty())
    throw IEInstall(
        "You forgot to pass in the name of the self-extracting executable. Usage example: \"-eSetup.exe\"");
  return WithTrailingBackslash(sourceDir) + selfExtractorName;
}
