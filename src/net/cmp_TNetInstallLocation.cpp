#include "net/cmp_TNetInstallLocation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "classlib/Forms.h"
#include "support/routines_Strings.h"

bool NetDownloadAborted = false;

namespace {

using Handle = void*;
using Bool = int;
using Dword = std::uint32_t;

// WININET's entry points, in the order they are looked up.
using GetLastResponseInfoFn = Bool(TVK_SYSTEMCALL*)(Dword* error, char* buffer, Dword* length);
using OpenFn = Handle(TVK_SYSTEMCALL*)(const char* agent, Dword access, const char* proxy, const char* bypass,
                                       Dword flags);
using ConnectFn = Handle(TVK_SYSTEMCALL*)(Handle session, const char* server, std::uint16_t port, const char* user,
                                          const char* password, Dword service, Dword flags, std::uintptr_t context);
using FtpSetCurrentDirectoryFn = Bool(TVK_SYSTEMCALL*)(Handle connection, const char* directory);
using CloseHandleFn = Bool(TVK_SYSTEMCALL*)(Handle handle);
using QueryDataAvailableFn = Bool(TVK_SYSTEMCALL*)(Handle file, Dword* available, Dword flags, std::uintptr_t context);
using ReadFileFn = Bool(TVK_SYSTEMCALL*)(Handle file, void* buffer, Dword size, Dword* read);
using FtpOpenFileFn = Handle(TVK_SYSTEMCALL*)(Handle connection, const char* name, Dword access, Dword flags,
                                              std::uintptr_t context);
using HttpOpenRequestFn = Handle(TVK_SYSTEMCALL*)(Handle connection, const char* verb, const char* object,
                                                  const char* version, const char* referrer, const char** accept,
                                                  Dword flags, std::uintptr_t context);
using HttpSendRequestFn = Bool(TVK_SYSTEMCALL*)(Handle request, const char* headers, Dword headersLength,
                                                void* optional, Dword optionalLength);
using HttpQueryInfoFn = Bool(TVK_SYSTEMCALL*)(Handle request, Dword level, void* buffer, Dword* length, Dword* index);

constexpr Dword kServiceFtp = 1, kServiceHttp = 3;
constexpr Dword kGenericRead = 0x80000000, kFtpBinary = 2;
constexpr Dword kHttpRequestFlags = 0xA4000000;  // reload, existing connection, no cache write
constexpr Dword kQueryContentLength = 5, kQueryStatusCode = 19, kQueryFlagNumber = 0x20000000;
constexpr Dword kHeaderNotFound = 12150;
constexpr int kBlock = 8192;

// Shared by every location: set by whichever loads the library.
GetLastResponseInfoFn lastResponseInfo = nullptr;
// The location that last began to connect; error messages name its host.
TCustomNetInstallLocation* currentLocation = nullptr;

std::string ServerResponse() {
  if (lastResponseInfo == nullptr) return "No server response";
  std::array<char, 3000> buffer{};
  Dword error = 0, length = Dword(buffer.size());
  if (!lastResponseInfo(&error, buffer.data(), &length)) return "No server response";
  buffer.back() = '\0';
  return buffer.data();
}

// A net error: the step's message followed by the system's error, the host and the server's answer.
template <class E>
[[noreturn]] void Fail(const std::string& format, const FormatArgs& args = {}) {
  const std::uint32_t code = os::LastError();
  const std::string host = currentLocation != nullptr ? currentLocation->LoginInformation().Hostname : "";
  throw E(Format("%s. Error message %s. Server %s. Response from server %s",
                 {Format(format, args), NetErrorName(code), host, ServerResponse()}));
}

}  // namespace

struct TCustomNetInstallLocation::Api {
  OpenFn Open;
  ConnectFn Connect;
  FtpSetCurrentDirectoryFn FtpSetCurrentDirectory;
  CloseHandleFn CloseHandle;
  QueryDataAvailableFn QueryDataAvailable;
  ReadFileFn ReadFile;
  FtpOpenFileFn FtpOpenFile;
  HttpOpenRequestFn HttpOpenRequest;
  HttpSendRequestFn HttpSendRequest;
  HttpQueryInfoFn HttpQueryInfo;
};

