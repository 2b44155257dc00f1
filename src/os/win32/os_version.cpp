// Version resources through version.dll.
#include <algorithm>
#include <vector>

#include "os/win32/win.h"

namespace os {

std::optional<std::vector<std::uint8_t>> FileVersionInfo(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<std::string> QueryVersionValue(std::vector<std::uint8_t>& block, const std::string& subBlock) {
  void* value = nullptr;
  UINT length = 0;
  if (block.empty() || !::VerQueryValueA(block.data(), subBlock.c_str(), &value, &length)) return std::nullopt;
  if (value == nullptr) return std::string();
  // The answer points into the block; a length reaching past it would be a fault of the block's maker.
  const auto at = reinterpret_cast<std::uintptr_t>(value);
  const auto start = reinterpret_cast<std::uintptr_t>(block.data());
  if (at < start || at - start > block.size()) return std::nullopt;
  const std::size_t offset = at - start;
  const auto* bytes = block.data() + offset;
  return std::string(bytes, bytes + std::min<std::size_t>(length, block.size() - offset));
}

}  // namespace os
