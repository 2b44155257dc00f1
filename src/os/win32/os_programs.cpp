#include <ole2.h>

#include "os/win32/win.h"

namespace os {

unsigned WinExec(const std::string& commandLine, int show) { return ::WinExec(commandLine.c_str(), UINT(show)); }

Module Module::Load(const std::string& path) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  return module != nullptr ? Module(reinterpret_cast<std::uintptr_t>(module)) : Module();
}

void Module::Free() {
  if (handle_ != 0) {
    ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
    handle_ = 0;
  }
}

std::optional<std::int32_t> Module::CallExport(const std::string& name) {
  using Export = HRESULT(STDAPICALLTYPE*)();
  FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name.c_str());
  if (address == nullptr) return std::nullopt;
  return std::int32_t(reinterpret_cast<Export>(reinterpret_cast<void*>(address))());
}

OleScope::OleScope() : initialised_(SUCCEEDED(::OleInitialize(nullptr))) {}

OleScope::~OleScope() {
  if (initialised_) ::OleUninitialize();
}

}  // namespace os
