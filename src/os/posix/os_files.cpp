// Files and paths of the os layer on posix hosts: Windows paths live below Root(), and the share modes
// of open files are enforced here, since the host would let every open through.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "os/posix/posix_internal.h"

namespace os {

using namespace posix;

namespace {

// ---------------------------------------------------------------------------------------------------
// Paths

std::mutex cwdMutex;
std::string cwd = "C:\\";  // the process has one current directory, as on Windows

bool IsDirectory(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `dir` whose name equals `name` without regard to case.
std::optional<std::string> FindNoCase(const std::string& dir, const std::string& name) {
  std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.empty() ? "/" : dir.c_str()), ::closedir);
  if (!stream) return std::nullopt;
  while (const dirent* entry = ::readdir(stream.get())) {
    if (EqualNoCase(entry->d_name, name)) return std::string(entry->d_name);
  }
  return std::nullopt;
}

bool ValidName(const std::string& part) {
  return std::none_of(part.begin(), part.end(), [](char c) {
    return static_cast<unsigned char>(c) < 32 ||
           std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
  });
}

// Case-insensitive match of `name` against a pattern with "*" and "?".
bool MatchesMask(const std::string& mask, const std::string& name) {
  std::size_t m = 0, n = 0, starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// ---------------------------------------------------------------------------------------------------
// Open files and their share modes

struct OpenFile {
  dev_t device;
  ino_t inode;
  Access access;
  Share share;
};

std::mutex filesMutex;
std::unordered_map<int, OpenFile> openFiles;  // by descriptor

bool Reads(Access access) { return access != Access::Write; }
bool Writes(Access access) { return access != Access::Read; }
bool SharesRead(Share share) { return share == Share::DenyWrite || share == Share::DenyNone; }
bool SharesWrite(Share share) { return share == Share::DenyRead || share == Share::DenyNone; }

// Windows lets a second open through only when each side shares what the other one uses.
bool Conflicts(const OpenFile& open, Access access, Share share) {
  return (Reads(access) && !SharesRead(open.share)) || (Writes(access) && !SharesWrite(open.share)) ||
         (Reads(open.access) && !SharesRead(share)) || (Writes(open.access) && !SharesWrite(share));
}

// Call with filesMutex held.
bool InUse(const struct stat& st) {
  return std::any_of(openFiles.begin(), openFiles.end(), [&](const auto& entry) {
    return entry.second.device == st.st_dev && entry.second.inode == st.st_ino;
  });
}

// The access of an open descriptor, or nothing for a closed one.
std::optional<Access> AccessOf(std::intptr_t handle) {
  std::lock_guard lock(filesMutex);
  const auto found = openFiles.find(static_cast<int>(handle));
  if (found == openFiles.end()) return std::nullopt;
  return found->second.access;
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// A descriptor entered in the share table, or -1 with the last error set.
int OpenRegistered(const std::string& path, Access access, Share share, Disposition disposition) {
  const auto host = Resolve(path);
  if (!host) return -1;
  struct stat st;
  const bool existed = ::stat(host->path.c_str(), &st) == 0;
  const bool truncate = existed && disposition == Disposition::CreateAlways;

  int flags = O_CLOEXEC | (access == Access::Read && !truncate ? O_RDONLY
                           : access == Access::Write           ? O_WRONLY
                                                               : O_RDWR);
  if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL;
  if (disposition == Disposition::CreateAlways || disposition == Disposition::OpenAlways) flags |= O_CREAT;
  const int fd = ::open(host->path.c_str(), flags, 0666);
  if (fd < 0) return Fail(ErrorFromErrno(errno, host->parentExists), -1);
  Descriptor guard{fd};
  if (::fstat(fd, &st) != 0) return Fail(ErrorFromErrno(errno), -1);
  if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied, -1);

  std::lock_guard lock(filesMutex);
  for (const auto& entry : openFiles) {
    if (entry.second.device == st.st_dev && entry.second.inode == st.st_ino &&
        Conflicts(entry.second, access, share)) {
      return Fail(kErrorSharingViolation, -1);
    }
  }
  // Only now, as Windows checks sharing before it overwrites.
  if (truncate && ::ftruncate(fd, 0) != 0) return Fail(ErrorFromErrno(errno), -1);
  openFiles[fd] = OpenFile{st.st_dev, st.st_ino, access, share};
  guard.fd = -1;
  const bool reportExisting =
      existed && disposition != Disposition::OpenExisting && disposition != Disposition::CreateNew;
  SetLastError(reportExisting ? kErrorAlreadyExists : kErrorSuccess);
  return fd;
}

void CloseRegistered(int fd) {
  std::lock_guard lock(filesMutex);
  openFiles.erase(fd);
  ::close(fd);  // inside the lock, so the number is not reused before its entry is gone
}

struct Registered {
  int fd;
  explicit Registered(int descriptor) : fd(descriptor) {}
  ~Registered() {
    if (fd >= 0) CloseRegistered(fd);
  }
  Registered(const Registered&) = delete;
  Registered& operator=(const Registered&) = delete;
};

std::optional<struct stat> StatPath(const std::string& path) {
  const auto host = Resolve(path);
  if (!host) return std::nullopt;
  struct stat st;
  if (::stat(host->path.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno, host->parentExists), std::optional<struct stat>{});
  return st;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Path mapping shared with the other posix parts

std::optional<std::string> posix::FullPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  if (p.empty()) return Fail(kErrorPathNotFound, std::optional<std::string>{});
  if (p.starts_with("\\\\")) return Fail(kErrorBadNetPath, std::optional<std::string>{});

  const std::string current = CurrentDirectory();
  std::string drive, rest;
  if (p.size() >= 2 && LowerAscii(p[0]) >= 'a' && LowerAscii(p[0]) <= 'z' && p[1] == ':') {
    drive = p.substr(0, 2);
    rest = p.substr(2);
    if (!rest.starts_with('\\')) {  // "D:file" is relative to the current directory only on that drive
      rest = (EqualNoCase(drive, current.substr(0, 2)) ? current.substr(2) : std::string()) + "\\" + rest;
    }
  } else {
    drive = current.substr(0, 2);
    rest = p.starts_with('\\') ? p : current.substr(2) + "\\" + p;
  }

  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= rest.size();) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string full = drive + "\\";
  for (std::size_t i = 0; i < parts.size(); ++i) full += (i ? "\\" : "") + parts[i];
  if (!parts.empty() && p.back() == '\\') full += '\\';
  return full;
}

std::optional<HostPath> posix::Resolve(const std::string& path) {
  const auto full = FullPath(path);
  if (!full) return std::nullopt;
  const char drive = static_cast<char>(LowerAscii((*full)[0]));
  // Drive Z: is the host's own root, as under Wine.
  HostPath result{drive == 'z' ? std::string() : Root() + "/" + drive, true};
  result.parentExists = IsDirectory(result.path.empty() ? "/" : result.path);

  std::vector<std::string> parts;
  for (std::size_t start = 3; start < full->size();) {
    std::size_t end = full->find('\\', start);
    if (end == std::string::npos) end = full->size();
    parts.push_back(full->substr(start, end - start));
    start = end + 1;
  }
  bool exists = result.parentExists;  // whether result.path so far is an existing folder
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!ValidName(parts[i])) return Fail(kErrorInvalidName, std::optional<HostPath>{});
    std::string next = result.path + "/" + parts[i];
    struct stat st;
    if (exists && ::lstat(next.c_str(), &st) != 0) {
      if (auto match = FindNoCase(result.path, parts[i])) next = result.path + "/" + *match;
    }
    result.path = std::move(next);
    if (i + 1 < parts.size()) exists = exists && IsDirectory(result.path);
  }
  result.parentExists = exists;
  if (result.path.empty()) result.path = "/";
  if (!parts.empty() && full->back() == '\\') result.path += '/';  // so that "file\" is not a file
  return result;
}

