// The ownership rules of the os handle types, the same on every platform; each platform closes.
#include "os/os.h"

namespace os {

File::~File() { Close(); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kInvalid;
  }
  return *this;
}

RegKey::~RegKey() { Close(); }

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

Module::~Module() { Free(); }

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

}  // namespace os
