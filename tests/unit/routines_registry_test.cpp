// The registry routines against the registry of the platform: in memory natively, the real one under Wine.
#include <gtest/gtest.h>

#include "support/routines_Registry.h"
#include "support/test_support.h"

namespace {

constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class Registry : public ::testing::Test {
 protected:
  tvktest::ScratchKey scratch{os::kCurrentUser};
  const std::string& key = scratch.Path();

  os::RegKey Raw(const std::string& sub = "") {
    return os::RegKey::Create(os::kCurrentUser, key.substr(1) + (sub.empty() ? "" : "\\" + sub));
  }
};

TEST_F(Registry, RootFromKey) {
  const std::pair<os::RootKey, int> cases[] = {
      {os::kClassesRoot, 0}, {os::kCurrentConfig, 1}, {os::kCurrentUser, 2},     {os::kDynData, 3},
      {os::kLocalMachine, 4}, {os::kUsers, 5},        {os::kPerformanceData, 9}, {0x12345678u, 9},
  };
  for (const auto& [root, index] : cases) EXPECT_EQ(RootFromKey(root, 9), index) << std::hex << root;

  TRegistry registry;
  SetRegistryRoot(registry, rrLocalMachine);
  EXPECT_EQ(registry.RootKey(), os::kLocalMachine);
  SetRegistryRoot(registry, 6);  // outside the table: unchanged
  EXPECT_EQ(registry.RootKey(), os::kLocalMachine);
}

TEST_F(Registry, WriteAndReadBack) {
  WriteRegString(rrCurrentUser, key + "\\Deep\\Er", "Path", "C:\\Quikpost");
  WriteRegInteger(rrCurrentUser, key + "\\Deep\\Er", "Size", -5);
  EXPECT_EQ(ReadRegString(rrCurrentUser, key + "\\Deep\\Er", "Path", "dflt"), "C:\\Quikpost");
  EXPECT_EQ(ReadRegInteger(rrCurrentUser, key + "\\Deep\\Er", "Size", 7), -5);

  auto value = Raw("Deep\\Er").Query("Path");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, os::RegType::String);
  EXPECT_EQ(Raw("Deep\\Er").Query("Size")->type, os::RegType::DWord);
}

TEST_F(Registry, ReadsFallBackToTheDefault) {
  os::RegKey raw = Raw();
  std::int32_t number = 42;
  raw.Set("Number", os::RegType::DWord, &number, sizeof number);
  raw.Set("Empty", os::RegType::String, "", 1);
  raw.Set("Text", os::RegType::String, "12", 3);
  raw.Set("Blob", os::RegType::Binary, "\x01\x02", 2);
  raw.Close();

  struct Case {
    const char* why;
    std::string key;
    const char* ident;
    const char* expected;
  };
  const Case strings[] = {
      {"a number is not a string", key, "Number", "dflt"},
      {"an empty value is empty, not the default", key, "Empty", ""},
      {"a missing value", key, "Missing", "dflt"},
      {"a missing key", key + "\\Nope", "Text", "dflt"},
      {"binary data", key, "Blob", "dflt"},
  };
  for (const auto& c : strings) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ReadRegString(rrCurrentUser, c.key, c.ident, "dflt"), c.expected);
  }
  EXPECT_EQ(ReadRegInteger(rrCurrentUser, key, "Number", -1), 42);
  EXPECT_EQ(ReadRegInteger(rrCurrentUser, key, "Text", -1), -1);
  EXPECT_EQ(ReadRegInteger(rrCurrentUser, key, "Missing", -1), -1);
  EXPECT_EQ(ReadRegInteger(rrCurrentUser, key + "\\Nope", "Number", -1), -1);
}

TEST_F(Registry, WriteFailuresNameTheirValues) {
  // Key names are limited to 255 characters, so this key can never be created.
  const std::string invalid = std::string("\\") + key.substr(1) + "\\" + std::string(300, 'k');
  try {
    WriteRegInteger(rrCurrentUser, invalid, "Count", 1);
    FAIL() << "written";
  } catch (const EIRCannotWriteValue& e) {
    EXPECT_EQ(e.Message(), invalid);
  }
  try {
    WriteRegString(rrCurrentUser, invalid, "Ident", "Value");
    FAIL() << "written";
  } catch (const EIRCannotWriteValue& e) {
    EXPECT_EQ(e.Message(), "Cannot install into registry. Key: " + invalid + " Ident: Ident Value Value");
  }
}

TEST_F(Registry, DeleteRegKeyTree) {
  Raw("Tree\\A\\A1\\A11");
  Raw("Tree\\A\\A2");
  Raw("Tree\\B").Set("v", os::RegType::String, "x", 2);
  DeleteRegKeyTree(rrCurrentUser, key + "\\Tree");
  EXPECT_FALSE(os::RegKey::Open(os::kCurrentUser, key.substr(1) + "\\Tree", os::RegAccess::Read));
  EXPECT_TRUE(os::RegKey::Open(os::kCurrentUser, key.substr(1), os::RegAccess::Read));
  EXPECT_NO_THROW(DeleteRegKeyTree(rrCurrentUser, key + "\\Tree"));  // missing: nothing happens
}

// RunOnce lives in the machine's key; values are made unique per test run and removed afterwards.
class RunOnce : public ::testing::Test {
 protected:
  const std::string name = "TvkTestRunOnce" + std::to_string(static_cast<long long>(os::Now() * 1e7) % 1000000);
  ~RunOnce() override {
    os::RegKey key = os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::All);
    if (!key) return;
    for (const char* suffix : {"", "1", "2", "3"}) key.DeleteValue(name + suffix);
  }
  std::optional<std::string> Value(const std::string& valueName) {
    os::RegKey key = os::RegKey::Open(os::kLocalMachine, kRunOnce, os::RegAccess::Read);
    auto value = key ? key.Query(valueName) : std::nullopt;
    if (!value) return std::nullopt;
    return std::string(value->data.c_str());
  }
};

TEST_F(RunOnce, MakeUniqueTakesTheFirstFreeNumber) {
  ASSERT_TRUE(AddRunOnce(name, "first", false));
  ASSERT_TRUE(AddRunOnce(name + "1", "second", false));
  ASSERT_TRUE(AddRunOnce(name, "third", true));
  EXPECT_EQ(Value(name), "first");
  EXPECT_EQ(Value(name + "1"), "second");
  EXPECT_EQ(Value(name + "2"), "third");

  ASSERT_TRUE(AddRunOnce(name, "overwritten", false));
  EXPECT_EQ(Value(name), "overwritten");
  EXPECT_FALSE(Value(name + "3"));
}

}  // namespace
