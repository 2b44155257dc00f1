// The registry of the os layer on posix hosts: a tree in memory, shared by the whole process and gone
// when it ends.
#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

#include "os/posix/posix_internal.h"

namespace os {

using namespace posix;

namespace {

struct Node {
  std::string name;
  std::vector<std::shared_ptr<Node>> keys;
  std::vector<std::pair<std::string, RegValue>> values;  // in the order they were first set
  bool deleted = false;  // open handles keep a deleted key alive, and must learn it is gone
};

struct OpenKey {
  std::shared_ptr<Node> node;
  RegAccess access;
};

std::mutex mutex;  // guards every node

std::shared_ptr<Node> RootNode(RootKey root) {
  static std::array<std::shared_ptr<Node>, kDynData - kClassesRoot + 1> roots;
  if (root < kClassesRoot || root > kDynData) return nullptr;
  auto& node = roots[root - kClassesRoot];
  if (!node) node = std::make_shared<Node>();
  return node;
}

constexpr std::size_t kMaxKeyName = 255;  // as Windows limits a key's own name

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::shared_ptr<Node>>::iterator FindKey(Node& parent, const std::string& name) {
  return std::find_if(parent.keys.begin(), parent.keys.end(),
                      [&](const auto& key) { return EqualNoCase(key->name, name); });
}

std::vector<std::pair<std::string, RegValue>>::iterator FindValue(Node& node, const std::string& name) {
  return std::find_if(node.values.begin(), node.values.end(),
                      [&](const auto& value) { return EqualNoCase(value.first, name); });
}

// The key a handle stands for, or nothing with the last error set. Call with the mutex held.
Node* Usable(std::uintptr_t handle, bool modifies) {
  const auto* open = reinterpret_cast<const OpenKey*>(handle);
  if (!open) return Fail(kErrorInvalidHandle, static_cast<Node*>(nullptr));
  if (modifies && open->access == RegAccess::Read)
    return Fail(kErrorAccessDenied, static_cast<Node*>(nullptr));
  if (open->node->deleted) return Fail(kErrorKeyDeleted, static_cast<Node*>(nullptr));
  return open->node.get();
}

// Walks `path` below `root`, creating missing keys when asked.
std::shared_ptr<Node> Walk(RootKey root, const std::string& path, bool create) {
  auto node = RootNode(root);
  if (!node) return Fail(kErrorInvalidHandle, std::shared_ptr<Node>{});
  for (const std::string& part : SplitPath(path)) {
    if (part.size() > kMaxKeyName) return Fail(kErrorInvalidParameter, std::shared_ptr<Node>{});
    auto found = FindKey(*node, part);
    if (found != node->keys.end()) {
      node = *found;
    } else if (create) {
      auto child = std::make_shared<Node>();
      child->name = part;
      node->keys.push_back(child);
      node = std::move(child);
    } else {
      return Fail(kErrorFileNotFound, std::shared_ptr<Node>{});
    }
  }
  return node;
}

}  // namespace

RegKey RegKey::Open(RootKey root, const std::string& path, RegAccess access, RegView) {
  std::lock_guard lock(mutex);
  auto node = Walk(root, path, false);
  if (!node) return RegKey();
  return RegKey(reinterpret_cast<std::uintptr_t>(new OpenKey{std::move(node), access}));
}

RegKey RegKey::Create(RootKey root, const std::string& path) {
  std::lock_guard lock(mutex);
  auto node = Walk(root, path, true);
  if (!node) return RegKey();
  return RegKey(reinterpret_cast<std::uintptr_t>(new OpenKey{std::move(node), RegAccess::All}));
}

void RegKey::Close() {
  if (handle_ == 0) return;
  std::lock_guard lock(mutex);  // the node may be the last reference, and nodes change under the mutex
  delete reinterpret_cast<OpenKey*>(handle_);
  handle_ = 0;
}

std::optional<RegValue> RegKey::Query(const std::string& name) const {
  std::lock_guard lock(mutex);
  Node* node = Usable(handle_, false);
  if (!node) return std::nullopt;
  const auto found = FindValue(*node, name);
  if (found == node->values.end()) return Fail(kErrorFileNotFound, std::optional<RegValue>{});
  return found->second;
}

bool RegKey::Set(const std::string& name, RegType type, const void* data, std::size_t size) {
  std::lock_guard lock(mutex);
  Node* node = Usable(handle_, true);
  if (!node) return false;
  RegValue value{type, size ? std::string(static_cast<const char*>(data), size) : std::string()};
  const auto found = FindValue(*node, name);
  if (found != node->values.end()) {
    found->second = std::move(value);
  } else {
    node->values.emplace_back(name, std::move(value));
  }
  return true;
}

bool RegKey::DeleteValue(const std::string& name) {
  std::lock_guard lock(mutex);
  Node* node = Usable(handle_, true);
  if (!node) return false;
  const auto found = FindValue(*node, name);
  if (found == node->values.end()) return Fail(kErrorFileNotFound);
  node->values.erase(found);
  return true;
}

// Sorted without regard to case, as the Windows registry keeps subkeys.
std::optional<std::vector<std::string>> RegKey::SubKeyNames() const {
  std::lock_guard lock(mutex);
  const Node* node = Usable(handle_, false);
  if (!node) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& key : node->keys) names.push_back(key->name);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return UpperCase(a) < UpperCase(b); });
  return names;
}

std::optional<std::vector<std::string>> RegKey::ValueNames() const {
  std::lock_guard lock(mutex);
  const Node* node = Usable(handle_, false);
  if (!node) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& value : node->values) names.push_back(value.first);
  return names;
}

bool RegKey::Flush() {
  std::lock_guard lock(mutex);
  return Usable(handle_, false) != nullptr;
}

bool RegDeleteKey(RootKey root, const std::string& path) {
  std::lock_guard lock(mutex);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return Fail(kErrorAccessDenied);  // a root key cannot go
  const std::string name = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const std::string& part : parts) parentPath += part + "\\";
  const auto parent = Walk(root, parentPath, false);
  if (!parent) return false;
  const auto found = FindKey(*parent, name);
  if (found == parent->keys.end()) return Fail(kErrorFileNotFound);
  if (!(*found)->keys.empty()) return Fail(kErrorAccessDenied);
  (*found)->deleted = true;
  parent->keys.erase(found);
  return true;
}

}  // namespace os
