#include "support/net_servers.h"

#include <cstdlib>

#include "net/cmp_TNetInstallLocation.h"
#include "support/test_support.h"

namespace tvktest {

std::string NetRoot() {
  const char* build = std::getenv("WINE_BUILD_DIR");
  if (build == nullptr) return "";
  std::string path = std::string("Z:") + build + "/netroot";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string NetServersMissing(const std::string& scratch) {
  const std::string root = NetRoot();
  if (root.empty() || !os::FileExists(root + "\\.ready"))
    return "no test servers on 127.0.0.1 (they need root for ports 80 and 21)";
  // Ports 80 and 21 may belong to another build tree's servers, which serve another folder.
  const std::string token = scratch + std::to_string(os::Now());
  WriteFile(root + "\\token.txt", token);
  TNetInstallLocation location(nullptr);
  location.LoginInformation().Hostname = "127.0.0.1";
  try {
    location.Download("token.txt", scratch + "\\token.txt");
  } catch (const std::exception& e) {
    return std::string("the HTTP test server does not answer: ") + e.what();
  }
  return ReadFile(scratch + "\\token.txt") == token ? "" : "ports 80 and 21 serve another build tree";
}

}  // namespace tvktest
