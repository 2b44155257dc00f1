#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>

namespace tvktest {

namespace {
std::atomic<int> counter{0};

// Test processes run side by side and share the temporary directory: the name carries a random part
// drawn once per process, not only the time.
std::string UniqueName(const char* prefix) {
  static const std::string stamp = [] {
    std::random_device random;
    char text[20];
    std::snprintf(text, sizeof text, "%08x", unsigned(random()));
    return std::string(text);
  }();
  return prefix + stamp + "_" + std::to_string(counter++);
}
}  // namespace

ScratchDir::ScratchDir() {
  auto temp = os::TempPath();
  if (!temp) throw std::runtime_error("no temporary directory");
  path_ = *temp + UniqueName("tvk");
  if (!os::CreateDirectory(path_)) throw std::runtime_error("cannot create " + path_);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

ScratchKey::ScratchKey(os::RootKey root) : root_(root), path_("\\Software\\TvkTest\\" + UniqueName("k")) {}

ScratchKey::~ScratchKey() {
  RemoveRegTree(root_, path_.substr(1));
  // Leave no trace of the parent either once the last test key is gone.
  os::RegDeleteKey(root_, "Software\\TvkTest");
}

void WriteFile(const std::string& path, const std::string& contents) {
  os::File f = os::File::Open(path, os::Access::Write, os::Share::Exclusive, os::Disposition::CreateAlways);
  ASSERT_TRUE(f) << "cannot create " << path;
  ASSERT_EQ(f.Write(contents.data(), contents.size()), std::int64_t(contents.size()));
}

std::string ReadFile(const std::string& path) {
  os::File f = os::File::Open(path, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  if (!f) return "<missing>";
  std::string data(std::size_t(f.Size()), '\0');
  f.Read(data.data(), data.size());
  return data;
}

void RemoveTree(const std::string& path) {
  for (const os::FindData& entry : os::FindFiles(path + "\\*")) {
    std::string child = path + "\\" + entry.name;
    if (entry.directory) RemoveTree(child);
    else os::DeleteFile(child);
  }
  os::RemoveDirectory(path);
}

void RemoveRegTree(os::RootKey root, const std::string& path) {
  {
    os::RegKey key = os::RegKey::Open(root, path, os::RegAccess::Read);
    if (!key) return;
    if (auto names = key.SubKeyNames())
      for (const std::string& name : *names) RemoveRegTree(root, path + "\\" + name);
  }
  os::RegDeleteKey(root, path);
}

#ifndef _WIN32
std::string CommandOutput(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  if (!pipe) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
  return output;
}
#endif

}  // namespace tvktest
