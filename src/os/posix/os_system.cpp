// The system part of the os layer on posix hosts, and the helpers the other posix parts share.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "os/posix/posix_internal.h"

namespace os {

namespace {

thread_local std::uint32_t lastError = kErrorSuccess;

constexpr std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

std::string TrimSpaces(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The section name when `line` is a "[section]" header.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string trimmed = TrimSpaces(line);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return TrimSpaces(trimmed.substr(1, close - 1));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  File file = File::Open(path, Access::Read, Share::DenyWrite, Disposition::OpenExisting);
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const std::int64_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

std::uint32_t LastError() { return lastError; }
void SetLastError(std::uint32_t code) { lastError = code; }

namespace posix {

std::uint32_t ErrorFromErrno(int err, bool parentExists) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return parentExists ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EXDEV:
      return kErrorNotSameDevice;
    default:
      return kErrorGenFailure;
  }
}

const std::string& Root() {
  static const std::string root = [] {
    std::string path;
    if (const char* env = std::getenv("TVK_ROOT"); env && *env) {
      path = env;
    } else {
      const char* tmp = std::getenv("TMPDIR");
      path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tvk-root-" + std::to_string(getuid());
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    for (const char* sub : {"", "/c", "/c/WINDOWS", "/c/WINDOWS/SYSTEM32", "/c/TEMP"}) {
      ::mkdir((path + sub).c_str(), 0777);  // failures surface on first use of the path
    }
    return path;
  }();
  return root;
}

TDateTime ToDateTime(const timespec& time) {
  std::tm tm{};
  localtime_r(&time.tv_sec, &tm);
  const std::int64_t days = DaysFromCivil(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday) - kEpochDays;
  const double fraction = (tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + time.tv_nsec / 1e9) / 86400.0;
  // Before the epoch the time of day still counts forward: -1.25 is 29 Dec 1899, 06:00.
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

timespec ToTimespec(TDateTime time) {
  std::int64_t days = static_cast<std::int64_t>(std::trunc(time));
  std::int64_t ms = std::llround(std::fabs(time - static_cast<double>(days)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    ++days;
  }
  int year;
  unsigned month, day;
  CivilFromDays(days + kEpochDays, year, month, day);
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = static_cast<int>(month) - 1;
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(ms / 3600000);
  tm.tm_min = static_cast<int>(ms / 60000 % 60);
  tm.tm_sec = static_cast<int>(ms / 1000 % 60);
  tm.tm_isdst = -1;
  timespec result{};
  result.tv_sec = std::mktime(&tm);
  result.tv_nsec = static_cast<long>(ms % 1000) * 1000000;
  return result;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace posix

using namespace posix;

std::optional<std::string> TempPath() {
  Root();
  return "C:\\TEMP\\";
}

std::optional<std::string> TempFileName(const std::string& dir, const std::string& prefix, unsigned unique) {
  std::string base = dir;
  if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += '\\';
  base += prefix.substr(0, 3);
  const auto name = [&](unsigned number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
    return base + hex + ".tmp";
  };
  if (unique != 0) return name(unique);

  // Windows starts from the tick count; a shared counter also keeps threads from racing for one name.
  static std::atomic<unsigned> next{[] {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned>(now.tv_sec * 1000 + now.tv_nsec / 1000000) ^ static_cast<unsigned>(getpid());
  }()};
  for (unsigned tries = 0; tries < 0x10000; ++tries) {
    const unsigned number = next++ & 0xFFFFu;
    if (number == 0) continue;
    std::string path = name(number);
    if (File::Open(path, Access::Write, Share::Exclusive, Disposition::CreateNew)) return path;
    if (LastError() != kErrorFileExists) return std::nullopt;
  }
  return Fail(kErrorFileExists, std::optional<std::string>{});
}

std::string ModuleFileName() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return Fail(ErrorFromErrno(errno), std::string{});
  std::string path = "Z:" + std::string(buffer, static_cast<std::size_t>(length));
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> parts;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string part;
  while (std::getline(in, part, '\0')) parts.push_back(part);
  if (!parts.empty()) parts.erase(parts.begin());
  return parts;
}

// The native build has no 8.3 names, so an existing path is its own short form.
std::optional<std::string> ShortPathName(const std::string& path) {
  const auto host = Resolve(path);
  if (!host) return std::nullopt;
  struct stat st;
  if (::stat(host->path.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno, host->parentExists), std::optional<std::string>{});
  return path;
}

std::optional<std::string> WindowsDirectory() {
  Root();
  return "C:\\WINDOWS";
}

std::optional<std::string> SystemDirectory() {
  Root();
  return "C:\\WINDOWS\\SYSTEM32";
}

// TVK_WINVER ("platformId.major.minor[.build]") lets tests pose as other Windows versions.
std::optional<VersionInfo> WindowsVersion() {
  VersionInfo info;
  info.platformId = 2;
  info.major = 5;
  info.minor = 1;
  info.build = 2600;
  if (const char* env = std::getenv("TVK_WINVER")) {
    unsigned platform = 0, major = 0, minor = 0, build = 0;
    if (std::sscanf(env, "%u.%u.%u.%u", &platform, &major, &minor, &build) >= 3) {
      info.platformId = platform;
      info.major = major;
      info.minor = minor;
      info.build = build;
    }
  }
  return info;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file) {
  // Windows looks for a bare file name in its own folder.
  const std::string path = file.find_first_of("\\/:") == std::string::npos ? "C:\\WINDOWS\\" + file : file;
  std::string text;
  if (auto existing = ReadWholeFile(path)) {
    text = std::move(*existing);
  } else if (LastError() != kErrorFileNotFound) {
    return false;
  }

  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }

  const std::string entry = key + "=" + value;
  auto header = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
    const auto name = SectionName(line);
    return name && EqualNoCase(*name, section);
  });
  if (header == lines.end()) {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  } else {
    const auto first = header + 1;
    const auto end = std::find_if(first, lines.end(),
                                  [](const std::string& line) { return SectionName(line).has_value(); });
    auto found = std::find_if(first, end, [&](const std::string& line) {
      const auto equals = line.find('=');
      return equals != std::string::npos && EqualNoCase(TrimSpaces(line.substr(0, equals)), key);
    });
    if (found != end) {
      *found = TrimSpaces(found->substr(0, found->find('='))) + "=" + value;
    } else {
      // After the section's last entry, so a blank line before the next section stays where it is.
      auto last = end;
      while (last != first && TrimSpaces(*(last - 1)).empty()) --last;
      lines.insert(last, entry);
    }
  }

  std::string output;
  for (const std::string& line : lines) output += line + "\r\n";
  File out = File::Open(path, Access::Write, Share::Exclusive, Disposition::CreateAlways);
  if (!out) return false;
  return out.Write(output.data(), output.size()) == static_cast<std::int64_t>(output.size());
}

std::uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return std::uint32_t(std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u);
}

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return ToDateTime(now);
}

std::uint16_t UserDefaultLangID() {
  if (const char* env = std::getenv("TVK_LANGID")) {
    char* end = nullptr;
    const unsigned long id = std::strtoul(env, &end, 16);
    if (end != env && *end == '\0' && id <= 0xFFFF) return static_cast<std::uint16_t>(id);
  }
  return 0x0409;
}

int CompareTextLocale(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int x = LowerAscii(a[i]);
    const int y = LowerAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace os
