#include "machine_snapshot.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "support/test_support.h"
#include "support/win32_process.h"

#include <windows.h>

namespace e2e {
namespace {

// What Wine changes by itself while programs run, whatever they do: keys and folders, each with all below
// it, and why. Nothing the installer writes is below them.
const char* const kWineChurn[] = {
    // The trust provider's settings for the user, written at its first use (the loading program asks it
    // whether setup.exe is signed); Wine's user is always this one.
    "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Microsoft\\Windows\\CurrentVersion\\Wintrust",
};

// The export of the registry editor (UTF-16, lines continued by a final backslash) as lines: keys as they
// stand, each value after its key and "|".
void AddRegistry(std::set<std::string>& lines, const std::string& exportFile) {
  const std::string bytes = tvktest::ReadFile(exportFile);
  const int units = int(bytes.size() / 2);
  const auto* wide = reinterpret_cast<const wchar_t*>(bytes.data());
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
  std::string text(std::size_t(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, units, text.data(), size, nullptr, nullptr);
  std::string key, pending;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!pending.empty()) {
      const std::size_t indent = line.find_first_not_of(' ');
      line = pending + (indent == std::string::npos ? std::string() : line.substr(indent));
    }
    if (!line.empty() && line.back() == '\\') {
      line.pop_back();
      pending = line;
      continue;
    }
    pending.clear();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      key = line.substr(1, line.size() - 2);
      lines.insert(key);
    } else if (!line.empty() && (line.front() == '"' || line.front() == '@')) {
      lines.insert(key + "|" + line);
    }
  }
}

std::string Checksum(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "unreadable";
  static const std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 20]);
  uLong crc = crc32(0, nullptr, 0);
  DWORD read = 0;
  while (::ReadFile(file, buffer.get(), 1 << 20, &read, nullptr) && read > 0) crc = crc32(crc, buffer.get(), read);
  ::CloseHandle(file);
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc));
  return text;
}

void AddFiles(std::set<std::string>& lines, const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      lines.insert(path + " -> link");
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      lines.insert(path + "\\");
      AddFiles(lines, path);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      lines.insert(path + " " + std::to_string(size) + " " + Checksum(path));
    }
  } while (::FindNextFileA(find, &found));
  ::FindClose(find);
}

// A line of Path itself or of anything below it (a key's values, a folder's files).
bool Below(const std::string& line, const std::string& path) {
  if (line.size() < path.size()) return false;
  const int size = int(path.size());
  return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.data(), size, path.data(), size) == CSTR_EQUAL &&
         (line.size() == path.size() || std::strchr("\\| ", line[path.size()]) != nullptr);
}

bool Left(const std::string& line, const std::vector<std::string>& allowed) {
  for (const char* churn : kWineChurn)
    if (Below(line, churn)) return true;
  for (const std::string& path : allowed)
    if (Below(line, path)) return true;
  return false;
}

}  // namespace

std::set<std::string> MachineSnapshot(const std::string& scratch) {
  std::set<std::string> lines;
  const std::string exported = scratch + "\\registry.reg";
  EXPECT_EQ(tvktest::RunAndWait("regedit.exe /E \"" + exported + "\"", 120000), std::optional<unsigned long>(0));
  AddRegistry(lines, exported);
  ::DeleteFileA(exported.c_str());
  AddFiles(lines, "C:");
  return lines;
}

std::string MachineDifference(const std::set<std::string>& before, const std::set<std::string>& after,
                              const std::vector<std::string>& allowed) {
  std::string text;
  for (const std::string& line : before)
    if (!after.count(line) && !Left(line, allowed)) text += "gone: " + line + "\n";
  for (const std::string& line : after)
    if (!before.count(line) && !Left(line, allowed)) text += "new: " + line + "\n";
  return text;
}

}  // namespace e2e
