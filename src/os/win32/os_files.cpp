#include <cstring>

#include "os/win32/win.h"

namespace os {

namespace win32 {

namespace {
constexpr double kUnixEpochInDays = 25569.0;              // 1970-01-01 as a TDateTime
constexpr std::int64_t kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in 100 ns units
constexpr double kTicksPerDay = 864000000000.0;
}  // namespace

TDateTime FileTimeToDateTime(const FILETIME& utc) {
  FILETIME local;
  if (!::FileTimeToLocalFileTime(&utc, &local)) return 0;
  std::int64_t ticks = (std::int64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return kUnixEpochInDays + double(ticks - kFileTimeUnixEpoch) / kTicksPerDay;
}

bool DateTimeToFileTime(TDateTime value, FILETIME& utc) {
  double ticks = (value - kUnixEpochInDays) * kTicksPerDay + double(kFileTimeUnixEpoch);
  if (!(ticks >= 0 && ticks < 9.2e18)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::int64_t t = std::int64_t(ticks + 0.5);
  FILETIME local{DWORD(t & 0xFFFFFFFF), DWORD(t >> 32)};
  return ::LocalFileTimeToFileTime(&local, &utc) != 0;
}

}  // namespace win32

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

namespace {

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

DWORD ShareFlags(Share share) {
  switch (share) {
    case Share::Exclusive: return 0;
    case Share::DenyWrite: return FILE_SHARE_READ;
    case Share::DenyRead: return FILE_SHARE_WRITE;
    case Share::DenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

DWORD AccessFlags(Access access) {
  switch (access) {
    case Access::Read: return GENERIC_READ;
    case Access::Write: return GENERIC_WRITE;
    case Access::ReadWrite: return GENERIC_READ | GENERIC_WRITE;
  }
  return 0;
}

DWORD CreationFlags(Disposition disposition) {
  switch (disposition) {
    case Disposition::OpenExisting: return OPEN_EXISTING;
    case Disposition::CreateAlways: return CREATE_ALWAYS;
    case Disposition::CreateNew: return CREATE_NEW;
    case Disposition::OpenAlways: return OPEN_ALWAYS;
  }
  return OPEN_EXISTING;
}

std::optional<WIN32_FILE_ATTRIBUTE_DATA> Attributes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return data;
}

// Owns a FindFirstFile handle.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

File File::Open(const std::string& path, Access access, Share share, Disposition disposition) {
  HANDLE h = ::CreateFileA(path.c_str(), AccessFlags(access), ShareFlags(share), nullptr,
                           CreationFlags(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return File();
  return File(reinterpret_cast<std::intptr_t>(h));
}

void File::Close() {
  if (handle_ != kInvalid) {
    ::CloseHandle(H(handle_));
    handle_ = kInvalid;
  }
}

std::int64_t File::Read(void* buffer, std::size_t count) {
  DWORD done = 0;
  if (!::ReadFile(H(handle_), buffer, DWORD(count), &done, nullptr)) return -1;
  return done;
}

std::int64_t File::Write(const void* buffer, std::size_t count) {
  DWORD done = 0;
  if (!::WriteFile(H(handle_), buffer, DWORD(count), &done, nullptr)) return -1;
  return done;
}

std::int64_t File::Seek(std::int64_t offset, Origin origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  DWORD method = origin == Origin::Begin ? FILE_BEGIN : origin == Origin::Current ? FILE_CURRENT : FILE_END;
  if (!::SetFilePointerEx(H(handle_), distance, &result, method)) return -1;
  return result.QuadPart;
}

std::int64_t File::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

bool File::SetEnd() { return ::SetEndOfFile(H(handle_)) != 0; }

bool File::Flush() { return ::FlushFileBuffers(H(handle_)) != 0; }

std::optional<TDateTime> File::LastWriteTime() {
  FILETIME written;
  if (!::GetFileTime(H(handle_), nullptr, nullptr, &written)) return std::nullopt;
  return win32::FileTimeToDateTime(written);
}

bool File::SetLastWriteTime(TDateTime time) {
  FILETIME written;
  if (!win32::DateTimeToFileTime(time, written)) return false;
  return ::SetFileTime(H(handle_), nullptr, nullptr, &written) != 0;
}

bool FileExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::int64_t> FileSize(const std::string& path) {
  auto a = Attributes(path);
  if (!a) return std::nullopt;
  return (std::int64_t(a->nFileSizeHigh) << 32) | a->nFileSizeLow;
}

std::optional<TDateTime> FileAge(const std::string& path) {
  auto a = Attributes(path);
  if (!a) return std::nullopt;
  return win32::FileTimeToDateTime(a->ftLastWriteTime);
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists) != 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  // The 95 family has no MoveFileEx: the old file goes at the last moment instead.
  if ((::GetVersion() & 0x80000000u) != 0) {
    if (::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileA(to.c_str())) return false;
    return ::MoveFileA(from.c_str(), to.c_str()) != 0;
  }
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MoveFileAtRestart(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.empty() ? nullptr : to.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CreateDirectory(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveDirectory(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }

std::vector<FindData> FindFiles(const std::string& pattern) {
  std::vector<FindData> result;
  WIN32_FIND_DATAA data;
  FindHandle find(::FindFirstFileA(pattern.c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return result;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    FindData entry;
    entry.name = data.cFileName;
    entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = (std::int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.lastWrite = win32::FileTimeToDateTime(data.ftLastWriteTime);
    result.push_back(std::move(entry));
  } while (::FindNextFileA(find.get(), &data));
  return result;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return n == 0 || n > MAX_PATH ? std::string() : std::string(buffer, n);
}

bool SetCurrentDirectory(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != 0; }

std::optional<std::string> FullPathName(const std::string& path) {
  char buffer[MAX_PATH + 1];
  char* part = nullptr;
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &part);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return std::string(buffer, n);
}

}  // namespace os
