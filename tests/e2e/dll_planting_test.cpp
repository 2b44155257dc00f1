// DLL planting: a downloaded setup.exe starts from the downloads folder, where other downloads may lie,
// among them a library named like a system one. Neither the loading program nor the installation
// program may load such a library, from the downloads folder or from the working directory.
//
// The canaries (tests/fixtures/canary) are one library copied under the names of system libraries that
// the programs, or the system libraries they use, load by name. Loaded, a canary leaves a marker. Wine
// takes its own built-in copies of system libraries unless told otherwise, so the tests here tell it to
// prefer a library on disk for those names ("native,builtin"): then a canary that is found first is
// loaded, as on Windows. A control run shows that this happens where a program does load a
// library by name from its own folder; without it, an empty marker folder would prove nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>

namespace {

using namespace e2e;
using tvktest::ReadFile;
using tvktest::RemoveTree;
using tvktest::WriteFile;

#ifdef TVK_CANARY_FIXTURES
const std::string kCanaryFixtures = TVK_CANARY_FIXTURES;
#else
const std::string kCanaryFixtures;
#endif

// The system libraries a canary stands in for, none of which Windows keeps among the libraries it always
// takes from its own directory: those the installation program imports (version, comctl32) or the
// system libraries load for it when it starts and draws its windows (uxtheme, dwmapi, msimg32), and
// wininet, which a setup program might use for an install location on the net.
const std::vector<std::string> kCanaries = {"version.dll", "comctl32.dll", "uxtheme.dll",
                                            "dwmapi.dll",  "msimg32.dll",  "wininet.dll"};

std::string FixturePath(const std::string& name) {
  std::string path = kCanaryFixtures + "\\" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// Copies the canary into Folder under every name.
void PlantCanaries(const std::string& folder) {
  for (const std::string& name : kCanaries)
    ASSERT_TRUE(::CopyFileA(FixturePath("tvkcanary.dll").c_str(), (folder + "\\" + name).c_str(), FALSE)) << name;
}

// What the canaries reported in the folders: each marker's name, then the program and the canary it names.
std::string Markers(const std::vector<std::string>& folders) {
  std::string found;
  for (const std::string& folder : folders)
    for (const os::FindData& entry : os::FindFiles(folder + "\\*.loaded"))
      found += entry.name + ": " + ReadFile(folder + "\\" + entry.name);
  return found;
}

// While it lives, Wine prefers a library on disk to its built-in copy for the canaries' names, in every
// program of the prefix. Wine takes WINEDLLOVERRIDES from the environment it was started with, not from
// the one a program hands its children, so the setting goes where Wine reads it at each load: its
// registry key of overrides. The values there before are put back.
class PreferLibrariesOnDisk {
 public:
  PreferLibrariesOnDisk() {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      nullptr, &key_, nullptr);
    for (const std::string& library : kCanaries) {
      const std::string name = library.substr(0, library.size() - 4);
      char value[256];
      DWORD size = sizeof value, type = 0;
      std::optional<std::string> old;
      if (::RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
          type == REG_SZ)
        old = std::string(value, ::strnlen(value, size));
      saved_.emplace_back(name, old);
      Write(name, "native,builtin");
    }
  }
  ~PreferLibrariesOnDisk() {
    for (const auto& [name, old] : saved_)
      if (old) Write(name, *old);
      else ::RegDeleteValueA(key_, name.c_str());
    ::RegCloseKey(key_);
  }
  PreferLibrariesOnDisk(const PreferLibrariesOnDisk&) = delete;
  PreferLibrariesOnDisk& operator=(const PreferLibrariesOnDisk&) = delete;

 private:
  void Write(const std::string& name, const std::string& value) {
    EXPECT_EQ(::RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               DWORD(value.size() + 1)),
              ERROR_SUCCESS)
        << name;
  }
  HKEY key_ = nullptr;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Names the canaries' marker folder to the programs started while it lives, then puts the old value back.
class MarkerFolder {
 public:
  explicit MarkerFolder(const std::string& folder) {
    char value[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA(kName, value, sizeof value);
    if (length != 0 && length < sizeof value) old_ = std::string(value, length);
    ::SetEnvironmentVariableA(kName, folder.c_str());
  }
  ~MarkerFolder() { ::SetEnvironmentVariableA(kName, old_ ? old_->c_str() : nullptr); }
  MarkerFolder(const MarkerFolder&) = delete;
  MarkerFolder& operator=(const MarkerFolder&) = delete;

 private:
  static constexpr const char* kName = "TVK_CANARY_MARKERS";
  std::optional<std::string> old_;
};

// Starts a command line in a working directory of its choice, the canaries reporting to Markers.
tvktest::Process StartIn(const std::string& commandLine, const std::string& directory, const std::string& markers) {
  MarkerFolder environment(markers);
  std::string line = commandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &startup,
                        &process))
    return tvktest::Process();
  ::CloseHandle(process.hThread);
  return tvktest::Process(process.hProcess);
}

