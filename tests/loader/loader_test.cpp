// The loading program ("setup.exe") under Wine: it unpacks setup.1, from beside it or from its own end,
// into a new folder of the temporary directory and starts the first entry with the agreed command line;
// a missing or damaged archive ends in one message box and exit code 1, with nothing left behind; and it
// stays small, imports kernel32 alone, and carries a manifest asking for administrator rights and its
// version.
//
// Every run gets a temporary directory of its own (TMP and TEMP), so what the loader leaves there can be
// checked exactly. The probe stands in for the installation program and reports how it was started.
#include <gtest/gtest.h>

// The kit's headers first: they name some of the constants windows.h makes macros of.
#include "archive/cmp_TTvlkCompress_Format.h"
#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "os/os.h"
#include "host_tools.h"
#include "support/test_support.h"
#include "ui_driver.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

const std::string kLoader = WindowsPath(TVK_LOADER);
const std::string kProbe = WindowsPath(TVK_LOADER_PROBE);
constexpr DWORD kRunTimeoutMs = 60000;

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// The names of the folders in Path.
std::set<std::string> Folders(const std::string& path) {
  std::set<std::string> names;
  for (const os::FindData& entry : os::FindFiles(path + "\\*"))
    if (entry.directory && entry.name != "." && entry.name != "..") names.insert(entry.name);
  return names;
}

std::set<std::string> Files(const std::string& path) {
  std::set<std::string> names;
  for (const os::FindData& entry : os::FindFiles(path + "\\*"))
    if (!entry.directory) names.insert(entry.name);
  return names;
}

template <class Condition>
bool PollFor(Condition condition, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (condition()) return true;
    ::Sleep(50);
  }
  return condition();
}

// This process's environment with TMP, TEMP and the probe's output file replaced.
std::string Environment(const std::string& temp, const std::string& probeOut) {
  // The probe ends with an exit code of its own, which the loader must pass on.
  const std::vector<std::string> replaced = {"TMP=" + temp, "TEMP=" + temp, "TVK_LOADER_PROBE_OUT=" + probeOut,
                                             "TVK_LOADER_PROBE_EXIT=3010"};
  std::string block;
  char* strings = ::GetEnvironmentStringsA();
  for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const std::string text = Lower(entry);
    if (text.rfind("tmp=", 0) == 0 || text.rfind("temp=", 0) == 0 || text.rfind("tvk_loader_probe_", 0) == 0)
      continue;
    block += std::string(entry) + '\0';
  }
  ::FreeEnvironmentStringsA(strings);
  for (const std::string& entry : replaced) block += entry + '\0';
  return block + '\0';
}

// What the loader showed: its message boxes, read and answered with OK as they came.
struct Outcome {
  std::optional<DWORD> exitCode;  // none when it had to be ended
  std::vector<tvkui::MessageBoxInfo> boxes;
};

// A message box of the process, or nullptr: other programs on the desktop may show their own.
HWND MessageBoxOf(DWORD processId) {
  for (HWND window : tvkui::VisibleWindows()) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId && tvkui::IsMessageBox(window)) return window;
  }
  return nullptr;
}

// Runs the loader as "<exe> <arguments>" with its own temporary directory and waits for it to end.
Outcome RunLoader(const std::string& exe, const std::string& arguments, const std::string& temp,
                  const std::string& probeOut) {
  Outcome outcome;
  std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  std::string environment = Environment(temp, probeOut);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, environment.data(), nullptr,
                        &startup, &process)) {
    ADD_FAILURE() << "cannot start " << command;
    return outcome;
  }
  ::CloseHandle(process.hThread);
  for (DWORD waited = 0; waited < kRunTimeoutMs; waited += 50) {
    if (::WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
    const HWND box = MessageBoxOf(process.dwProcessId);
    if (box == nullptr) continue;
    outcome.boxes.push_back(tvkui::ReadMessageBox(box));
    try {
      tvkui::PressMessageBoxButton(box, "OK");
    } catch (const tvkui::UiError& e) {
      ADD_FAILURE() << e.what();
      break;  // and end the program
    }
    // Answered: wait for it to go before looking again.
    PollFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
  }
  DWORD code = 0;
  if (::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.hProcess, &code)) {
    outcome.exitCode = code;
  } else {
    ::TerminateProcess(process.hProcess, 99);
    ::WaitForSingleObject(process.hProcess, 5000);
  }
  ::CloseHandle(process.hProcess);
  return outcome;
}

