// Registry reads with defaults, writes that fail loudly, tree deletion and RunOnce registration.
// Each call uses a registry access object of its own; nothing stays open between calls.
// Key paths are full paths below the root and begin with "\".
#pragma once

#include <cstdint>
#include <string>

#include "classlib/Registry.h"
#include "support/exceptions_Tavelock.h"

// The predefined roots, by the index callers store.
enum TRegRoot : int {
  rrClassesRoot = 0,
  rrCurrentConfig = 1,
  rrCurrentUser = 2,
  rrDynData = 3,
  rrLocalMachine = 4,
  rrUsers = 5,
};

// The index of a predefined root key; Default for any other handle.
int RootFromKey(os::RootKey key, int defaultIndex);
// Sets the object's root; an index outside the table leaves it unchanged.
void SetRegistryRoot(TRegistry& registry, int root);

// Raise EIRCannotWriteValue: "Cannot install into registry. Key: %s Ident: %s Value %s" for strings,
// the key path alone for integers.
void WriteRegString(int root, const std::string& key, const std::string& ident, const std::string& value);
void WriteRegInteger(int root, const std::string& key, const std::string& ident, std::int32_t value);

// The value, or Default when the key or value is missing, unreadable or of another type.
std::string ReadRegString(int root, const std::string& key, const std::string& ident, const std::string& defaultValue);
std::int32_t ReadRegInteger(int root, const std::string& key, const std::string& ident, std::int32_t defaultValue);

// Deletes the key with everything below it; never raises.
void DeleteRegKeyTree(int root, const std::string& key);

// Writes Command under Name in HKEY_LOCAL_MACHINE's RunOnce key, flushed at once. With MakeUnique an
// existing value is kept and Name followed by 1, 2, ... is used instead. False when nothing was written.
bool AddRunOnce(const std::string& name, const std::string& command, bool makeUnique);
