// Downloads from real servers on 127.0.0.1 (HTTP on 80, FTP on 21, started by the net_servers
// fixture and serving <build>\netroot) through the real WININET.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "net/cmp_TNetInstallLocation.h"
#include "os/os_internet.h"
#include "support/net_servers.h"
#include "support/routines_API.h"
#include "support/test_support.h"

namespace {

using tvktest::ReadFile;
using tvktest::WriteFile;

std::string Payload(int size, int seed) {
  std::string data(std::size_t(size), '\0');
  for (int i = 0; i < size; ++i) data[std::size_t(i)] = char((i * 31 + seed) % 251);
  return data;
}

class NetDownload : public ::testing::Test {
 protected:
  tvktest::ScratchDir dir;
  TNetInstallLocation location{nullptr};
  std::string root = tvktest::NetRoot();

  void SetUp() override {
    if (const std::string missing = tvktest::NetServersMissing(dir.Path()); !missing.empty()) GTEST_SKIP() << missing;
    Use(ipHTTP, "");
    NetDownloadAborted = false;
  }
  void TearDown() override { NetDownloadAborted = false; }

  void Use(TInternetProtocol protocol, const std::string& directory) {
    location.Disconnect();
    location.LoginInformation().Protocol = protocol;
    location.LoginInformation().Hostname = "127.0.0.1";
    location.LoginInformation().Directory = directory;
  }
  // A file in the servers' folder (below Sub when given).
  std::string Serve(const std::string& name, const std::string& data, const std::string& sub = "") {
    const std::string folder = sub.empty() ? root : root + "\\" + sub;
    CreateDirectoryPath(folder);
    WriteFile(folder + "\\" + name, data);
    return data;
  }
};

TEST_F(NetDownload, HttpAndFtpFetchFromTheDirectoryGiven) {
  const std::string data = Serve("payload.bin", Payload(70000, 1), "setup\\files");
  Serve("root.bin", Payload(100, 2));
  const struct {
    TInternetProtocol protocol;
    const char* directory;
    const char* remote;
  } cases[] = {
      {ipHTTP, "\\setup\\files", "payload.bin"},
      {ipHTTP, "setup\\files", "payload.bin"},  // the request path starts at the root all the same
      {ipHTTP, "", "setup/files/payload.bin"},
      {ipFTP, "\\setup\\files", "payload.bin"},
      {ipFTP, "", "setup/files/payload.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.protocol == ipFTP ? "ftp " : "http ") + c.directory);
    Use(c.protocol, c.directory);
    std::vector<int> blocks;
    int reportedSize = -1;
    location.OnProgress = [&](TObject*, const std::string& remote, std::int32_t block, std::int32_t total,
                              std::int32_t size, const void*) {
      EXPECT_EQ(remote, c.remote);
      blocks.push_back(block);
      reportedSize = size;
      EXPECT_LE(block, 8192);
      (void)total;
    };
    bool afterAborted = true;
    location.OnAfterDownload = [&](TObject*, bool aborted) { afterAborted = aborted; };
    location.Download(c.remote, dir / "got.bin");
    EXPECT_EQ(ReadFile(dir / "got.bin"), data);
    EXPECT_FALSE(afterAborted);
    EXPECT_FALSE(blocks.empty());
    if (c.protocol == ipHTTP) {
      EXPECT_EQ(reportedSize, 70000);
    }
  }
  // The connection stays open between downloads of one location.
  EXPECT_TRUE(location.Connected());
}

TEST_F(NetDownload, FtpWithUserNameAndPassword) {
  const std::string data = Serve("user.bin", Payload(5000, 3));
  Use(ipFTP, "");
  location.LoginInformation().Anonymous = false;
  location.LoginInformation().Username = "tvk";
  location.LoginInformation().Password = "secret";
  location.Download("user.bin", dir / "user.bin");
  EXPECT_EQ(ReadFile(dir / "user.bin"), data);
}

TEST_F(NetDownload, ResponseWithoutLengthDownloadsAndReportsSizeZero) {
  const std::string data = Serve("nolength.bin", Payload(20000, 4));
  int reportedSize = -1;
  location.OnProgress = [&](TObject*, const std::string&, std::int32_t, std::int32_t, std::int32_t size, const void*) {
    reportedSize = size;
  };
  location.Download("nolength/nolength.bin", dir / "nolength.bin");
  EXPECT_EQ(ReadFile(dir / "nolength.bin"), data);
  EXPECT_EQ(reportedSize, 0);
}

// Error pages, empty and cut-short answers are never taken for the file: each fails and leaves no file.
TEST_F(NetDownload, FailedAnswersLeaveNoLocalFile) {
  Serve("half.bin", Payload(30000, 5));
  enum Kind { kNotFound, kRead };
  const struct {
    const char* remote;
    Kind kind;
  } cases[] = {
      {"missing.bin", kNotFound},
      {"empty/anything.bin", kNotFound},
      {"status/500", kRead},
      {"status/403", kRead},
      {"short/half.bin", kRead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remote);
    const std::string local = dir / "failed.bin";
    try {
      location.Download(c.remote, local);
      ADD_FAILURE() << "downloaded";
    } catch (const ENIL_FileNotFound& e) {
      EXPECT_EQ(c.kind, kNotFound) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Could not find the file " + std::string(c.remote) + " on the server. ", 0), 0u)
          << e.what();
    } catch (const ENIL_ReadFile& e) {
      EXPECT_EQ(c.kind, kRead) << e.what();
    }
    EXPECT_FALSE(os::FileExists(local));
  }
}

TEST_F(NetDownload, ServerDownAndWrongFtpDirectoryNameTheStep) {
  Use(ipFTP, "");
  location.LoginInformation().Hostname = "127.0.0.2";  // nothing listens there
  try {
    location.Connect();
    FAIL() << "connected";
  } catch (const ENIL_OpenService& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("Cannot connect to host 127.0.0.2. Error message ERROR_INTERNET_", 0), 0u) << text;
    EXPECT_NE(text.find(". Server 127.0.0.2. Response from server "), std::string::npos) << text;
  }

  // HTTP connects only when the request goes out: a server that is down fails the send, with the send's
  // error, before any local file is made.
  Use(ipHTTP, "");
  location.LoginInformation().Hostname = "127.0.0.2";
  try {
    location.Download("file.bin", dir / "file.bin");
    FAIL() << "downloaded";
  } catch (const ENIL_HTTPSendRequest& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot send request for file file.bin to the server. Error message "
                                          "ERROR_INTERNET_CANNOT_CONNECT. Server 127.0.0.2. ", 0), 0u)
        << e.what();
  }
  EXPECT_FALSE(os::FileExists(dir / "file.bin"));

  // The server's answer reaches the message while any location holds the library, not only the one that
  // loaded it last.
  Use(ipFTP, "");
  location.Connect();
  {
    TNetInstallLocation other(nullptr);
    other.LoginInformation().Protocol = ipFTP;
    other.LoginInformation().Hostname = "127.0.0.1";
    other.Connect();
  }
  Use(ipFTP, "\\no\\such dir");
  try {
    location.Connect();
    FAIL() << "changed into a missing directory";
  } catch (const ENIL_FTPSetDir& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("Cannot set directory on server to /no/such dir. ", 0), 0u) << text;
    EXPECT_NE(text.find(". Response from server 550 "), std::string::npos) << text;
  }
}

