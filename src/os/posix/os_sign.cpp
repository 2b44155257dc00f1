// Signing on posix hosts: there is no Windows cryptography to sign with.
#include "os/os.h"
#include "os/os_sign.h"

namespace os {

SignFailure SignProgram(const std::string&, const std::string&, const std::string&, const std::string&) {
  SetLastError(kErrorCallNotImplemented);
  return SignFailure::Unavailable;
}

}  // namespace os
