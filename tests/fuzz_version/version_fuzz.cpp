// The PE version reader on arbitrary bytes: as an image, then queries of the block it finds and of the
// bytes themselves taken as a block. The reader promises never to ask for bytes past the end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "os/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto block = os::pe::ReadVersionResource(size, [&](std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > size || count > size - offset) std::abort();
    std::memcpy(buffer, data + offset, count);
    return true;
  });
  if (block && block->size() > 0x10000) std::abort();
  for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                           "\\StringFileInfo\\040904e4\\\\ProductVersion", "\\StringFileInfo\\040704B0\\OLESelfRegister"}) {
    if (block) os::pe::QueryVersionValue(*block, path);
    os::pe::QueryVersionValue(std::span<const std::uint8_t>(data, size), path);
  }
  return 0;
}