// Bytes that compress a little and run over several of the loader's 64 KB buffers.
std::string DataBytes() {
  std::string data;
  unsigned x = 12345;
  for (int i = 0; i < 300000; ++i) {
    x = x * 1103515245u + 12345u;
    data += char(i % 7 == 0 ? 'a' : (x >> 16) & 0xFF);
  }
  return data;
}

// A distribution as the build makes it: setup.1 with the probe as the installation program and one
// presetup data file, and the loader as setup.exe beside it.
class Loader : public ::testing::Test {
 protected:
  tvktest::ScratchDir dir;
  std::string data = dir / "presetup.dat";
  std::string plain = dir / "plain";
  std::string setup1 = plain + "\\setup.1";
  TDataModule owner{nullptr};
  TInstall* install = new TInstall(&owner);

  void SetUp() override {
    tvktest::WriteFile(data, DataBytes());
    ASSERT_TRUE(::CreateDirectoryA(plain.c_str(), nullptr));
    install->PresetupFiles().Add(data);
    install->CreateSetupArchive(plain, kProbe);
    ASSERT_TRUE(os::FileExists(setup1));
    ASSERT_TRUE(::CopyFileA(kLoader.c_str(), (plain + "\\setup.exe").c_str(), FALSE));
  }

  // A self-extracting setup.exe made by the build's own step, with a files.1 after setup.1 as shipped,
  // alone in a folder of its own.
  std::string MakeSelfExtractor() {
    const std::string folder = dir / "sfx";
    const std::string exe = folder + "\\setup.exe";
    EXPECT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_TRUE(::CopyFileA(kLoader.c_str(), exe.c_str(), FALSE));
    install->MakeSelfExtractor(exe, setup1, data);
    return exe;
  }

  // A fresh temporary directory for one run.
  std::string NewTemp(const std::string& name) {
    const std::string temp = dir / name;
    EXPECT_TRUE(::CreateDirectoryA(temp.c_str(), nullptr));
    return temp;
  }
};

TEST_F(Loader, UnpacksIntoANewFolderAndStartsTheProgramWithTheAgreedCommandLine) {
  const std::string selfExtractor = MakeSelfExtractor();
  const struct {
    const char* name;
    std::string exe;
    const char* arguments;
    std::string expectedTail;  // after the program
  } cases[] = {
      {"plain", plain + "\\setup.exe", "", " \"-s" + plain + "\" -c"},
      {"plain ignores *TODISK", plain + "\\setup.exe", "*TODISK", " \"-s" + plain + "\" -c"},
      {"self-extracting", selfExtractor, "", " \"-s" + dir / "sfx" + "\" \"-esetup.exe\" -c"},
      {"self-extracting to disk", selfExtractor, "*todisk", " \"-s" + dir / "sfx" + "\" \"-esetup.exe\" -f"},
      {"self-extracting, other argument", selfExtractor, "*TODISKS",
       " \"-s" + dir / "sfx" + "\" \"-esetup.exe\" -c *TODISKS"},
      {"self-extracting, arguments passed on", selfExtractor, "-q \"-tC:\\My Dir\"  -lx.log",
       " \"-s" + dir / "sfx" + "\" \"-esetup.exe\" -c -q \"-tC:\\My Dir\"  -lx.log"},
      {"to disk, the rest passed on", selfExtractor, "*TODISK -lx.log",
       " \"-s" + dir / "sfx" + "\" \"-esetup.exe\" -f -lx.log"},
      {"plain, arguments passed on", plain + "\\setup.exe", "-q", " \"-s" + plain + "\" -c -q"},
  };
  // All runs share one temporary directory: each must add a folder of its own.
  const std::string temp = NewTemp("temp");
  std::set<std::string> before;
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string probeOut = dir / ("probe" + std::to_string(run++) + ".txt");
    const Outcome outcome = RunLoader(c.exe, c.arguments, temp, probeOut);
    EXPECT_EQ(outcome.exitCode, 3010u) << "the installation program's exit code";
    EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front().text;
    ASSERT_TRUE(PollFor([&] { return os::FileExists(probeOut); }, 20000)) << "the program was not started";

    const std::string report = tvktest::ReadFile(probeOut);
    const std::size_t newline = report.find('\n');
    ASSERT_NE(newline, std::string::npos) << report;
    const std::string program = report.substr(0, newline), commandLine = report.substr(newline + 1);

    const std::set<std::string> after = Folders(temp);
    ASSERT_EQ(after.size(), before.size() + 1);
    std::string folder;
    for (const std::string& name : after)
      if (!before.count(name)) folder = name;
    before = after;
    const std::string unpacked = temp + "\\" + folder;
    EXPECT_EQ(Lower(program), Lower(unpacked + "\\" + NameOf(kProbe)));
    EXPECT_EQ(commandLine, "\"" + program + "\"" + c.expectedTail);
    EXPECT_EQ(Files(unpacked), (std::set<std::string>{NameOf(kProbe), NameOf(data)}));
    EXPECT_TRUE(tvktest::ReadFile(unpacked + "\\" + NameOf(kProbe)) == tvktest::ReadFile(kProbe));
    EXPECT_TRUE(tvktest::ReadFile(unpacked + "\\" + NameOf(data)) == tvktest::ReadFile(data));
  }
}