void TCustomLoginInformation::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TCustomLoginInformation*>(source);
  if (other == nullptr) return TPersistent::Assign(source);
  Anonymous = other->Anonymous;
  Directory = other->Directory;
  Hostname = other->Hostname;
  Password = other->Password;
  Protocol = other->Protocol;
  Username = other->Username;
}

bool TCustomLoginInformation::IsFilledIn() const {
  if (Anonymous) return !Trim(Hostname).empty();
  return !Trim(Hostname).empty() || !Trim(Password).empty() || !Trim(Username).empty();
}

TCustomNetInstallLocationList& NetLocations() {
  static TCustomNetInstallLocationList* list = new TCustomNetInstallLocationList;
  return *list;
}

void TCustomNetInstallLocationList::Add(TCustomNetInstallLocation* location) {
  if (location == nullptr) Fail<IENetList>("Cannot add a blank location to the global net location list");
  items_.push_back(location);
}

void TCustomNetInstallLocationList::Remove(TCustomNetInstallLocation* location) {
  items_.erase(std::remove(items_.begin(), items_.end(), location), items_.end());
}

std::string ConvertNetDirectory(const std::string& directory) {
  if (Trim(directory).empty()) return "/";
  std::string converted = directory;
  std::replace(converted.begin(), converted.end(), '\\', '/');
  return converted;
}

std::string NetErrorName(std::uint32_t code) {
  static const char* const kInternet[] = {
      "ERROR_INTERNET_OUT_OF_HANDLES", "ERROR_INTERNET_TIMEOUT", "ERROR_INTERNET_EXTENDED_ERROR",
      "ERROR_INTERNET_INTERNAL_ERROR", "ERROR_INTERNET_INVALID_URL", "ERROR_INTERNET_UNRECOGNIZED_SCHEME",
      "ERROR_INTERNET_NAME_NOT_RESOLVED", "ERROR_INTERNET_PROTOCOL_NOT_FOUND", "ERROR_INTERNET_INVALID_OPTION",
      "ERROR_INTERNET_BAD_OPTION_LENGTH", "ERROR_INTERNET_OPTION_NOT_SETTABLE", "ERROR_INTERNET_SHUTDOWN",
      "ERROR_INTERNET_INCORRECT_USER_NAME", "ERROR_INTERNET_INCORRECT_PASSWORD", "ERROR_INTERNET_LOGIN_FAILURE",
      "ERROR_INTERNET_INVALID_OPERATION", "ERROR_INTERNET_OPERATION_CANCELLED",
      "ERROR_INTERNET_INCORRECT_HANDLE_TYPE", "ERROR_INTERNET_INCORRECT_HANDLE_STATE",
      "ERROR_INTERNET_NOT_PROXY_REQUEST", "ERROR_INTERNET_REGISTRY_VALUE_NOT_FOUND",
      "ERROR_INTERNET_BAD_REGISTRY_PARAMETER", "ERROR_INTERNET_NO_DIRECT_ACCESS", "ERROR_INTERNET_NO_CONTEXT",
      "ERROR_INTERNET_NO_CALLBACK", "ERROR_INTERNET_REQUEST_PENDING", "ERROR_INTERNET_INCORRECT_FORMAT",
      "ERROR_INTERNET_ITEM_NOT_FOUND", "ERROR_INTERNET_CANNOT_CONNECT", "ERROR_INTERNET_CONNECTION_ABORTED",
      "ERROR_INTERNET_CONNECTION_RESET", "ERROR_INTERNET_FORCE_RETRY"};  // 12001 to 12032
  static const char* const kGopher[] = {
      "ERROR_GOPHER_PROTOCOL_ERROR", "ERROR_GOPHER_NOT_FILE", "ERROR_GOPHER_DATA_ERROR",
      "ERROR_GOPHER_END_OF_DATA", "ERROR_GOPHER_INVALID_LOCATOR", "ERROR_GOPHER_INCORRECT_LOCATOR_TYPE",
      "ERROR_GOPHER_NOT_GOPHER_PLUS", "ERROR_GOPHER_ATTRIBUTE_NOT_FOUND", "ERROR_GOPHER_UNKNOWN_LOCATOR"};  // 12130
  static const char* const kHttp[] = {
      "ERROR_HTTP_HEADER_NOT_FOUND", "ERROR_HTTP_DOWNLEVEL_SERVER", "ERROR_HTTP_INVALID_SERVER_RESPONSE",
      "ERROR_HTTP_INVALID_HEADER", "ERROR_HTTP_INVALID_QUERY_REQUEST", "ERROR_HTTP_HEADER_ALREADY_EXISTS"};  // 12150
  if (code == 6) return "ERROR_INVALID_HANDLE";
  if (code >= 12001 && code <= 12032) return kInternet[code - 12001];
  if (code == 12036) return "ERROR_INTERNET_HANDLE_EXISTS";
  if (code == 12041) return "ERROR_INTERNET_MIXED_SECURITY";
  if (code == 12110) return "ERROR_FTP_TRANSFER_IN_PROGRESS";
  if (code == 12111) return "ERROR_FTP_DROPPED";
  if (code >= 12130 && code <= 12138) return kGopher[code - 12130];
  if (code >= 12150 && code <= 12155) return kHttp[code - 12150];
  return "Unregistered error code";
}

