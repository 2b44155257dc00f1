#include "support/routines_Registry.h"

#include <iterator>

#include "support/routines_Log.h"
#include "support/routines_Strings.h"

namespace {

constexpr os::RootKey kRoots[] = {os::kClassesRoot, os::kCurrentConfig, os::kCurrentUser,
                                  os::kDynData,     os::kLocalMachine,  os::kUsers};
constexpr char kRunOnceKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                                      "HKEY_DYN_DATA",     "HKEY_LOCAL_MACHINE",  "HKEY_USERS"};

void LogValue(int root, const std::string& key, const std::string& ident, const std::string& value) {
  const std::string rootName = root >= 0 && root < int(std::size(kRootNames)) ? kRootNames[root] : "?";
  LogLine("registry: " + rootName + (key.empty() || key[0] == '\\' ? "" : "\\") + key + " \"" + ident + "\" = " + value);
}

// Full access first, so the read routines still work for users who may not write the key.
bool OpenExisting(TRegistry& registry, const std::string& key) {
  return registry.OpenKey(key, false) || registry.OpenKeyReadOnly(key);
}

// Opens (creating) the key and runs Write; any failure becomes EIRCannotWriteValue with Message.
template <class Writer>
void WriteValue(int root, const std::string& key, const std::string& message, Writer write) {
  TRegistry registry;
  SetRegistryRoot(registry, root);
  if (!registry.OpenKey(key, true)) throw EIRCannotWriteValue(message);
  try {
    write(registry);
  } catch (const Exception&) {
    throw EIRCannotWriteValue(message);
  }
}

// Runs Read on the opened key; Default when the key or value is missing or the read raises.
template <class T, class Reader>
T ReadValue(int root, const std::string& key, const std::string& ident, T defaultValue, Reader read) {
  TRegistry registry;
  SetRegistryRoot(registry, root);
  if (!OpenExisting(registry, key) || !registry.ValueExists(ident)) return defaultValue;
  try {
    return read(registry);
  } catch (const Exception&) {
    return defaultValue;
  }
}

}  // namespace

int RootFromKey(os::RootKey key, int defaultIndex) {
  for (int i = 0; i < int(std::size(kRoots)); ++i)
    if (kRoots[i] == key) return i;
  return defaultIndex;
}

void SetRegistryRoot(TRegistry& registry, int root) {
  if (root >= 0 && root < int(std::size(kRoots))) registry.SetRootKey(kRoots[root]);
}

void WriteRegString(int root, const std::string& key, const std::string& ident, const std::string& value) {
  std::string message = Format("Cannot install into registry. Key: %s Ident: %s Value %s", {key, ident, value});
  WriteValue(root, key, message, [&](TRegistry& r) { r.WriteString(ident, value); });
  LogValue(root, key, ident, value);
}

void WriteRegInteger(int root, const std::string& key, const std::string& ident, std::int32_t value) {
  WriteValue(root, key, key, [&](TRegistry& r) { r.WriteInteger(ident, value); });
  LogValue(root, key, ident, std::to_string(value));
}

std::string ReadRegString(int root, const std::string& key, const std::string& ident, const std::string& defaultValue) {
  return ReadValue(root, key, ident, defaultValue, [&](TRegistry& r) { return r.ReadString(ident); });
}

std::int32_t ReadRegInteger(int root, const std::string& key, const std::string& ident, std::int32_t defaultValue) {
  return ReadValue(root, key, ident, defaultValue, [&](TRegistry& r) { return r.ReadInteger(ident); });
}

void DeleteRegKeyTree(int root, const std::string& key) {
  try {
    TRegistry registry;
    SetRegistryRoot(registry, root);
    if (!OpenExisting(registry, key)) return;
    TStringList names;
    registry.GetKeyNames(names);
    registry.CloseKey();
    for (int i = 0; i < names.Count(); ++i) DeleteRegKeyTree(root, WithTrailingBackslash(key) + names.Strings(i));
    registry.DeleteKey(key);
  } catch (const Exception&) {
  }
}

bool AddRunOnce(const std::string& name, const std::string& command, bool makeUnique) {
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (!registry.OpenKey(kRunOnceKey, true)) return false;
  std::string valueName = name;
  for (int n = 1; makeUnique && registry.ValueExists(valueName); ++n) valueName = name + std::to_string(n);
  try {
    registry.WriteString(valueName, command);
  } catch (const Exception&) {
    return false;
  }
  registry.SetLazyWrite(false);
  registry.CloseKey();
  LogValue(RootFromKey(os::kLocalMachine, 4), kRunOnceKey, valueName, command);
  return true;
}
