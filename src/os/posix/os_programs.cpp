// Windows programs and libraries cannot run in the native build: every start and load fails.
#include "os/os.h"
#include "os/posix/posix_internal.h"

namespace os {

unsigned WinExec(const std::string&, int) {
  os::SetLastError(kErrorCallNotImplemented);
  return 0;
}

bool StartHidden(const std::string&) {
  os::SetLastError(kErrorCallNotImplemented);
  return false;
}

std::optional<std::uint32_t> RunAndWait(const std::string&, int, std::uint32_t) {
  os::SetLastError(kErrorCallNotImplemented);
  return std::nullopt;
}

Module Module::Load(const std::string&) {
  os::SetLastError(kErrorCallNotImplemented);
  return Module();
}

Module Module::LoadComponent(const std::string& path) { return Load(path); }

void Module::Free() { handle_ = 0; }

std::optional<std::int32_t> Module::CallExport(const std::string&) { return std::nullopt; }

void* Module::Export(const std::string&) const { return nullptr; }

bool RestrictLibrarySearch() { return true; }  // nothing is loaded by name natively

bool RestartWindows(bool) {
  os::SetLastError(kErrorCallNotImplemented);
  return false;
}

OleScope::OleScope() = default;
OleScope::~OleScope() = default;

}  // namespace os