TCustomNetInstallLocation::TCustomNetInstallLocation(TComponent* owner) : TComponent(owner) {
  NetLocations().Add(this);
}

TCustomNetInstallLocation::~TCustomNetInstallLocation() {
  if (currentLocation == this) currentLocation = nullptr;
  Disconnect();
  NetLocations().Remove(this);
}

void TCustomNetInstallLocation::LoadWinInet() {
  os::Module library = os::Module::Load("WININET.DLL");
  if (!library)
    throw ENIL_FailLoadWININET(
        "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to include the "
        "WININET.DLL file in the PresetupFiles property of the TInstall component");
  static const char* const kNames[] = {"InternetGetLastResponseInfoA", "InternetOpenA", "InternetConnectA",
                                       "FtpSetCurrentDirectoryA", "InternetCloseHandle", "InternetQueryDataAvailable",
                                       "InternetReadFile", "FtpOpenFileA", "HttpOpenRequestA", "HttpSendRequestA",
                                       "HttpQueryInfoA"};
  void* found[std::size(kNames)];
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    found[i] = library.Export(kNames[i]);
    if (found[i] == nullptr) {
      std::string name = kNames[i];
      if (name.back() == 'A') name.pop_back();
      throw ENIL_FailLoadDLLProc(Format("Failed to load the procedure %s from WININET.DLL", {name}));
    }
  }
  auto api = std::make_unique<Api>();
  api->Open = reinterpret_cast<OpenFn>(found[1]);
  api->Connect = reinterpret_cast<ConnectFn>(found[2]);
  api->FtpSetCurrentDirectory = reinterpret_cast<FtpSetCurrentDirectoryFn>(found[3]);
  api->CloseHandle = reinterpret_cast<CloseHandleFn>(found[4]);
  api->QueryDataAvailable = reinterpret_cast<QueryDataAvailableFn>(found[5]);
  api->ReadFile = reinterpret_cast<ReadFileFn>(found[6]);
  api->FtpOpenFile = reinterpret_cast<FtpOpenFileFn>(found[7]);
  api->HttpOpenRequest = reinterpret_cast<HttpOpenRequestFn>(found[8]);
  api->HttpSendRequest = reinterpret_cast<HttpSendRequestFn>(found[9]);
  api->HttpQueryInfo = reinterpret_cast<HttpQueryInfoFn>(found[10]);
  lastResponseInfo = reinterpret_cast<GetLastResponseInfoFn>(found[0]);
  api_ = std::move(api);
  library_ = std::move(library);
  loaded_ = true;
}