// One header of setup.1, changed in place through the format's own record.
void PatchHeader(std::string& archive, int index, const std::function<void(TFileHeaderRecord&)>& change) {
  std::size_t at = kArchivePrefixSize;
  TFileHeaderRecord record;
  for (int i = 0;; ++i) {
    ASSERT_LE(at + TFileHeaderRecord::kSize, archive.size());
    std::memcpy(record.Bytes(), archive.data() + at, TFileHeaderRecord::kSize);
    if (i == index) break;
    at = std::size_t(record.NextHeader());
  }
  change(record);
  std::memcpy(archive.data() + at, record.Bytes(), TFileHeaderRecord::kSize);
}

// A damage that changes one header.
std::function<void(std::string&)> Header(int index, std::function<void(TFileHeaderRecord&)> change) {
  return [=](std::string& archive) { PatchHeader(archive, index, change); };
}

void SetCount(std::string& archive, std::uint32_t count) {
  for (int i = 0; i < 4; ++i) archive[std::size_t(i)] = char(count >> (8 * i));
}

TEST_F(Loader, AMissingOrDamagedArchiveEndsInOneMessageAndLeavesNothing) {
  const std::string good = tvktest::ReadFile(setup1);
  const std::string probeName = NameOf(kProbe);
  // A whole archive whose first entry is no program.
  ASSERT_TRUE(::CreateDirectoryA((dir / "other").c_str(), nullptr));
  install->PresetupFiles().Clear();
  install->CreateSetupArchive(dir / "other", data);
  const std::string dataFirst = tvktest::ReadFile(dir / "other\\setup.1");
  const struct {
    const char* name;
    std::function<void(std::string&)> damage;  // on the bytes of setup.1
    const char* says;
    const char* names = "setup.1";  // the file the message names, after the folder it is in
  } cases[] = {
      {"missing", nullptr, "Cannot find the installation archive"},
      {"garbage", [](std::string& a) { a = "PK\3"; }, "is damaged"},
      {"no entries", [](std::string& a) { a.resize(kArchivePrefixSize), SetCount(a, 0); },
       "holds no installation program"},
      {"count beyond the file", [](std::string& a) { SetCount(a, 1000); }, "is damaged"},
      {"cut short", [](std::string& a) { a.resize(a.size() - 1000); }, "is damaged"},
      {"next header outside the file", Header(0, [](auto& r) { r.SetNextHeader(0x7FFFFF00); }), "is damaged"},
      {"next header back to itself", Header(0, [](auto& r) { r.SetNextHeader(kArchivePrefixSize); }), "is damaged"},
      {"data before their header", Header(1, [](auto& r) { r.SetDataStart(0); }), "is damaged"},
      {"corrupt data of the second file",
       [](std::string& a) { std::for_each(a.end() - 5000, a.end() - 4000, [](char& c) { c = char(~c); }); },
       "is damaged at the file presetup.dat"},
      {"wrong check value of the second file", [](std::string& a) { a.back() = char(~a.back()); },
       "is damaged at the file presetup.dat"},
      {"wrong size of the second file", Header(1, [](auto& r) { r.SetOriginalSize(r.OriginalSize() - 1); }),
       "is damaged at the file presetup.dat"},
      {"name leading out", Header(1, [](auto& r) { r.SetSourceName("C:\\x\\.."); }),
       "holds a file with an unusable name: C:\\x\\.."},
      {"device name", Header(1, [](auto& r) { r.SetSourceName("x\\con.txt"); }), "holds a file with an unusable name"},
      {"the same name twice", Header(1, [&](auto& r) { r.SetSourceName("elsewhere\\" + probeName); }),
       "holds two files named"},
      {"first entry no program", [&](std::string& a) { a = dataFirst; }, "Cannot start", "presetup.dat"},
  };
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir / ("bad" + std::to_string(run));
    const std::string temp = NewTemp("temp" + std::to_string(run));
    ++run;
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA(kLoader.c_str(), (folder + "\\setup.exe").c_str(), FALSE));
    if (c.damage) {
      std::string bytes = good;
      c.damage(bytes);
      tvktest::WriteFile(folder + "\\setup.1", bytes);
    }
    const Outcome outcome = RunLoader(folder + "\\setup.exe", "", temp, dir / "probe.txt");
    EXPECT_EQ(outcome.exitCode, 1603u);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    const tvkui::MessageBoxInfo& box = outcome.boxes[0];
    EXPECT_EQ(box.caption, "Setup");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(std::string("\\") + c.names), std::string::npos) << box.text;
    if (c.names == std::string("setup.1")) {
      EXPECT_NE(box.text.find(folder + "\\setup.1"), std::string::npos);
    }
    EXPECT_EQ(box.text.find_first_of("\r\n"), std::string::npos) << box.text;
    EXPECT_TRUE(Folders(temp).empty()) << "a partly unpacked folder was left";
    EXPECT_TRUE(Files(temp).empty());
    EXPECT_FALSE(os::FileExists(dir / "probe.txt")) << "the program was started";
  }
}

