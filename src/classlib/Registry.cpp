#include "classlib/Registry.h"

#include <cstring>

namespace {

std::string Join(const std::string& base, const std::string& key) {
  if (base.empty()) return key;
  if (key.empty()) return base;
  return base + "\\" + key;
}

bool IsStringType(os::RegType type) { return type == os::RegType::String || type == os::RegType::ExpandString; }

}  // namespace

void TRegistry::SetRootKey(os::RootKey root) {
  if (root == rootKey_) return;
  CloseKey();
  rootKey_ = root;
}

std::string TRegistry::FullPath(const std::string& key) const {
  if (!key.empty() && key[0] == '\\') return key.substr(1);
  return currentKey_.IsValid() ? Join(currentPath_, key) : key;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string path = FullPath(key);
  os::RegKey opened = canCreate ? os::RegKey::Create(rootKey_, path) : os::RegKey::Open(rootKey_, path, os::RegAccess::All);
  if (!opened) return false;
  CloseKey();
  currentKey_ = std::move(opened);
  currentPath_ = path;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  std::string path = FullPath(key);
  os::RegKey opened = os::RegKey::Open(rootKey_, path, os::RegAccess::Read);
  if (!opened) return false;
  CloseKey();
  currentKey_ = std::move(opened);
  currentPath_ = path;
  return true;
}

void TRegistry::CloseKey() {
  if (!currentKey_) return;
  if (!lazyWrite_) currentKey_.Flush();
  currentKey_.Close();
  currentPath_.clear();
}

void TRegistry::CreateKey(const std::string& key) {
  if (!os::RegKey::Create(rootKey_, FullPath(key))) throw ERegistryException("Failed to create key %s", {key});
}

bool TRegistry::DeleteKey(const std::string& key) {
  std::string path = FullPath(key);
  {
    // Windows NT deletes only keys without subkeys, so the tree goes first.
    os::RegKey opened = os::RegKey::Open(rootKey_, path, os::RegAccess::Read);
    if (!opened) return false;
    auto names = opened.SubKeyNames();
    opened.Close();
    if (names)
      for (const std::string& name : *names) DeleteKey("\\" + Join(path, name));
  }
  return os::RegDeleteKey(rootKey_, path);
}

bool TRegistry::KeyExists(const std::string& key) {
  return os::RegKey::Open(rootKey_, FullPath(key), os::RegAccess::Read).IsValid();
}

bool TRegistry::HasSubKeys() const {
  if (!currentKey_) return false;
  auto names = currentKey_.SubKeyNames();
  return names && !names->empty();
}

void TRegistry::GetKeyNames(TStrings& names) const {
  names.Clear();
  if (!currentKey_) return;
  if (auto list = currentKey_.SubKeyNames())
    for (const std::string& name : *list) names.Add(name);
}

void TRegistry::GetValueNames(TStrings& names) const {
  names.Clear();
  if (!currentKey_) return;
  if (auto list = currentKey_.ValueNames())
    for (const std::string& name : *list) names.Add(name);
}

bool TRegistry::ValueExists(const std::string& name) const {
  return currentKey_.IsValid() && currentKey_.Query(name).has_value();
}

bool TRegistry::DeleteValue(const std::string& name) { return currentKey_.IsValid() && currentKey_.DeleteValue(name); }

os::RegType TRegistry::DataType(const std::string& name) const {
  if (!currentKey_) return os::RegType::None;
  auto value = currentKey_.Query(name);
  return value ? value->type : os::RegType::None;
}

os::RegValue TRegistry::Query(const std::string& name) const {
  std::optional<os::RegValue> value;
  if (currentKey_) value = currentKey_.Query(name);
  if (!value) throw ERegistryException("Failed to get data for '%s'", {name});
  return *value;
}

std::string TRegistry::ReadString(const std::string& name) const {
  if (!ValueExists(name)) return std::string();
  os::RegValue value = Query(name);
  if (!IsStringType(value.type)) throw ERegistryException("Invalid data type for '%s'", {name});
  // Stored strings normally end in a zero; one written without it is read whole.
  std::size_t end = value.data.find('\0');
  return end == std::string::npos ? value.data : value.data.substr(0, end);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
  os::RegValue value = Query(name);
  if (value.type != os::RegType::DWord || value.data.size() != sizeof(std::int32_t))
    throw ERegistryException("Invalid data type for '%s'", {name});
  std::int32_t result;
  std::memcpy(&result, value.data.data(), sizeof result);
  return result;
}

TDateTime TRegistry::ReadDateTime(const std::string& name) const {
  os::RegValue value = Query(name);
  if (value.type != os::RegType::Binary || value.data.size() != sizeof(TDateTime))
    throw ERegistryException("Invalid data type for '%s'", {name});
  TDateTime result;
  std::memcpy(&result, value.data.data(), sizeof result);
  return result;
}

std::string TRegistry::ReadBinaryData(const std::string& name) const {
  os::RegValue value = Query(name);
  if (value.type != os::RegType::Binary) throw ERegistryException("Invalid data type for '%s'", {name});
  return value.data;
}

void TRegistry::Put(const std::string& name, os::RegType type, const void* data, std::size_t size) {
  if (!currentKey_ || !currentKey_.Set(name, type, data, size))
    throw ERegistryException("Failed to set data for '%s'", {name});
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  Put(name, os::RegType::String, value.c_str(), value.size() + 1);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  Put(name, os::RegType::ExpandString, value.c_str(), value.size() + 1);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  Put(name, os::RegType::DWord, &value, sizeof value);
}

void TRegistry::WriteDateTime(const std::string& name, TDateTime value) {
  Put(name, os::RegType::Binary, &value, sizeof value);
}

void TRegistry::WriteBinaryData(const std::string& name, const std::string& value) {
  Put(name, os::RegType::Binary, value.data(), value.size());
}