// ---------------------------------------------------------------------------------------------------
// File

File File::Open(const std::string& path, Access access, Share share, Disposition disposition) {
  const int fd = OpenRegistered(path, access, share, disposition);
  return fd < 0 ? File() : File(fd);
}

void File::Close() {
  if (handle_ == kInvalid) return;
  CloseRegistered(static_cast<int>(handle_));
  handle_ = kInvalid;
}

std::int64_t File::Read(void* buffer, std::size_t count) {
  const auto access = AccessOf(handle_);
  if (!access) return Fail(kErrorInvalidHandle, std::int64_t{-1});
  if (!Reads(*access)) return Fail(kErrorAccessDenied, std::int64_t{-1});
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(ErrorFromErrno(errno), std::int64_t{-1});
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t File::Write(const void* buffer, std::size_t count) {
  const auto access = AccessOf(handle_);
  if (!access) return Fail(kErrorInvalidHandle, std::int64_t{-1});
  if (!Writes(*access)) return Fail(kErrorAccessDenied, std::int64_t{-1});
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::write(static_cast<int>(handle_), static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::uint32_t error = ErrorFromErrno(errno);
      // A short count tells the caller the disk filled up; with nothing written it is a plain failure.
      return Fail(error,
                  done > 0 && error == kErrorDiskFull ? static_cast<std::int64_t>(done) : std::int64_t{-1});
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t File::Seek(std::int64_t offset, Origin origin) {
  if (!AccessOf(handle_)) return Fail(kErrorInvalidHandle, std::int64_t{-1});
  const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  const off_t position = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
  if (position < 0) return Fail(ErrorFromErrno(errno), std::int64_t{-1});
  return position;
}

std::int64_t File::Size() {
  struct stat st;
  if (!AccessOf(handle_)) return Fail(kErrorInvalidHandle, std::int64_t{-1});
  if (::fstat(static_cast<int>(handle_), &st) != 0) return Fail(ErrorFromErrno(errno), std::int64_t{-1});
  return st.st_size;
}

bool File::SetEnd() {
  const auto access = AccessOf(handle_);
  if (!access) return Fail(kErrorInvalidHandle);
  if (!Writes(*access)) return Fail(kErrorAccessDenied);
  const int fd = static_cast<int>(handle_);
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(fd, position) != 0) return Fail(ErrorFromErrno(errno));
  return true;
}

bool File::Flush() {
  const auto access = AccessOf(handle_);
  if (!access) return Fail(kErrorInvalidHandle);
  if (!Writes(*access)) return Fail(kErrorAccessDenied);
  if (::fsync(static_cast<int>(handle_)) != 0) return Fail(ErrorFromErrno(errno));
  return true;
}

std::optional<TDateTime> File::LastWriteTime() {
  struct stat st;
  if (!AccessOf(handle_)) return Fail(kErrorInvalidHandle, std::optional<TDateTime>{});
  if (::fstat(static_cast<int>(handle_), &st) != 0)
    return Fail(ErrorFromErrno(errno), std::optional<TDateTime>{});
  return ToDateTime(st.st_mtim);
}

bool File::SetLastWriteTime(TDateTime time) {
  const auto access = AccessOf(handle_);
  if (!access) return Fail(kErrorInvalidHandle);
  if (!Writes(*access)) return Fail(kErrorAccessDenied);
  // Windows file times run from 1601 on; the calendar arithmetic below is defined up to year 9999.
  constexpr TDateTime kYear1601 = -109205.0, kYear10000 = 2958466.0;
  if (!(time >= kYear1601 && time < kYear10000)) return Fail(kErrorInvalidParameter);
  const timespec times[2] = {{0, UTIME_OMIT}, ToTimespec(time)};
  if (::futimens(static_cast<int>(handle_), times) != 0) return Fail(ErrorFromErrno(errno));
  return true;
}

// ---------------------------------------------------------------------------------------------------
// Whole files and folders

bool FileExists(const std::string& path) {
  const auto st = StatPath(path);
  return st && !S_ISDIR(st->st_mode);
}

bool DirectoryExists(const std::string& path) {
  const auto st = StatPath(path);
  return st && S_ISDIR(st->st_mode);
}

std::optional<std::int64_t> FileSize(const std::string& path) {
  const auto st = StatPath(path);
  if (!st) return std::nullopt;
  return S_ISDIR(st->st_mode) ? 0 : st->st_size;
}

std::optional<TDateTime> FileAge(const std::string& path) {
  const auto st = StatPath(path);
  if (!st) return std::nullopt;
  return ToDateTime(st->st_mtim);
}

bool DeleteFile(const std::string& path) {
  const auto host = Resolve(path);
  if (!host) return false;
  std::lock_guard lock(filesMutex);
  struct stat st;
  if (::lstat(host->path.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, host->parentExists));
  if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  // Our share modes never include delete sharing, so any open handle keeps the file.
  if (InUse(st)) return Fail(kErrorSharingViolation);
  if (::unlink(host->path.c_str()) != 0) return Fail(ErrorFromErrno(errno));
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const Registered source(OpenRegistered(from, Access::Read, Share::DenyWrite, Disposition::OpenExisting));
  if (source.fd < 0) return false;
  struct stat st;
  if (::fstat(source.fd, &st) != 0) return Fail(ErrorFromErrno(errno));
  bool ok = false;
  {
    const Registered target(
        OpenRegistered(to, Access::Write, Share::Exclusive,
                       failIfExists ? Disposition::CreateNew : Disposition::CreateAlways));
    if (target.fd < 0) return false;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(source.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      ssize_t written = 0;
      while (written < n) {
        const ssize_t w = ::write(target.fd, buffer + written, static_cast<std::size_t>(n - written));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) break;
        written += w;
      }
      if (written < n) break;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};  // Windows copies the last-write time along
    if (ok) ok = ::futimens(target.fd, times) == 0;
    if (!ok) SetLastError(ErrorFromErrno(errno));
  }
  if (!ok) {
    const std::uint32_t error = LastError();
    DeleteFile(to);  // no half-copied target
    SetLastError(error);
  }
  return ok;
}

bool MoveFile(const std::string& from, const std::string& to) {
  const auto source = Resolve(from);
  const auto target = Resolve(to);
  if (!source || !target) return false;
  struct stat sourceStat;
  std::string targetPath = target->path;
  {
    std::lock_guard lock(filesMutex);
    if (::lstat(source->path.c_str(), &sourceStat) != 0)
      return Fail(ErrorFromErrno(errno, source->parentExists));
    if (InUse(sourceStat)) return Fail(kErrorSharingViolation);
    struct stat targetStat;
    if (::lstat(targetPath.c_str(), &targetStat) == 0) {
      if (targetStat.st_dev != sourceStat.st_dev || targetStat.st_ino != sourceStat.st_ino) {
        return Fail(kErrorAlreadyExists);
      }
      // The target names the source in other letters: a change of case, which Windows allows.
      std::string full = *FullPath(to);
      if (full.back() == '\\') full.pop_back();
      if (targetPath.back() == '/') targetPath.pop_back();
      targetPath = targetPath.substr(0, targetPath.rfind('/') + 1) + full.substr(full.rfind('\\') + 1);
    } else if (!target->parentExists) {
      return Fail(kErrorPathNotFound);
    }
    if (::rename(source->path.c_str(), targetPath.c_str()) == 0) return true;
    if (errno != EXDEV || S_ISDIR(sourceStat.st_mode)) return Fail(ErrorFromErrno(errno));
  }
  // Another drive on another host file system: files move by copy, as MoveFile does between volumes.
  return CopyFile(from, to, true) && DeleteFile(from);
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  const auto source = Resolve(from);
  const auto target = Resolve(to);
  if (!source || !target) return false;
  std::lock_guard lock(filesMutex);
  struct stat sourceStat, targetStat;
  if (::lstat(source->path.c_str(), &sourceStat) != 0) return Fail(ErrorFromErrno(errno, source->parentExists));
  if (InUse(sourceStat)) return Fail(kErrorSharingViolation);
  if (!target->parentExists) return Fail(kErrorPathNotFound);
  if (::lstat(target->path.c_str(), &targetStat) == 0) {
    // Windows replaces only a file nobody holds open, and never a folder.
    if (InUse(targetStat)) return Fail(kErrorSharingViolation);
    if (S_ISDIR(targetStat.st_mode)) return Fail(kErrorAccessDenied);
  }
  if (::rename(source->path.c_str(), target->path.c_str()) == 0) return true;
  return Fail(ErrorFromErrno(errno));
}

bool MoveFileAtRestart(const std::string&, const std::string&) {
  return Fail(kErrorCallNotImplemented);  // the native build never restarts Windows
}

bool CreateDirectory(const std::string& path) {
  const auto host = Resolve(path);
  if (!host) return false;
  if (::mkdir(host->path.c_str(), 0777) != 0) {
    return Fail(errno == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(errno, false));
  }
  return true;
}

bool RemoveDirectory(const std::string& path) {
  const auto host = Resolve(path);
  if (!host) return false;
  struct stat st;
  if (::stat(host->path.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, host->parentExists));
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  // Windows holds the current directory open, which keeps it from being removed.
  const auto current = StatPath(CurrentDirectory());
  if (current && current->st_dev == st.st_dev && current->st_ino == st.st_ino)
    return Fail(kErrorSharingViolation);
  if (::rmdir(host->path.c_str()) != 0) return Fail(ErrorFromErrno(errno, host->parentExists));
  return true;
}

std::vector<FindData> FindFiles(const std::string& pattern) {
  using Result = std::vector<FindData>;
  const auto full = FullPath(pattern);
  if (!full) return {};
  const std::size_t cut = full->rfind('\\');
  std::string mask = full->substr(cut + 1);
  if (mask.empty()) return Fail(kErrorFileNotFound, Result{});
  if (mask == "*.*") mask = "*";  // which Windows takes for every name, with or without a dot

  const auto dir = Resolve(full->substr(0, cut + 1));
  if (!dir) return {};
  std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir->path.c_str()), ::closedir);
  if (!stream) return Fail(ErrorFromErrno(errno, false), Result{});
  Result found;
  while (const dirent* entry = ::readdir(stream.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesMask(mask, name)) continue;
    struct stat st;
    if (::stat((dir->path + "/" + name).c_str(), &st) != 0) continue;  // a dangling link
    FindData data;
    data.name = name;
    data.directory = S_ISDIR(st.st_mode);
    data.size = data.directory ? 0 : st.st_size;
    data.lastWrite = ToDateTime(st.st_mtim);
    found.push_back(std::move(data));
  }
  if (found.empty()) return Fail(kErrorFileNotFound, Result{});
  // In the order NTFS keeps its folders.
  std::sort(found.begin(), found.end(),
            [](const FindData& a, const FindData& b) { return UpperCase(a.name) < UpperCase(b.name); });
  SetLastError(kErrorSuccess);
  return found;
}

std::string CurrentDirectory() {
  std::lock_guard lock(cwdMutex);
  return cwd;
}

bool SetCurrentDirectory(const std::string& path) {
  auto full = FullPath(path);
  if (!full) return false;
  const auto host = Resolve(*full);
  if (!host) return false;
  struct stat st;
  if (::stat(host->path.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, host->parentExists));
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  if (full->size() > 3 && full->back() == '\\') full->pop_back();
  std::lock_guard lock(cwdMutex);
  cwd = std::move(*full);
  return true;
}

std::optional<std::string> FullPathName(const std::string& path) { return FullPath(path); }

}  // namespace os