// A record that is not a self-extractor's (a range beyond the file) leaves setup.exe a plain loader,
// which then needs setup.1 beside it.
TEST_F(Loader, AnInvalidExtractionRecordMakesAPlainLoader) {
  const std::string folder = dir / "record";
  const std::string exe = folder + "\\setup.exe";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  std::string bytes = tvktest::ReadFile(kLoader) + tvktest::ReadFile(setup1);
  const TvkExtractionRecord beyond{0, std::int32_t(bytes.size() + 100), 0, 0};  // ends past the record
  unsigned char record[TVK_RECORD_SIZE];
  TvkWriteExtractionRecord(&beyond, record);
  tvktest::WriteFile(exe, bytes + std::string(reinterpret_cast<const char*>(record), sizeof record));

  const Outcome outcome = RunLoader(exe, "", NewTemp("temp"), dir / "probe.txt");
  EXPECT_EQ(outcome.exitCode, 1603u);
  ASSERT_EQ(outcome.boxes.size(), 1u);
  EXPECT_EQ(outcome.boxes[0].text, "Cannot find the installation archive " + folder + "\\setup.1");

  // Quiet, the same failure shows nothing.
  const Outcome quiet = RunLoader(exe, "\"-lC:\\a log.txt\" -Q", NewTemp("quiet"), dir / "probe.txt");
  EXPECT_EQ(quiet.exitCode, 1603u);
  EXPECT_TRUE(quiet.boxes.empty());
}

