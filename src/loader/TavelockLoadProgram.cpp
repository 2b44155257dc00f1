// The loading program, shipped as "setup.exe". It unpacks "setup.1" (from its own end when it is a
// self-extractor, else from beside it) into a new folder of its own in the temporary directory and
// starts the installation program, the archive's first entry:
//   self-extracting:  "<program>" "-s<own folder>" "-e<own name>" -c   (with *TODISK: -f instead of -c)
//   plain:            "<program>" "-s<own folder>" -c
// The unpacked copy stays: the installation program removes it at the end, and a run that waits for a
// restart still needs it.
#include <cstdio>
#include <random>
#include <string>

#include "archive/cmp_TTvlkCompress.h"
#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "install/cmp_TInstall.h"
#include "os/os.h"
#include "support/routines_Strings.h"

namespace {

// A new folder with a name no one can guess, made by this call alone: an existing one is never used.
std::string NewPrivateFolder() {
  const std::string temp = WithTrailingBackslash(os::TempPath().value_or(""));
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "tvk%08x%08x", unsigned(random()), unsigned(random()));
    if (os::CreateDirectory(temp + name)) return temp + name;
  }
  throw Exception("Cannot create a folder in %s", {temp});
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

int Run() {
  os::RestrictLibrarySearch();
  const std::string self = os::ModuleFileName();
  const std::string folder = WithoutTrailingBackslash(ExtractFilePath(self));
  const std::vector<std::string> parameters = os::CommandLineArguments();
  const bool toDisk = !parameters.empty() && SameText(parameters[0], "*TODISK");

  TTvlkCompress engine(nullptr);
  bool selfExtracting = true;
  try {
    engine.SetOffset(ReadExtractionInfo(self).SetupStart);
    engine.SetCompressedFile(self);
  } catch (const IEInstall&) {
    selfExtracting = false;
    engine.SetOffset(0);
    engine.SetCompressedFile(WithTrailingBackslash(folder) + "setup.1");
  }
  engine.LoadHeaders();
  if (engine.FileCount() == 0) throw Exception("The archive %s holds no installation program", {engine.CompressedFile()});

  const std::string target = NewPrivateFolder();
  engine.SetExtractDirectory(target);
  engine.FilesToProcess().Clear();
  std::string program;
  for (int i = 0; i < engine.FileCount(); ++i) {
    TlzhFileStats stats;
    engine.GetFileStats(i, stats);
    engine.FilesToProcess().Add(stats.FileName);
    if (i == 0) program = WithTrailingBackslash(target) + ExtractFileName(stats.FileName);
  }
  engine.Extract();
  if (engine.Abort() || !os::FileExists(program)) throw Exception("Cannot unpack %s", {engine.CompressedFile()});

  std::string command = Quoted(program) + " " + Quoted("-s" + folder);
  if (selfExtracting) command += " " + Quoted("-e" + ExtractFileName(self)) + (toDisk ? " -f" : " -c");
  else command += " -c";
  if (os::WinExec(command, kShowNormal) < 32) throw Exception("Cannot start %s", {program});
  return 0;
}

}  // namespace

int LoaderMain() {
  try {
    return Run();
  } catch (const std::exception& e) {
    // One line, whatever went wrong: a missing or damaged setup.1 must never end in a crash.
    std::string text = e.what();
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    Application->MessageBox(text, "Setup", MB_OK | MB_ICONSTOP);
    return 1;
  }
}
