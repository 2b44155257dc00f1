#include "net/cmp_TNetInstallLocation.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "classlib/Forms.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

bool NetDownloadAborted = false;

namespace {

constexpr int kBlock = 8192;
// Room for the server's last answer in a net error message.
constexpr std::size_t kResponseCapacity = 3000;

// The location that last began to connect; error messages name its host.
TCustomNetInstallLocation* currentLocation = nullptr;

// A net error: the step's message followed by the system's error, the host and the server's answer.
template <class E>
[[noreturn]] void Fail(const std::string& format, const FormatArgs& args = {}) {
  const std::uint32_t code = os::LastError();
  const std::string host = currentLocation != nullptr ? currentLocation->LoginInformation().Hostname : "";
  const std::string response = os::InternetLastResponse(kResponseCapacity).value_or("No server response");
  throw E(Format("%s. Error message %s. Server %s. Response from server %s",
                 {Format(format, args), NetErrorName(code), host, response}));
}

}  // namespace

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
  os::InternetLibrary library = os::InternetLibrary::Load();
  if (!library && library.MissingFunction().empty())
    throw ENIL_FailLoadWININET(
        "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to include the "
        "WININET.DLL file in the PresetupFiles property of the TInstall component");
  if (!library) {
    std::string name = library.MissingFunction();
    if (name.back() == 'A') name.pop_back();
    throw ENIL_FailLoadDLLProc(Format("Failed to load the procedure %s from WININET.DLL", {name}));
  }
  library_ = std::move(library);
}

void TCustomNetInstallLocation::Connect() {
  currentLocation = this;
  if (!LibraryLoaded()) LoadWinInet();
  if (!session_) {
    session_ = library_.Open(Application->Name());
    if (!session_) Fail<ENIL_OpenSession>("Cannot open internet connection");
  }
  const bool ftp = login_.Protocol == ipFTP;
  if (!connection_) {
    if (OnBeforeConnect) OnBeforeConnect(this);
    // Anonymous FTP leaves the login to the system's anonymous one; anonymous HTTP gives empty credentials.
    std::optional<std::string> user = login_.Username, password = login_.Password;
    if (login_.Anonymous) {
      user = password = ftp ? std::nullopt : std::optional<std::string>("");
    }
    connection_ = session_.Connect(login_.Hostname, ftp ? os::InternetService::Ftp : os::InternetService::Http, user,
                                   password);
    if (!connection_) Fail<ENIL_OpenService>("Cannot connect to host %s", {login_.Hostname});
    if (OnAfterConnect) OnAfterConnect(this);
  }
  if (ftp) {
    const std::string directory = ConvertNetDirectory(login_.Directory);
    if (!connection_.SetFtpDirectory(directory))
      Fail<ENIL_FTPSetDir>("Cannot set directory on server to %s", {directory});
  }
}

void TCustomNetInstallLocation::Disconnect() {
  // A handle the system will not close stays for the next try.
  connection_.TryClose();
  session_.TryClose();
}

void TCustomNetInstallLocation::Download(const std::string& remoteFile, const std::string& localFile) {
  Connect();
  localFileName_ = localFile;
  remoteFileName_ = remoteFile;
  if (OnBeforeDownload) OnBeforeDownload(this);
  // On a failure below the handle closes on the way out: that failure is the one to report, even if the
  // handle will not close.
  os::InternetHandle file;
  if (login_.Protocol == ipFTP) {
    file = connection_.OpenFtpFile(remoteFile);
    if (!file) Fail<ENIL_FTPOpenFile>("Cannot open file %s on server", {remoteFile});
  } else {
    // The path always starts at the server's root, whatever the directory looks like.
    std::string path = ConvertNetDirectory(WithTrailingBackslash(login_.Directory)) + remoteFile;
    if (path.front() != '/') path.insert(0, "/");
    file = connection_.OpenHttpRequest(path);
    if (!file) Fail<ENIL_HTTPOpenFile>("Cannot open file %s on server", {remoteFile});
    if (!file.SendHttpRequest("Accept: */*\r\n\r\n")) {
      const std::uint32_t code = os::LastError();
      file.Close();
      os::SetLastError(code);
      Fail<ENIL_HTTPSendRequest>("Cannot send request for file %s to the server", {remoteFile});
    }
  }
  Transfer(file);
  if (!file.Close()) Fail<ENIL_FTPCloseFile>("Cannot close the file %s on the server", {remoteFileName_});
  if (OnAfterDownload) OnAfterDownload(this, NetDownloadAborted);
}

void TCustomNetInstallLocation::Transfer(const os::InternetHandle& file) {
  const bool http = login_.Protocol == ipHTTP;
  // Sizes are counted in 64 bits and reported to the events, whose numbers are 32-bit, capped.
  std::int64_t fileSize = 0;
  bool sizeKnown = false, statusKnown = false;
  if (!http) {
    const std::optional<std::uint32_t> available = file.QueryDataAvailable();
    if (!available) Fail<ENIL_FailDataQuery>("Could not query file %s on server", {remoteFileName_});
    fileSize = *available;
  } else {
    // An error page is not the file: 404 is a missing file, any other failure status a failed read.
    if (const std::optional<std::uint32_t> status = file.HttpStatusCode()) {
      statusKnown = true;
      if (*status == 404) Fail<ENIL_FileNotFound>("Could not find the file %s on the server", {remoteFileName_});
      if (*status < 200 || *status > 299)
        Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
    }
    const std::optional<std::string> length = file.HttpContentLength();
    if (length) {
      sizeKnown = true;
      fileSize = StrToIntDef(*length, 0);
    } else if (os::LastError() != os::kErrorHttpHeaderNotFound) {
      Fail<ENIL_FailDataQuery>("Could not query file %s on server", {remoteFileName_});
    }
  }

  os::File local = os::File::Open(localFileName_, os::Access::Write, os::Share::DenyWrite, os::Disposition::CreateAlways);
  if (!local) throw ENIL_WriteDestFile(Format("%s could not write to the local dest file %s", {Name(), localFileName_}));
  // What arrived of a failed download is no use to anyone: it goes, so it is never taken for the file.
  bool keep = false;
  const ScopeExit partial([&] {
    local.Close();
    if (!keep) os::DeleteFile(localFileName_);
  });

  std::vector<char> block(kBlock);
  std::int64_t read = 0;
  auto readBlock = [&] {
    read = file.Read(block.data(), kBlock);
    if (read < 0) Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
  };
  readBlock();
  if (http && !statusKnown) {
    std::string head(block.data(), std::min<std::size_t>(std::size_t(read), 30));
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
    if (local.Write(block.data(), std::size_t(read)) != read)
      throw ENIL_WriteDestFile(Format("%s could not write to the local dest file %s", {Name(), localFileName_}));
    readBlock();
  }
  if (total < 1) Fail<ENIL_FileNotFound>("Could not find the file %s on the server", {remoteFileName_});
  if (sizeKnown && total < fileSize) Fail<ENIL_ReadFile>("Could not read from file %s on the server", {remoteFileName_});
  keep = true;
}
