// The ownership rules of internet handles, the same on every platform; each platform closes.
#include <utility>

#include "os/os_internet.h"

namespace os {

InternetHandle::InternetHandle(std::shared_ptr<const InternetFunctions> functions, void* handle)
    : functions_(handle != nullptr ? std::move(functions) : nullptr), handle_(handle) {}

InternetHandle::~InternetHandle() { Close(); }

InternetHandle::InternetHandle(InternetHandle&& other) noexcept
    : functions_(std::move(other.functions_)), handle_(std::exchange(other.handle_, nullptr)) {}

InternetHandle& InternetHandle::operator=(InternetHandle&& other) noexcept {
  if (this != &other) {
    Close();
    functions_ = std::move(other.functions_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool InternetHandle::Close() {
  const bool closed = TryClose();
  Forget();
  return closed;
}

bool InternetHandle::Usable() const {
  if (handle_ == nullptr) SetLastError(kErrorInvalidHandle);
  return handle_ != nullptr;
}

void InternetHandle::Forget() {
  handle_ = nullptr;
  functions_.reset();
}

}  // namespace os