void TCustomNetInstallLocation::Connect() {
  currentLocation = this;
  if (!loaded_) LoadWinInet();
  if (session_ == nullptr) {
    session_ = api_->Open(Application->Name().c_str(), 0, nullptr, nullptr, 0);
    if (session_ == nullptr) Fail<ENIL_OpenSession>("Cannot open internet connection");
  }
  const bool ftp = login_.Protocol == ipFTP;
  if (connection_ == nullptr) {
    if (OnBeforeConnect) OnBeforeConnect(this);
    const char* user = login_.Username.c_str();
    const char* password = login_.Password.c_str();
    if (login_.Anonymous) user = password = ftp ? nullptr : "";
    connection_ = api_->Connect(session_, login_.Hostname.c_str(), 0, user, password, ftp ? kServiceFtp : kServiceHttp,
                                0, 0);
    if (connection_ == nullptr) Fail<ENIL_OpenService>("Cannot connect to host %s", {login_.Hostname});
    if (OnAfterConnect) OnAfterConnect(this);
  }
  if (ftp) {
    const std::string directory = ConvertNetDirectory(login_.Directory);
    if (!api_->FtpSetCurrentDirectory(connection_, directory.c_str()))
      Fail<ENIL_FTPSetDir>("Cannot set directory on server to %s", {directory});
  }
}

void TCustomNetInstallLocation::Disconnect() {
  if (api_ == nullptr) return;
  if (connection_ != nullptr && api_->CloseHandle(connection_)) connection_ = nullptr;
  if (session_ != nullptr && api_->CloseHandle(session_)) session_ = nullptr;
}

void TCustomNetInstallLocation::CloseFile(void*& file) {
  const bool closed = api_->CloseHandle(file) != 0;
  file = nullptr;
  if (!closed) Fail<ENIL_FTPCloseFile>("Cannot close the file %s on the server", {remoteFileName_});
}

void TCustomNetInstallLocation::Download(const std::string& remoteFile, const std::string& localFile) {
  Connect();
  localFileName_ = localFile;
  remoteFileName_ = remoteFile;
  if (OnBeforeDownload) OnBeforeDownload(this);
  if (login_.Protocol == ipFTP) {
    currentFile_ = api_->FtpOpenFile(connection_, remoteFile.c_str(), kGenericRead, kFtpBinary, kGenericRead);
    if (currentFile_ == nullptr) Fail<ENIL_FTPOpenFile>("Cannot open file %s on server", {remoteFile});
  } else {
    // The path always starts at the server's root, whatever the directory looks like.
    std::string path = ConvertNetDirectory(WithTrailingBackslash(login_.Directory)) + remoteFile;
    if (path.front() != '/') path.insert(0, "/");
    const char* accept[] = {nullptr};
    currentFile_ = api_->HttpOpenRequest(connection_, "GET", path.c_str(), nullptr, nullptr, accept, kHttpRequestFlags, 0);
    if (currentFile_ == nullptr) Fail<ENIL_HTTPOpenFile>("Cannot open file %s on server", {remoteFile});
    static const char kHeaders[] = "Accept: */*\r\n\r\n";
    if (!api_->HttpSendRequest(currentFile_, kHeaders, Dword(std::strlen(kHeaders)), nullptr, 0)) {
      const std::uint32_t code = os::LastError();
      void* request = currentFile_;
      currentFile_ = nullptr;
      api_->CloseHandle(request);
      os::SetLastError(code);
      Fail<ENIL_HTTPSendRequest>("Cannot send request for file %s to the server", {remoteFile});
    }
  }
  try {
    Transfer(currentFile_);
  } catch (...) {
    // The transfer's own failure is the one to report, even if the handle will not close.
    if (currentFile_ != nullptr) api_->CloseHandle(currentFile_);
    currentFile_ = nullptr;
    throw;
  }
  CloseFile(currentFile_);
  if (OnAfterDownload) OnAfterDownload(this, NetDownloadAborted);
}

