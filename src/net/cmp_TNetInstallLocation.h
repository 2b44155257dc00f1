// A net install location: a server and a directory from which single files are downloaded into local
// files, over FTP or HTTP. The network functions come from WININET, loaded when a location first
// connects, so that an installation that never connects does not need the library.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "os/os_internet.h"
#include "support/exceptions_Tavelock.h"

enum TInternetProtocol { ipFTP, ipHTTP };

class TCustomNetInstallLocation;

class TCustomLoginInformation : public TPersistent {
 public:
  explicit TCustomLoginInformation(TCustomNetInstallLocation* location = nullptr) : location_(location) {}
  std::string ClassName() const override { return "TCustomLoginInformation"; }
  void Assign(const TPersistent* source) override;
  // Anonymous: a host is named. Otherwise: a host, a password or a user name is given.
  bool IsFilledIn() const;

  bool Anonymous = true;
  std::string Directory;  // backslashes allowed
  std::string Hostname;
  std::string Password;
  TInternetProtocol Protocol = ipHTTP;
  std::string Username;

  TCustomNetInstallLocation* Location() const { return location_; }

 private:
  TCustomNetInstallLocation* location_;
};

class TLoginInformation : public TCustomLoginInformation {
 public:
  using TCustomLoginInformation::TCustomLoginInformation;
  std::string ClassName() const override { return "TLoginInformation"; }
};

using TDownloadedEvent = std::function<void(TObject* sender, bool aborted)>;
using TNetProgressEvent = std::function<void(TObject* sender, const std::string& remoteFile, std::int32_t blockSize,
                                             std::int32_t totalRead, std::int32_t fileSize, const void* buffer)>;

class TCustomNetInstallLocation : public TComponent {
 public:
  explicit TCustomNetInstallLocation(TComponent* owner);
  ~TCustomNetInstallLocation() override;
  std::string ClassName() const override { return "TCustomNetInstallLocation"; }

  // Loads WININET and finds its functions: ENIL_FailLoadWININET, ENIL_FailLoadDLLProc.
  virtual void LoadWinInet();
  TLoginInformation& LoginInformation() { return login_; }
  virtual void SetLoginInformation(const TLoginInformation& value) { login_.Assign(&value); }
  // The library, the session, the connection and (FTP) the server's current directory.
  virtual void Connect();
  // Copies one remote file into a local file. A failure removes what arrived of the local file; an abort
  // (NetDownloadAborted, set by a progress handler) keeps it for the caller to deal with.
  virtual void Download(const std::string& remoteFile, const std::string& localFile);
  // Closes the connection, then the session.
  void Disconnect();

  bool LibraryLoaded() const { return library_.IsValid(); }
  bool Connected() const { return connection_.IsValid(); }

  TDownloadedEvent OnAfterDownload;
  TNotifyEvent OnAfterConnect;
  TNotifyEvent OnBeforeDownload;
  TNotifyEvent OnBeforeConnect;
  TNetProgressEvent OnProgress;
  // A second progress handler, which a file-related object sets for the length of its download.
  TNetProgressEvent OnRelatedProgress;

 private:
  void Transfer(const os::InternetHandle& file);

  std::string localFileName_;
  std::string remoteFileName_;
  os::InternetLibrary library_;
  os::InternetHandle session_;
  os::InternetHandle connection_;
  TLoginInformation login_{this};
};

class TNetInstallLocation : public TCustomNetInstallLocation {
 public:
  using TCustomNetInstallLocation::TCustomNetInstallLocation;
  std::string ClassName() const override { return "TNetInstallLocation"; }
};

// Every live location, in the order made; never owns them.
class TCustomNetInstallLocationList {
 public:
  int Count() const { return int(items_.size()); }
  TCustomNetInstallLocation* Items(int index) const { return items_.at(std::size_t(index)); }
  // IENetList "Cannot add a blank location to the global net location list" for null.
  void Add(TCustomNetInstallLocation* location);
  void Remove(TCustomNetInstallLocation* location);

 private:
  std::vector<TCustomNetInstallLocation*> items_;
};

TCustomNetInstallLocationList& NetLocations();

// Set (by a progress handler) to stop the download under way; cleared when an installation run starts.
extern bool NetDownloadAborted;

// The server directory as the server wants it: "/" for a blank one, backslashes made slashes.
std::string ConvertNetDirectory(const std::string& directory);
// The name of a Windows or WININET error code as it appears in net error messages.
std::string NetErrorName(std::uint32_t code);
