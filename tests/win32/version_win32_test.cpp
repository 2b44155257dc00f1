// version.dll and the portable PE reader on the same files: the native build answers with the reader,
// so every value the kit asks for must come out the same. Needs the real version.dll, hence Wine only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/pe_version.h"

namespace {

std::vector<std::string> Files() {
  std::vector<std::string> files;
#ifdef TVK_VERSION_FIXTURES
  std::string dir = std::string("Z:") + TVK_VERSION_FIXTURES;
  std::replace(dir.begin(), dir.end(), '/', '\\');
  for (const char* name : {"app100.exe", "lib10010.dll", "driver.dll", "font.dll", "selfreg_notrans.dll", "id2.dll",
                           "nofixed.dll", "shortfixed.dll", "unterminated.dll", "noversion.dll", "noversion.exe"}) {
    files.push_back(dir + "\\" + name);
  }
#endif
  // Libraries and programs of the system itself, made by another toolchain than the fixtures.
  const auto system = os::SystemDirectory();
  const auto windows = os::WindowsDirectory();
  if (system) {
    for (const char* name : {"kernel32.dll", "version.dll", "comctl32.dll", "ole32.dll", "msvcrt.dll"}) {
      files.push_back(*system + "\\" + name);
    }
  }
  if (windows) files.push_back(*windows + "\\notepad.exe");
  return files;
}

std::vector<std::string> Paths(std::vector<std::uint8_t>& block) {
  std::vector<std::string> tables = {"040904E4", "040704B0", "040904B0"};
  if (const auto translation = os::pe::QueryVersionValue(block, "\\VarFileInfo\\Translation");
      translation && translation->size() >= 4) {
    const auto byte = [&](int i) { return static_cast<unsigned char>((*translation)[std::size_t(i)]); };
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", byte(0) | byte(1) << 8, byte(2) | byte(3) << 8);
    tables.push_back(table);
  }
  std::vector<std::string> paths = {"\\", "", "\\VarFileInfo", "\\VarFileInfo\\Translation", "\\StringFileInfo",
                                    "\\Nothing", "\\varfileinfo\\TRANSLATION"};
  for (const auto& table : tables) {
    paths.push_back("\\StringFileInfo\\" + table);
    for (const char* key : {"Comment", "Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                            "LegalCopyright", "LegalTradeMarks", "LegalTrademarks", "OriginalFileName",
                            "OriginalFilename", "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild",
                            "OLESelfRegister", "Missing"}) {
      paths.push_back("\\StringFileInfo\\" + table + "\\" + key);
    }
  }
  return paths;
}

TEST(VersionDll, AgreesWithThePeReader) {
  const auto files = Files();
  ASSERT_GT(files.size(), 6u);
  int withResource = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    if (!os::FileExists(file)) {
      ADD_FAILURE() << "missing";
      continue;
    }
    auto system = os::FileVersionInfo(file);
    auto portable = os::pe::ReadVersionResource(file);
    ASSERT_EQ(system.has_value(), portable.has_value());
    if (!system) continue;
    ++withResource;
    for (const auto& path : Paths(*portable)) {
      SCOPED_TRACE(path);
      EXPECT_EQ(os::QueryVersionValue(*system, path), os::pe::QueryVersionValue(*portable, path));
    }
  }
  EXPECT_GE(withResource, 10);
}

}  // namespace
