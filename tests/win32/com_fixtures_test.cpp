// The COM server and file-locking fixtures do what the registration and file-in-use tests rely on.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/os.h"
#include "support/fixture_programs.h"
#include "support/test_support.h"
#include "support/win32_process.h"

namespace {

const char* const kKey = "Software\\TvkTest\\Com";

// The fixtures' key is fixed, so each test starts and ends without it.
class ComFixtures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tvktest::ComFixture("x").empty()) GTEST_SKIP() << "the COM fixtures were not built";
    Clean();
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    tvktest::RemoveRegTree(os::kCurrentUser, kKey);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TvkTest");  // only when nothing else lives there
  }
};

std::optional<std::string> ReadValue(const char* name) {
  os::RegKey key = os::RegKey::Open(os::kCurrentUser, kKey, os::RegAccess::Read);
  if (!key) return std::nullopt;
  auto value = key.Query(name);
  if (!value || value->type != os::RegType::String) return std::nullopt;
  return std::string(value->data.c_str());
}

template <class Condition>
bool PollFor(Condition condition, int timeoutMs = 10000) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (condition()) return true;
    ::Sleep(50);
  }
  return condition();
}

struct FreeLibraryDeleter {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryDeleter>;

using RegisterFunction = HRESULT(WINAPI*)();

TEST_F(ComFixtures, ServerLibrariesRegisterFailOrLackTheEntry) {
  const struct {
    const char* name;
    bool exported;
    HRESULT result;
    bool writes;
  } cases[] = {
      {"tvkcom_ok.dll", true, S_OK, true},
      {"tvkcom_fail.dll", true, HRESULT(0x80004005), false},
      {"tvkcom_noexport.dll", false, S_OK, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = tvktest::ComFixture(c.name);
    Library library(::LoadLibraryA(path.c_str()));
    ASSERT_TRUE(library) << "error " << ::GetLastError();
    auto registerServer = reinterpret_cast<RegisterFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "DllRegisterServer")));
    EXPECT_EQ(registerServer != nullptr, c.exported);
    EXPECT_EQ(::GetProcAddress(library.get(), "DllUnregisterServer") != nullptr, c.exported);
    if (registerServer) {
      EXPECT_EQ(registerServer(), c.result);
    }
    const auto value = ReadValue("Registered");
    if (c.writes) {
      ASSERT_TRUE(value);
      EXPECT_EQ(os::CompareTextLocale(*value, path), 0) << *value;
    } else {
      EXPECT_FALSE(value);
    }
    Clean();
  }
}

TEST_F(ComFixtures, LibrariesDeclareThemselvesSelfRegistering) {
  for (const char* name : {"tvkcom_ok.dll", "tvkcom_fail.dll", "tvkcom_noexport.dll"}) {
    SCOPED_TRACE(name);
    const std::string path = tvktest::ComFixture(name);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    void* data = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &data, &length));
    ASSERT_GE(length, 4u);
    const auto* translation = static_cast<const WORD*>(data);
    char table[9];
    wsprintfA(table, "%04X%04X", translation[0], translation[1]);
    EXPECT_STREQ(table, "040904E4");
    EXPECT_TRUE(::VerQueryValueA(block.data(), (std::string("\\StringFileInfo\\") + table + "\\OLESelfRegister").c_str(),
                                 &data, &length));
  }
}

TEST_F(ComFixtures, ExeServerRecordsItsQuotedCommandLineOnlyForRegServer) {
  // From a folder with a blank in its name, so that only the quotes keep the path whole.
  tvktest::ScratchDir dir;
  const std::string folder = dir / "with blank";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string exe = folder + "\\tvkexeserver.exe";
  ASSERT_TRUE(::CopyFileA(tvktest::ComFixture("tvkexeserver.exe").c_str(), exe.c_str(), FALSE));

  EXPECT_EQ(tvktest::RunAndWait("\"" + exe + "\"", 10000), 1ul);
  EXPECT_FALSE(ReadValue("ExeServer"));

  const std::string line = "\"" + exe + "\" /REGSERVER";
  ASSERT_GT(::WinExec(line.c_str(), SW_HIDE), 31u);
  ASSERT_TRUE(PollFor([] { return ReadValue("ExeServer").has_value(); }));
  EXPECT_EQ(*ReadValue("ExeServer"), line);
}

TEST_F(ComFixtures, LockHoldsAFileAgainstDeletionUntilEnded) {
  tvktest::ScratchDir dir;
  const std::string file = dir / "held.dll";
  tvktest::WriteFile(file, "in use");
  tvktest::Process lock = tvktest::StartProcess("\"" + tvktest::ComFixture("tvklock.exe") + "\" \"" + file + "\" 60");
  ASSERT_TRUE(lock);
  ASSERT_TRUE(PollFor([&] { return os::FileExists(file + ".locked"); }));

  EXPECT_FALSE(::DeleteFileA(file.c_str()));
  EXPECT_EQ(::GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(tvktest::ReadFile(file), "in use");  // reading is still shared

  lock.Terminate();
  EXPECT_TRUE(::DeleteFileA(file.c_str())) << "error " << ::GetLastError();
}

}  // namespace