TEST_F(NetDownload, AbortFromProgressStopsBeforeTheBlockIsWritten) {
  Serve("big.bin", Payload(50000, 6));
  int calls = 0;
  location.OnProgress = [&](TObject*, const std::string&, std::int32_t, std::int32_t, std::int32_t, const void*) {
    if (++calls == 2) NetDownloadAborted = true;
  };
  bool afterAborted = false;
  location.OnAfterDownload = [&](TObject*, bool aborted) { afterAborted = aborted; };
  location.Download("big.bin", dir / "big.bin");
  EXPECT_TRUE(afterAborted);
  EXPECT_EQ(calls, 2);
  // The first block was written, the second not: the partial file is the caller's to remove.
  const std::string partial = ReadFile(dir / "big.bin");
  EXPECT_GT(partial.size(), 0u);
  EXPECT_LT(partial.size(), 50000u);
  EXPECT_EQ(partial, Payload(50000, 6).substr(0, partial.size()));
}

// A handle keeps the library loaded when the library object is gone; the server's last answer goes with
// the last holder, and nothing calls into a library that was freed.
TEST(OsInternet, HandlesKeepTheLibraryAndTheLastAnswerGoesWithIt) {
  EXPECT_FALSE(os::InternetLastResponse(3000)) << "a library outlived the test that loaded it";
  os::InternetHandle session;
  {
    const os::InternetLibrary library = os::InternetLibrary::Load();
    ASSERT_TRUE(library);
    EXPECT_EQ(library.MissingFunction(), "");
    session = library.Open("tvk test");
    ASSERT_TRUE(session);
  }
  EXPECT_TRUE(os::InternetLastResponse(3000));
  os::InternetHandle moved = std::move(session);
  EXPECT_FALSE(session);
  EXPECT_TRUE(os::InternetLastResponse(3000));
  EXPECT_TRUE(moved.Close());
  EXPECT_FALSE(moved);
  EXPECT_FALSE(os::InternetLastResponse(3000));
}

// Run by the net_no_wininet test, which starts the program with WININET switched off.
TEST(NetWithoutWinInet, FailsAtTheFirstConnectOnly) {
  ASSERT_NE(std::getenv("TVK_NO_WININET"), nullptr) << "run through the net_no_wininet test";
  TNetInstallLocation location(nullptr);
  location.LoginInformation().Hostname = "127.0.0.1";
  EXPECT_THROW(location.Connect(), ENIL_FailLoadWININET);
  EXPECT_FALSE(location.LibraryLoaded());
}

}  // namespace
