// The native build has no WININET: the library cannot be loaded, so no handle ever holds anything and
// every call on one fails as on an invalid handle.
#include "os/os_internet.h"
#include "os/posix/posix_internal.h"

namespace os {

using posix::Fail;

InternetLibrary InternetLibrary::Load() { return Fail(kErrorCallNotImplemented, InternetLibrary()); }

InternetHandle InternetLibrary::Open(const std::string&) const { return Fail(kErrorInvalidHandle, InternetHandle()); }

bool InternetHandle::TryClose() { return true; }

InternetHandle InternetHandle::Connect(const std::string&, InternetService, const std::optional<std::string>&,
                                       const std::optional<std::string>&) const {
  return Fail(kErrorInvalidHandle, InternetHandle());
}

bool InternetHandle::SetFtpDirectory(const std::string&) const { return Fail(kErrorInvalidHandle); }

InternetHandle InternetHandle::OpenFtpFile(const std::string&) const { return Fail(kErrorInvalidHandle, InternetHandle()); }

InternetHandle InternetHandle::OpenHttpRequest(const std::string&) const {
  return Fail(kErrorInvalidHandle, InternetHandle());
}

bool InternetHandle::SendHttpRequest(const std::string&) const { return Fail(kErrorInvalidHandle); }

std::optional<std::uint32_t> InternetHandle::HttpStatusCode() const {
  return Fail(kErrorInvalidHandle, std::optional<std::uint32_t>());
}

std::optional<std::string> InternetHandle::HttpContentLength() const {
  return Fail(kErrorInvalidHandle, std::optional<std::string>());
}

std::optional<std::uint32_t> InternetHandle::QueryDataAvailable() const {
  return Fail(kErrorInvalidHandle, std::optional<std::uint32_t>());
}

std::int64_t InternetHandle::Read(void*, std::uint32_t) const { return Fail(kErrorInvalidHandle, std::int64_t(-1)); }

std::optional<std::string> InternetLastResponse(std::size_t) { return std::nullopt; }

}  // namespace os