// A self-extractor signed the way signing tools sign (here osslsigncode: the certificate table after the
// record, aligned to 8 bytes) unpacks and starts as an unsigned one; changed after signing, in either
// archive or in the signature, it is refused before anything is unpacked.
TEST_F(Loader, ASignedSelfExtractorRunsAndOneChangedAfterSigningIsRefused) {
  const std::string unsignedExe = MakeSelfExtractor();
  tvktest::MakeTestCertificate(dir.Path());
  const std::string signedExe = dir / "signed.exe";
  std::string output;
  ASSERT_EQ(tvktest::RunOnHost("osslsigncode sign -pkcs12 '" + tvktest::HostPath(dir / "credentials.pfx") +
                                   "' -pass throw-away -h sha256 -in '" + tvktest::HostPath(unsignedExe) + "' -out '" +
                                   tvktest::HostPath(signedExe) + "'",
                               &output),
            0)
      << output;
  const std::string good = tvktest::ReadFile(signedExe);
  const TExtractionInfo info = ReadExtractionInfo(signedExe), before = ReadExtractionInfo(unsignedExe);
  EXPECT_EQ(std::make_pair(info.setupStart, info.filesEnd), std::make_pair(before.setupStart, before.filesEnd));
  ASSERT_GT(good.size(), std::size_t(info.filesEnd) + TVK_RECORD_SIZE + 100) << "no certificate table";

  const struct {
    const char* why;
    std::size_t changed;  // the byte changed, or none
    bool runs;
  } cases[] = {
      {"as signed", std::string::npos, true},
      {"a byte of setup.1 changed", std::size_t(info.setupStart + 300), false},
      {"a byte of the file after it changed", std::size_t(info.filesStart + 1000), false},
      {"a byte of the signature changed", good.size() - 40, false},
  };
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string folder = dir / ("signed" + std::to_string(run));
    const std::string temp = NewTemp("signedtemp" + std::to_string(run));
    const std::string probeOut = dir / ("signedprobe" + std::to_string(run++) + ".txt");
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    std::string bytes = good;
    if (c.changed != std::string::npos) bytes[c.changed] = char(bytes[c.changed] ^ 0x20);
    tvktest::WriteFile(folder + "\\setup.exe", bytes);
    const Outcome outcome = RunLoader(folder + "\\setup.exe", "", temp, probeOut);
    if (c.runs) {
      EXPECT_EQ(outcome.exitCode, 3010u);
      EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front().text;
      EXPECT_TRUE(PollFor([&] { return os::FileExists(probeOut); }, 20000)) << "the program was not started";
      continue;
    }
    EXPECT_EQ(outcome.exitCode, 1603u);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].text, "The setup program " + folder + "\\setup.exe was changed after it was signed");
    EXPECT_TRUE(Folders(temp).empty()) << "something was unpacked";
    EXPECT_FALSE(os::FileExists(probeOut)) << "the program was started";
  }
}

// What Windows reads from setup.exe before it runs it: a manifest asking for administrator rights (the
// installation writes below HKEY_LOCAL_MACHINE and into Program Files) and a version resource naming the
// kit. The self-extractor, the loader with its archives appended, carries both too.
TEST_F(Loader, CarriesAnElevatingManifestAndItsVersion) {
  for (const std::string& exe : {kLoader, MakeSelfExtractor()}) {
    SCOPED_TRACE(exe);
    HMODULE module = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(module, resource))),
                               ::SizeofResource(module, resource));
    ::FreeLibrary(module);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
              std::string::npos)
        << manifest;

    DWORD handle = 0;
    std::string block(::GetFileVersionInfoSizeA(exe.c_str(), &handle), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(::GetFileVersionInfoA(exe.c_str(), 0, DWORD(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &length));
    ASSERT_GE(length, 4u);
    char table[16];
    std::snprintf(table, sizeof table, "%04X%04X", translation[0], translation[1]);
    for (const auto& [name, value] : {std::pair<const char*, const char*>{"CompanyName", "Tavelock"},
                                      {"FileDescription", "Setup loader"},
                                      {"OriginalFilename", "setup.exe"}}) {
      char* text = nullptr;
      const std::string path = std::string("\\StringFileInfo\\") + table + "\\" + name;
      ASSERT_TRUE(::VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
      EXPECT_STREQ(text, value) << name;
    }
  }
}

}  // namespace
