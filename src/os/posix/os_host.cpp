// A native tool's host is the Linux file system, which the kit sees as drive Z:.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "os/os.h"
#include "os/posix/posix_internal.h"

namespace os {

bool EnterHostDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return posix::Fail(posix::ErrorFromErrno(errno));
    buffer.resize(buffer.size() * 2);
  }
  return SetCurrentDirectory(PathFromHost("Z:" + std::string(buffer.data())));
}

std::string PathFromHost(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace os
