#include "os/win32/win.h"

namespace os {

namespace {
constexpr DWORD kPathBuffer = MAX_PATH + 1;

// Calls a GetXxxDirectory-style function; empty when it fails or the answer does not fit.
template <class Getter>
std::optional<std::string> QueryString(Getter get) {
  char buffer[kPathBuffer];
  DWORD n = get(buffer, kPathBuffer);
  if (n == 0 || n >= kPathBuffer) return std::nullopt;
  return std::string(buffer, n);
}
}  // namespace

std::optional<std::string> TempPath() {
  return QueryString([](char* b, DWORD n) { return ::GetTempPathA(n, b); });
}

std::optional<std::string> TempFileName(const std::string& dir, const std::string& prefix, unsigned unique) {
  char buffer[kPathBuffer];
  if (::GetTempFileNameA(dir.c_str(), prefix.c_str(), unique, buffer) == 0) return std::nullopt;
  return std::string(buffer);
}

std::string ModuleFileName() {
  char buffer[kPathBuffer];
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, kPathBuffer);
  return n == 0 || n >= kPathBuffer ? std::string() : std::string(buffer, n);
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> parts = SplitCommandLine(::GetCommandLineA());
  if (!parts.empty()) parts.erase(parts.begin());
  return parts;
}

std::optional<std::string> ShortPathName(const std::string& path) {
  std::string buffer(kPathBuffer, '\0');
  for (;;) {
    DWORD n = ::GetShortPathNameA(path.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.resize(n + 1);  // n is the size needed, terminator included
  }
}

std::optional<std::string> WindowsDirectory() {
  return QueryString([](char* b, DWORD n) { return ::GetWindowsDirectoryA(b, n); });
}

std::optional<std::string> SystemDirectory() {
  return QueryString([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); });
}

std::optional<VersionInfo> WindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;  // the 148-byte record every Windows version accepts
  if (!::GetVersionExA(&info)) return std::nullopt;
  return VersionInfo{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
                     info.szCSDVersion};
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

std::uint32_t TickCount() { return ::GetTickCount(); }

TDateTime Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  FILETIME local, utc;
  ::SystemTimeToFileTime(&st, &local);
  ::LocalFileTimeToFileTime(&local, &utc);
  return win32::FileTimeToDateTime(utc);
}

std::uint16_t UserDefaultLangID() { return ::GetUserDefaultLangID(); }

int CompareTextLocale(const std::string& a, const std::string& b) {
  int r = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size()));
  return r - CSTR_EQUAL;
}

}  // namespace os
