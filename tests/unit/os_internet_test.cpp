// The os layer's WININET surface without a server, natively (where there is no library) and under Wine.
#include "os/os_internet.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A handle that holds nothing (never opened, moved from, closed) fails every call the way the system
// fails one on an invalid handle, and closing it is no error.
TEST(OsInternet, AnEmptyHandleFailsEveryCallAsInvalid) {
  os::InternetHandle empty;
  EXPECT_FALSE(empty);
  EXPECT_TRUE(empty.TryClose());
  EXPECT_TRUE(empty.Close());
  char buffer[16];
  const struct {
    const char* call;
    std::function<bool()> failed;
  } calls[] = {
      {"Connect", [&] { return !empty.Connect("127.0.0.1", os::InternetService::Ftp, std::nullopt, std::nullopt); }},
      {"SetFtpDirectory", [&] { return !empty.SetFtpDirectory("/"); }},
      {"OpenFtpFile", [&] { return !empty.OpenFtpFile("file.bin"); }},
      {"OpenHttpRequest", [&] { return !empty.OpenHttpRequest("/file.bin"); }},
      {"SendHttpRequest", [&] { return !empty.SendHttpRequest("Accept: */*\r\n\r\n"); }},
      {"HttpStatusCode", [&] { return !empty.HttpStatusCode(); }},
      {"HttpContentLength", [&] { return !empty.HttpContentLength(); }},
      {"QueryDataAvailable", [&] { return !empty.QueryDataAvailable(); }},
      {"Read", [&] { return empty.Read(buffer, sizeof buffer) == -1; }},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.call);
    os::SetLastError(os::kErrorSuccess);
    EXPECT_TRUE(c.failed());
    EXPECT_EQ(os::LastError(), os::kErrorInvalidHandle);
  }
}

}  // namespace
