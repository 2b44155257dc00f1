// Fuzz target: reads the input as an archive's table and extracts every entry under its own name into
// root\inner\out. Any failure must be an Exception; crashes, hangs, leaks, undefined behaviour and any file
// or folder that appears outside out are findings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/cmp_TTvlkCompress.h"
#include "os/os.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string d = os::TempPath().value_or("C:\\") + "tvkfuzz";
    os::CreateDirectory(d);
    return d;
  }();
  return dir;
}

[[noreturn]] void Escaped(const std::string& what) {
  std::fprintf(stderr, "extraction wrote outside its folder: %s\n", what.c_str());
  std::abort();
}

// Dir must hold exactly the one folder Only.
void ExpectOnly(const std::string& dir, const std::string& only) {
  for (const os::FindData& entry : os::FindFiles(dir + "\\*"))
    if (!entry.directory || entry.name != only) Escaped(dir + "\\" + entry.name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The disk-1 name lets a disk-set layout find its first disk in the same file.
  const std::string archive = WorkDir() + "\\files.1";
  const std::string root = WorkDir() + "\\root";
  const std::string out = root + "\\inner\\out";
  {
    os::File f = os::File::Open(archive, os::Access::Write, os::Share::DenyNone, os::Disposition::CreateAlways);
    if (!f || f.Write(data, size) != std::int64_t(size)) return 0;
  }
  os::CreateDirectory(root);
  os::CreateDirectory(root + "\\inner");
  os::CreateDirectory(out);
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory(out);
  try {
    engine.LoadHeaders();
    for (int i = 0; i < engine.FileCount(); ++i) engine.ExtractIndex(i);
  } catch (const Exception&) {
  }
  ExpectOnly(root, "inner");
  ExpectOnly(root + "\\inner", "out");
  // Names hold no separator, so out never gains a folder either.
  for (const os::FindData& entry : os::FindFiles(out + "\\*")) {
    if (entry.directory) Escaped(out + "\\" + entry.name);
    os::DeleteFile(out + "\\" + entry.name);
  }
  return 0;
}
