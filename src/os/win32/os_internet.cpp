// WININET, loaded when first asked for. Its header gives the entry points their types; nothing here links
// against the library itself.
#include "os/os_internet.h"

#include <array>
#include <utility>

#include "os/win32/win.h"

#include <wininet.h>

namespace os {

struct InternetFunctions {
  Module library;
  decltype(&::InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetConnectA) connect = nullptr;
  decltype(&::FtpSetCurrentDirectoryA) ftpSetCurrentDirectory = nullptr;
  decltype(&::InternetCloseHandle) closeHandle = nullptr;
  decltype(&::InternetQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::FtpOpenFileA) ftpOpenFile = nullptr;
  decltype(&::HttpOpenRequestA) httpOpenRequest = nullptr;
  decltype(&::HttpSendRequestA) httpSendRequest = nullptr;
  decltype(&::HttpQueryInfoA) httpQueryInfo = nullptr;
};

namespace {

// The library that living objects share; InternetLastResponse asks it. The kit goes on the net from
// its GUI thread only.
std::weak_ptr<const InternetFunctions> shared;

template <class Function>
bool Find(const Module& library, const char* name, Function& function, std::string& missing) {
  function = reinterpret_cast<Function>(library.Export(name));
  if (function == nullptr) missing = name;
  return function != nullptr;
}

}  // namespace

InternetLibrary InternetLibrary::Load() {
  InternetLibrary result;
  if ((result.functions_ = shared.lock())) return result;
  Module library = Module::Load("WININET.DLL");
  if (!library) return result;
  auto functions = std::make_shared<InternetFunctions>();
  std::string& missing = result.missing_;
  // In this order, so that the first missing one is the one named.
  const bool found = Find(library, "InternetGetLastResponseInfoA", functions->lastResponseInfo, missing) &&
                     Find(library, "InternetOpenA", functions->open, missing) &&
                     Find(library, "InternetConnectA", functions->connect, missing) &&
                     Find(library, "FtpSetCurrentDirectoryA", functions->ftpSetCurrentDirectory, missing) &&
                     Find(library, "InternetCloseHandle", functions->closeHandle, missing) &&
                     Find(library, "InternetQueryDataAvailable", functions->queryDataAvailable, missing) &&
                     Find(library, "InternetReadFile", functions->readFile, missing) &&
                     Find(library, "FtpOpenFileA", functions->ftpOpenFile, missing) &&
                     Find(library, "HttpOpenRequestA", functions->httpOpenRequest, missing) &&
                     Find(library, "HttpSendRequestA", functions->httpSendRequest, missing) &&
                     Find(library, "HttpQueryInfoA", functions->httpQueryInfo, missing);
  if (!found) return result;
  functions->library = std::move(library);
  result.functions_ = functions;
  shared = functions;
  return result;
}

InternetHandle InternetLibrary::Open(const std::string& agent) const {
  if (!IsValid()) {
    SetLastError(kErrorInvalidHandle);
    return {};
  }
  return InternetHandle(functions_, functions_->open(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

bool InternetHandle::TryClose() {
  if (handle_ == nullptr) return true;
  if (!functions_->closeHandle(handle_)) return false;
  Forget();
  return true;
}

InternetHandle InternetHandle::Connect(const std::string& server, InternetService service,
                                       const std::optional<std::string>& user,
                                       const std::optional<std::string>& password) const {
  if (!Usable()) return {};
  const DWORD kind = service == InternetService::Ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP;
  return InternetHandle(functions_, functions_->connect(handle_, server.c_str(), INTERNET_INVALID_PORT_NUMBER,
                                                        user ? user->c_str() : nullptr,
                                                        password ? password->c_str() : nullptr, kind, 0, 0));
}

bool InternetHandle::SetFtpDirectory(const std::string& directory) const {
  if (!Usable()) return false;
  return functions_->ftpSetCurrentDirectory(handle_, directory.c_str()) != FALSE;
}

InternetHandle InternetHandle::OpenFtpFile(const std::string& name) const {
  if (!Usable()) return {};
  // The context value is never read back (there is no status callback); it has always been the access.
  return InternetHandle(functions_, functions_->ftpOpenFile(handle_, name.c_str(), GENERIC_READ,
                                                            FTP_TRANSFER_TYPE_BINARY, GENERIC_READ));
}

InternetHandle InternetHandle::OpenHttpRequest(const std::string& path) const {
  if (!Usable()) return {};
  const char* accept[] = {nullptr};
  constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE;
  return InternetHandle(functions_,
                        functions_->httpOpenRequest(handle_, "GET", path.c_str(), nullptr, nullptr, accept, kFlags, 0));
}

bool InternetHandle::SendHttpRequest(const std::string& headers) const {
  if (!Usable()) return false;
  return functions_->httpSendRequest(handle_, headers.c_str(), DWORD(headers.size()), nullptr, 0) != FALSE;
}

std::optional<std::uint32_t> InternetHandle::HttpStatusCode() const {
  if (!Usable()) return std::nullopt;
  DWORD status = 0, length = sizeof status;
  if (!functions_->httpQueryInfo(handle_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
    return std::nullopt;
  return status;
}

std::optional<std::string> InternetHandle::HttpContentLength() const {
  if (!Usable()) return std::nullopt;
  std::array<char, kContentLengthCapacity + 1> text{};
  DWORD length = DWORD(text.size());
  if (!functions_->httpQueryInfo(handle_, HTTP_QUERY_CONTENT_LENGTH, text.data(), &length, nullptr)) return std::nullopt;
  text.back() = '\0';
  return std::string(text.data());
}

std::optional<std::uint32_t> InternetHandle::QueryDataAvailable() const {
  if (!Usable()) return std::nullopt;
  DWORD available = 0;
  // Wine's FTP file answers ERROR_IO_PENDING, even on a synchronous handle, when the first bytes arrive
  // between its look at the socket's queue and its wait for them: they are there by the time it answers,
  // so a second look finds them. (Seen under load: the download failed as an unanswered query.)
  for (int attempt = 0;; ++attempt) {
    if (functions_->queryDataAvailable(handle_, &available, 0, 0)) return available;
    if (GetLastError() != ERROR_IO_PENDING || attempt == 2) return std::nullopt;
  }
}

std::int64_t InternetHandle::Read(void* buffer, std::uint32_t count) const {
  if (!Usable()) return -1;
  DWORD read = 0;
  if (!functions_->readFile(handle_, buffer, count, &read)) return -1;
  return read;
}

std::optional<std::string> InternetLastResponse(std::size_t capacity) {
  const std::shared_ptr<const InternetFunctions> functions = shared.lock();
  if (functions == nullptr || capacity == 0) return std::nullopt;
  std::string text(capacity, '\0');
  DWORD error = 0, length = DWORD(capacity);
  if (!functions->lastResponseInfo(&error, text.data(), &length)) return std::nullopt;
  text.back() = '\0';
  return text.substr(0, text.find('\0'));
}

}  // namespace os
