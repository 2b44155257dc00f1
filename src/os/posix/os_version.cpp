// Version resources on posix hosts: read from the file itself by the PE reader.
#include "os/os.h"
#include "os/pe_version.h"
#include "os/posix/posix_internal.h"

namespace os {

// The system's codes for "no version resource" and "no such value".
namespace {
constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;
}  // namespace

std::optional<std::vector<std::uint8_t>> FileVersionInfo(const std::string& path) {
  if (!FileExists(path)) return posix::Fail(kErrorFileNotFound, std::optional<std::vector<std::uint8_t>>{});
  auto block = pe::ReadVersionResource(path);
  if (!block) return posix::Fail(kErrorResourceDataNotFound, std::optional<std::vector<std::uint8_t>>{});
  return block;
}

std::optional<std::string> QueryVersionValue(std::vector<std::uint8_t>& block, const std::string& subBlock) {
  auto value = pe::QueryVersionValue(block, subBlock);
  if (!value) return posix::Fail(kErrorResourceTypeNotFound, std::optional<std::string>{});
  return value;
}

}  // namespace os