class DllPlanting : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kCanaryFixtures.empty()) GTEST_SKIP() << "the canary fixtures were not built";
    RemoveTree("C:\\Program Files\\Brindlecote");
    CreateDirectoryPath(kQuikpost);
    WriteFile(kQuikpost + "quikpost.exe", "MZ");
    preferDisk_.emplace();
  }
  void TearDown() override {
    WaitForProgramGone();
    WaitForProgramGone("setup.exe");
    preferDisk_.reset();
    RemoveTree("C:\\Program Files\\Brindlecote");
    RemoveTree("C:\\D3");
    tvktest::RemoveRegTree(os::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quikpost");
  }

  tvktest::ScratchDir markers_;
  std::optional<PreferLibrariesOnDisk> preferDisk_;
};

// The control: a program that loads each name from its own folder, where the canaries are, gets the
// canary, and the canary leaves its marker.
TEST_F(DllPlanting, ACanaryLoadedByNameLeavesItsMarker) {
  tvktest::ScratchDir folder;
  PlantCanaries(folder.Path());
  const std::string probe = folder / "probe.exe";
  ASSERT_TRUE(::CopyFileA(FixturePath("tvkcanaryprobe.exe").c_str(), probe.c_str(), FALSE));
  for (const std::string& name : kCanaries) {
    SCOPED_TRACE(name);
    tvktest::Process process = StartIn("\"" + probe + "\" " + name, folder.Path(), markers_.Path());
    ASSERT_TRUE(process);
    EXPECT_EQ(process.Wait(kWait), std::optional<unsigned long>(0));
    const std::string found = Markers({markers_.Path()});
    EXPECT_NE(found.find(name + "."), std::string::npos) << found;
    EXPECT_NE(found.find(probe + "\r\n" + folder / name + "\r\n"), std::string::npos) << found;
  }
}

// The self-extracting setup.exe among the canaries in a downloads folder, started with another folder of
// canaries as its working directory, installs the dictionary to the end, and no canary is loaded: not by
// the loading program, not by the installation program it unpacks and starts, not by what that program
// starts to clean up after itself.
TEST_F(DllPlanting, SetupStartedFromADownloadsFolderLoadsNoCanary) {
  tvktest::ScratchDir kit, downloads, work;
  BuildDistribution(kit.Path());
  const std::string setup = downloads / "setup.exe";
  ASSERT_TRUE(::CopyFileA((kit / "inst\\setup.exe").c_str(), setup.c_str(), FALSE));
  PlantCanaries(downloads.Path());
  PlantCanaries(work.Path());
  const std::set<std::string> temp = UnpackedFolders();

  tvktest::Process loader = StartIn("\"" + setup + "\"", work.Path(), markers_.Path());
  ASSERT_TRUE(loader);
  tvkui::ClickButton(tvkui::WaitForWindow(kFinder, kWait), "Continue");
  HWND main = tvkui::WaitForWindow(kMainForm, kWait);
  EXPECT_EQ(ReadFile(kQuikpost + "American.dct"), Words());
  tvkui::ClickButton(main, "Finished");
  WaitForProgramGone();
  EXPECT_EQ(loader.Wait(kWait), std::optional<unsigned long>(0));
  EXPECT_TRUE(UnpackedFoldersBecome(temp)) << "the unpacked installation program was not cleaned up";

  EXPECT_EQ(Markers({markers_.Path(), downloads.Path(), work.Path()}), "");
}

}  // namespace
