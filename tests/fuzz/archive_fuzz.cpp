// Fuzz target: reads the input as an archive's table and extracts every entry. Any failure must be an
// Exception; crashes, hangs, leaks and undefined behaviour are findings.
#include <cstddef>
#include <cstdint>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The disk-1 name lets a disk-set layout find its first disk in the same file.
  const std::string archive = WorkDir() + "\\files.1";
  const std::string out = WorkDir() + "\\out";
  {
    os::File f = os::File::Open(archive, os::Access::Write, os::Share::DenyNone, os::Disposition::CreateAlways);
    if (!f || f.Write(data, size) != std::int64_t(size)) return 0;
  }
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory(out);
  // Every entry goes to one fixed name: the names inside the input never choose where files go.
  engine.OnBeforeExtracting = [](TTvlkCompress* e, const TlzhFileStats&) { e->DestFileName = "entry"; };
  try {
    engine.LoadHeaders();
    for (int i = 0; i < engine.FileCount(); ++i) {
      TStringList one;
      one.Add(engine.Headers().Items(i).Record.SourceName());
      engine.SetFilesToProcess(one);
      engine.Extract();
    }
  } catch (const Exception&) {
  }
  os::DeleteFile(out + "\\entry");
  return 0;
}
