// The registry access object: one open key at a time below a chosen root.
#pragma once

#include <string>

#include "classlib/Strings.h"
#include "os/os.h"

TVK_DECLARE_EXCEPTION(ERegistryException, Exception);

class TRegistry : public TObject {
 public:
  TRegistry() = default;
  ~TRegistry() override { CloseKey(); }
  std::string ClassName() const override { return "TRegistry"; }

  os::RootKey RootKey() const { return rootKey_; }
  void SetRootKey(os::RootKey root);  // closes the open key
  // Without lazy writing, closing a key flushes it to disk first.
  bool LazyWrite() const { return lazyWrite_; }
  void SetLazyWrite(bool lazyWrite) { lazyWrite_ = lazyWrite; }
  const std::string& CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return currentKey_.IsValid(); }

  // A key beginning with "\" is taken from the root, any other from the open key.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  void CreateKey(const std::string& key);  // ERegistryException "Failed to create key %s"
  bool DeleteKey(const std::string& key);  // with every key below it
  bool KeyExists(const std::string& key);
  bool HasSubKeys() const;
  void GetKeyNames(TStrings& names) const;
  void GetValueNames(TStrings& names) const;

  bool ValueExists(const std::string& name) const;
  bool DeleteValue(const std::string& name);
  os::RegType DataType(const std::string& name) const;  // RegType::None when missing

  // Reading a value of another type throws ERegistryException "Invalid data type for '%s'"; reading a
  // missing one "Failed to get data for '%s'" (a missing string reads as empty). Writing throws
  // "Failed to set data for '%s'".
  std::string ReadString(const std::string& name) const;
  std::int32_t ReadInteger(const std::string& name) const;
  TDateTime ReadDateTime(const std::string& name) const;  // an 8-byte binary value
  std::string ReadBinaryData(const std::string& name) const;
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);
  void WriteDateTime(const std::string& name, TDateTime value);
  void WriteBinaryData(const std::string& name, const std::string& value);

 private:
  std::string FullPath(const std::string& key) const;
  os::RegValue Query(const std::string& name) const;
  void Put(const std::string& name, os::RegType type, const void* data, std::size_t size);

  os::RootKey rootKey_ = os::kCurrentUser;
  os::RegKey currentKey_;
  std::string currentPath_;
  bool lazyWrite_ = true;
};
