// Scratch space for tests: directories and registry keys that are gone again when the test ends.
#pragma once

#include <string>

#include "os/os.h"

namespace tvktest {

// A new directory in the temporary directory, removed with everything in it on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// A key below the root, unique to this process ("\Software\TvkTest\<n>"), deleted with its tree on
// destruction.
class ScratchKey {
 public:
  explicit ScratchKey(os::RootKey root = os::kCurrentUser);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  os::RootKey Root() const { return root_; }
  const std::string& Path() const { return path_; }  // begins with "\"

 private:
  os::RootKey root_;
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
void RemoveTree(const std::string& path);
void RemoveRegTree(os::RootKey root, const std::string& path);  // path without a leading "\"

#ifndef _WIN32
// What a shell command writes to its standard output (native builds, where tools are Linux programs).
std::string CommandOutput(const std::string& command);
#endif

}  // namespace tvktest
