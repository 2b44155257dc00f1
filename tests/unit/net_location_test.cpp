// The parts of a net install location that need no server: login checks, directory conversion, error
// names, and the library that is loaded only when a location first connects.
#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "net/cmp_TNetInstallLocation.h"

namespace {

TEST(NetLogin, FilledInDependsOnTheKindOfLogin) {
  const struct {
    bool anonymous;
    const char *host, *user, *password;
    bool filled;
  } cases[] = {
      {true, "ftp.example.com", "", "", true}, {true, "  ", "me", "pw", false},
      {false, "", "", "pw", true},             {false, "", "me", "", true},
      {false, " ", " ", " ", false},
  };
  for (const auto& c : cases) {
    TLoginInformation login;
    login.Anonymous = c.anonymous;
    login.Hostname = c.host;
    login.Username = c.user;
    login.Password = c.password;
    EXPECT_EQ(login.IsFilledIn(), c.filled) << c.anonymous << " '" << c.host << "' '" << c.user << "'";
  }
}

TEST(NetLogin, AssignCopiesTheSixSettings) {
  TLoginInformation from, to;
  from.Anonymous = false;
  from.Directory = "\\setup";
  from.Hostname = "host";
  from.Password = "pw";
  from.Protocol = ipFTP;
  from.Username = "me";
  to.Assign(&from);
  EXPECT_FALSE(to.Anonymous);
  EXPECT_EQ(to.Directory + to.Hostname + to.Password + to.Username, "\\setuphostpwme");
  EXPECT_EQ(to.Protocol, ipFTP);
}

TEST(NetDirectory, BlankIsTheRootAndBackslashesBecomeSlashes) {
  EXPECT_EQ(ConvertNetDirectory(""), "/");
  EXPECT_EQ(ConvertNetDirectory("   "), "/");
  EXPECT_EQ(ConvertNetDirectory("\\setup\\files"), "/setup/files");
  EXPECT_EQ(ConvertNetDirectory(" a b\\"), " a b/");
}

TEST(NetErrorNames, KnownCodesByNameAndTheRestUnregistered) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {6, "ERROR_INVALID_HANDLE"},
      {12001, "ERROR_INTERNET_OUT_OF_HANDLES"},
      {12029, "ERROR_INTERNET_CANNOT_CONNECT"},
      {12032, "ERROR_INTERNET_FORCE_RETRY"},
      {12033, "Unregistered error code"},
      {12036, "ERROR_INTERNET_HANDLE_EXISTS"},
      {12041, "ERROR_INTERNET_MIXED_SECURITY"},
      {12111, "ERROR_FTP_DROPPED"},
      {12138, "ERROR_GOPHER_UNKNOWN_LOCATOR"},
      {12150, "ERROR_HTTP_HEADER_NOT_FOUND"},
      {12155, "ERROR_HTTP_HEADER_ALREADY_EXISTS"},
      {12156, "Unregistered error code"},
      {0, "Unregistered error code"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(NetErrorName(code), name) << code;
}

TEST(NetLocations, EveryLiveLocationIsListedAndABlankOneIsRefused) {
  TForm form(nullptr);
  const int before = NetLocations().Count();
  auto* location = new TNetInstallLocation(&form);
  EXPECT_EQ(NetLocations().Count(), before + 1);
  EXPECT_FALSE(location->LibraryLoaded());  // nothing is loaded until the first connect
  delete location;
  EXPECT_EQ(NetLocations().Count(), before);
  EXPECT_THROW(NetLocations().Add(nullptr), IENetList);
}

#ifndef _WIN32
// The native build has no WININET: the absence shows at the first connect.
TEST(NetLocations, MissingLibraryShowsAtTheFirstConnect) {
  TNetInstallLocation location(nullptr);
  location.LoginInformation().Hostname = "127.0.0.1";
  try {
    location.Connect();
    FAIL() << "connected without WININET";
  } catch (const ENIL_FailLoadWININET& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Failed to load the Wininet.dll. If this is a hybrid installation", 0), 0u);
  }
}
#endif

}  // namespace
