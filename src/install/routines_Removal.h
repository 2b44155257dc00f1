// The record an install leaves for the uninstall, below the product's uninstall key, beside the lists
// Windows' own tools know: "Removal\Files" holds one value per file, named by the file's path, whose data
// says what the install did to it; "Removal\Folders" one value per folder the install made, named by its
// path. Each name appears once however often installs meet it: what a later install did adds to what an
// earlier one recorded.
#pragma once

#include <algorithm>
#include <string>

// Where an install records what it did.
inline constexpr char kUninstallKeyRoot[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr char kSharedDLLsKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr char kHelpKey[] = "\\SOFTWARE\\Microsoft\\Windows\\Help";

namespace removal {

inline constexpr char kFiles[] = "\\Removal\\Files";
inline constexpr char kFolders[] = "\\Removal\\Folders";

struct FileActions {
  bool written = false;  // an install wrote the file (or left it waiting for the restart)
  int counted = 0;       // how often its shared count was raised
  bool activeX = false;  // it registered itself
  bool help = false;     // it was registered as a help file
};

inline std::string Encode(const FileActions& a) {
  return std::string(a.written ? "W" : "") + std::string(std::size_t(std::max(a.counted, 0)), 'S') +
         (a.activeX ? "X" : "") + (a.help ? "H" : "");
}

inline FileActions Decode(const std::string& text) {
  const auto has = [&](char c) { return text.find(c) != std::string::npos; };
  return {has('W'), int(std::count(text.begin(), text.end(), 'S')), has('X'), has('H')};
}

// What two installs did to the same file.
inline FileActions Merge(const FileActions& a, const FileActions& b) {
  return {a.written || b.written, a.counted + b.counted, a.activeX || b.activeX, a.help || b.help};
}

}  // namespace removal
