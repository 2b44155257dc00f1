// Where the test build puts the programs and libraries that tests start, as Windows paths.
#pragma once

#include <algorithm>
#include <string>

namespace tvktest {

// A COM server or file-locking fixture of tests/fixtures/com (Win32 build only): "tvkcom_ok.dll",
// "tvkcom_fail.dll", "tvkcom_noexport.dll", "tvkexeserver.exe", "tvklock.exe". Empty where they are
// not built.
inline std::string ComFixture(const char* name) {
#ifdef TVK_COM_FIXTURES
  std::string path = std::string(TVK_COM_FIXTURES) + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
#else
  static_cast<void>(name);
  return {};
#endif
}

}  // namespace tvktest
