// WININET, the system's FTP and HTTP client, bound at run time: a program that never goes on the net does
// not need the library, and one that does learns of its absence only when it asks for it.
//
// As everywhere in os/, calls report failure the way the system does (an invalid handle, false, nothing)
// and leave the system's error code in LastError(); the kit above turns failures into its exceptions.
// The native build has no WININET: loading it fails as a missing library would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "os/os.h"

namespace os {

// The loaded library and its entry points; each platform defines it.
struct InternetFunctions;

enum class InternetService { Ftp, Http };

// A session, a connection, or an open remote file or request. Move-only; closes on destruction. The
// library stays loaded while any handle from it lives.
class InternetHandle {
 public:
  InternetHandle() = default;
  ~InternetHandle();
  InternetHandle(InternetHandle&& other) noexcept;
  InternetHandle& operator=(InternetHandle&& other) noexcept;
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;

  bool IsValid() const { return handle_ != nullptr; }
  explicit operator bool() const { return IsValid(); }
  // The calls below fail with kErrorInvalidHandle on a handle that holds nothing.

  // Closes the handle and forgets it whatever the system answers; false when the system refused.
  bool Close();
  // Closes the handle but forgets it only when the system agrees; false, still holding it, otherwise.
  bool TryClose();

  // On a session: a connection to a server at the service's default port. Without a user name or
  // password the system's own default for the service is used (anonymous FTP).
  InternetHandle Connect(const std::string& server, InternetService service, const std::optional<std::string>& user,
                         const std::optional<std::string>& password) const;

  // On an FTP connection: changes the server's current directory.
  bool SetFtpDirectory(const std::string& directory) const;
  // On an FTP connection: a file of the current directory opened for reading, transferred as binary.
  InternetHandle OpenFtpFile(const std::string& name) const;

  // On an HTTP connection: a GET request for a path from the server's root, fetched from the server
  // itself (never a cached copy, nor written to the cache) over an existing connection where one is open.
  InternetHandle OpenHttpRequest(const std::string& path) const;
  // On a request: sends it with the given extra header lines ("Name: value\r\n", ending with an empty line).
  bool SendHttpRequest(const std::string& headers) const;
  // On a sent request: the status code of the answer.
  std::optional<std::uint32_t> HttpStatusCode() const;
  // On a sent request: the Content-Length header's text, of up to kContentLengthCapacity characters.
  // Nothing when the answer has no such header (LastError() kErrorHttpHeaderNotFound) or the query fails.
  std::optional<std::string> HttpContentLength() const;
  static constexpr std::size_t kContentLengthCapacity = 32;

  // On an FTP file: the number of bytes that can be read at once.
  std::optional<std::uint32_t> QueryDataAvailable() const;
  // On an FTP file or a sent request: bytes read, 0 at the end of the data, or -1 on failure.
  std::int64_t Read(void* buffer, std::uint32_t count) const;

 private:
  friend class InternetLibrary;
  InternetHandle(std::shared_ptr<const InternetFunctions> functions, void* handle);
  void Forget();
  // False, with kErrorInvalidHandle, for a handle that holds nothing.
  bool Usable() const;

  std::shared_ptr<const InternetFunctions> functions_;
  void* handle_ = nullptr;
};

// The library, loaded by name: with os::RestrictLibrarySearch in effect it comes from the system
// directory only. A load while another loaded object or handle lives shares its library; so do copies.
class InternetLibrary {
 public:
  // Invalid when the system cannot load the library, or when the library lacks one of the functions the
  // kit uses: MissingFunction() then names the first missing one in the order they are looked up
  // (InternetGetLastResponseInfoA, InternetOpenA, InternetConnectA, FtpSetCurrentDirectoryA,
  // InternetCloseHandle, InternetQueryDataAvailable, InternetReadFile, FtpOpenFileA, HttpOpenRequestA,
  // HttpSendRequestA, HttpQueryInfoA), by its exported name.
  static InternetLibrary Load();

  bool IsValid() const { return functions_ != nullptr; }
  explicit operator bool() const { return IsValid(); }
  const std::string& MissingFunction() const { return missing_; }

  // A session named by the agent, with the access (direct or through a proxy) the system is set up for.
  InternetHandle Open(const std::string& agent) const;

 private:
  std::shared_ptr<const InternetFunctions> functions_;
  std::string missing_;
};

// The WININET error a query for a header the answer does not carry gives (ERROR_HTTP_HEADER_NOT_FOUND).
inline constexpr std::uint32_t kErrorHttpHeaderNotFound = 12150;

// The server's last answer on this thread (an FTP server's reply lines), as the loaded library keeps it.
// Nothing when no InternetLibrary or handle holds the library any more, when the system cannot say, or
// when the text needs more than `capacity` bytes with its terminating zero.
std::optional<std::string> InternetLastResponse(std::size_t capacity);

}  // namespace os