void TCustomNetInstallLocation::Transfer(void* file) {
  const bool http = login_.Protocol == ipHTTP;
  // Sizes are counted in 64 bits and reported to the events, whose numbers are 32-bit, capped.
  std::int64_t fileSize = 0;
  bool sizeKnown = false, statusKnown = false;
  if (!http) {
    Dword available = 0;
    if (!api_->QueryDataAvailable(file, &available, 0, 0))
      Fail<ENIL_FailDataQuery>("Could not query file %s on server", {remoteFileName_});
    fileSize = available;
  } else {
    // An error page is not the file: 404 is a missing file, any other failure status a failed read.
    Dword status = 0, length = sizeof status;
    if (api_->HttpQueryInfo(file, kQueryStatusCode | kQueryFlagNumber, &status, &length, nullptr)) {
      statusKnown = true;
      if (status == 404) Fail<ENIL_FileNotFound>("Could not find the file %s on the server", {remoteFileName_});
      if (status < 200 || status > 299) Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
    }
    char text[33] = {};
    length = sizeof text;
    if (api_->HttpQueryInfo(file, kQueryContentLength, text, &length, nullptr)) {
      sizeKnown = true;
    } else if (os::LastError() != kHeaderNotFound) {
      Fail<ENIL_FailDataQuery>("Could not query file %s on server", {remoteFileName_});
    }
    text[sizeof text - 1] = '\0';
    fileSize = StrToIntDef(text, 0);
  }

  os::File local = os::File::Open(localFileName_, os::Access::Write, os::Share::DenyWrite, os::Disposition::CreateAlways);
  if (!local) throw ENIL_WriteDestFile(Format("%s could not write to the local dest file %s", {Name(), localFileName_}));
  // What arrived of a failed download is no use to anyone: it goes, so it is never taken for the file.
  bool keep = false;
  struct Partial {
    os::File& file;
    const std::string& path;
    bool& keep;
    ~Partial() {
      file.Close();
      if (!keep) os::DeleteFile(path);
    }
  } partial{local, localFileName_, keep};

  std::vector<char> block(kBlock);
  Dword read = 0;
  auto readBlock = [&] {
    if (!api_->ReadFile(file, block.data(), kBlock, &read))
      Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
  };
  readBlock();
  if (http && !statusKnown) {
    std::string head(block.data(), std::min<std::size_t>(read, 30));
    head = UpperCase(head.substr(0, head.find('\0')));
    if (head.find("404") != std::string::npos)
      Fail<ENIL_FileNotFound>("Could not find the file %s on the server", {remoteFileName_});
  }
  const auto reported = [](std::int64_t n) { return std::int32_t(std::min<std::int64_t>(n, INT32_MAX)); };
  std::int64_t total = 0;
  while (read > 0) {
    total += read;
    if (OnProgress) OnProgress(this, remoteFileName_, std::int32_t(read), reported(total), reported(fileSize), block.data());
    if (OnRelatedProgress)
      OnRelatedProgress(this, remoteFileName_, std::int32_t(read), reported(total), reported(fileSize), block.data());
    Application->ProcessMessages();
    if (NetDownloadAborted) {
      keep = true;  // the caller ends the run as the user's abort and removes it
      return;
    }
    if (local.Write(block.data(), read) != std::int64_t(read))
      throw ENIL_WriteDestFile(Format("%s could not write to the local dest file %s", {Name(), localFileName_}));
    readBlock();
  }
  if (total < 1) Fail<ENIL_FileNotFound>("Could not find the file %s on the server", {remoteFileName_});
  if (sizeKnown && total < fileSize) Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
  keep = true;
}
