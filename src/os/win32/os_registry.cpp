#include <cstring>

#include "os/win32/win.h"

namespace os {

namespace {

HKEY K(std::uintptr_t h) { return reinterpret_cast<HKEY>(h); }
HKEY Root(RootKey root) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root)); }

// Registry calls return their error instead of setting the thread's last error.
bool Ok(LONG status) {
  ::SetLastError(DWORD(status));
  return status == ERROR_SUCCESS;
}

std::optional<std::vector<std::string>> Enumerate(HKEY key, bool subKeys) {
  DWORD count = 0, longest = 0;
  LONG status = subKeys ? ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr)
                        : ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                              &longest, nullptr, nullptr, nullptr);
  if (!Ok(status)) return std::nullopt;
  std::vector<std::string> names;
  std::string buffer(longest + 1, '\0');
  for (DWORD i = 0; i < count; ++i) {
    DWORD size = DWORD(buffer.size());
    status = subKeys ? ::RegEnumKeyExA(key, i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr)
                     : ::RegEnumValueA(key, i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (!Ok(status)) return std::nullopt;
    names.emplace_back(buffer.data(), size);
  }
  return names;
}

}  // namespace

void RegKey::Close() {
  if (handle_ != 0) {
    ::RegCloseKey(K(handle_));
    handle_ = 0;
  }
}

RegKey RegKey::Open(RootKey root, const std::string& path, RegAccess access, RegView view) {
  HKEY key = nullptr;
  REGSAM sam = access == RegAccess::All ? KEY_ALL_ACCESS : KEY_READ;
  // Asked for only when named: older Windows may refuse flags they do not know.
  if (view != RegView::Default) sam |= view == RegView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  if (!Ok(::RegOpenKeyExA(Root(root), path.c_str(), 0, sam, &key))) return RegKey();
  return RegKey(reinterpret_cast<std::uintptr_t>(key));
}

RegKey RegKey::Create(RootKey root, const std::string& path) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (!Ok(::RegCreateKeyExA(Root(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition)))
    return RegKey();
  return RegKey(reinterpret_cast<std::uintptr_t>(key));
}

std::optional<RegValue> RegKey::Query(const std::string& name) const {
  DWORD type = 0, size = 0;
  if (!Ok(::RegQueryValueExA(K(handle_), name.c_str(), nullptr, &type, nullptr, &size))) return std::nullopt;
  RegValue value;
  value.type = RegType(type);
  value.data.resize(size);
  // The value may change between the two calls; ask again until the buffer is large enough.
  for (;;) {
    size = DWORD(value.data.size());
    LONG status = ::RegQueryValueExA(K(handle_), name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(value.data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      value.data.resize(size);
      continue;
    }
    if (!Ok(status)) return std::nullopt;
    value.type = RegType(type);
    value.data.resize(size);
    return value;
  }
}

bool RegKey::Set(const std::string& name, RegType type, const void* data, std::size_t size) {
  return Ok(::RegSetValueExA(K(handle_), name.c_str(), 0, DWORD(type), static_cast<const BYTE*>(data), DWORD(size)));
}

bool RegKey::DeleteValue(const std::string& name) { return Ok(::RegDeleteValueA(K(handle_), name.c_str())); }

std::optional<std::vector<std::string>> RegKey::SubKeyNames() const { return Enumerate(K(handle_), true); }

std::optional<std::vector<std::string>> RegKey::ValueNames() const { return Enumerate(K(handle_), false); }

bool RegKey::Flush() { return Ok(::RegFlushKey(K(handle_))); }

bool RegDeleteKey(RootKey root, const std::string& path) { return Ok(::RegDeleteKeyA(Root(root), path.c_str())); }

}  // namespace os
