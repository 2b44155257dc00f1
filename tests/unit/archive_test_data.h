// Test data for the archive tests: reproducible bytes and small archives on disk.
#pragma once

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/cmp_TTvlkCompress.h"
#include "support/test_support.h"

namespace archivetest {

inline constexpr std::uint32_t kSeed = 20240917;  // printed by the tests that use it

// Text-like bytes (compressible) mixed with noise, the same for the same seed and size.
inline std::string SampleBytes(std::size_t size, std::uint32_t seed = kSeed) {
  std::mt19937 random(seed);
  static const char* const words[] = {"alpha ", "bravo ", "charlie ", "delta\r\n", "echo ", "foxtrot "};
  std::string data;
  data.reserve(size + 16);
  while (data.size() < size) {
    if (random() % 4 == 0) data.push_back(char(random()));
    else data += words[random() % 6];
  }
  data.resize(size);
  return data;
}

inline std::string RandomBytes(std::size_t size, std::uint32_t seed = kSeed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = char(random());
  return data;
}

inline std::string ToHostBytes(const std::vector<char>& data) { return std::string(data.begin(), data.end()); }

// Adds Files (full names) to Archive with the engine, as one add.
inline void AddFiles(TTvlkCompress& engine, const std::string& archive, const std::vector<std::string>& files,
                     TlzhCommand command = lzcOverwrite, std::int32_t fileId = 0) {
  engine.SetCompressedFile(archive);
  TStringList list;
  for (const auto& f : files) list.Add(f);
  engine.SetFilesToProcess(list);
  engine.Add(command, fileId);
}

inline void ExtractFiles(TTvlkCompress& engine, const std::string& archive, const std::string& dir,
                         const std::vector<std::string>& names) {
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory(dir);
  TStringList list;
  for (const auto& n : names) list.Add(n);
  engine.SetFilesToProcess(list);
  engine.Extract();
}

inline std::int32_t GetInt32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(std::uint8_t(bytes.at(at + i))) << (8 * i);
  return std::int32_t(v);
}

inline void PutInt32(std::string& bytes, std::size_t at, std::int32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = char(std::uint32_t(value) >> (8 * i));
}

// Every file below Path, by its path relative to Path.
inline std::set<std::string> Tree(const std::string& path, const std::string& prefix = "") {
  std::set<std::string> names;
  for (const os::FindData& entry : os::FindFiles(path + "\\*")) {
    if (entry.directory) names.merge(Tree(path + "\\" + entry.name, prefix + entry.name + "\\"));
    else names.insert(prefix + entry.name);
  }
  return names;
}

// Dir\named.tvk: an archive of one entry (the bytes "payload") whose stored name is Name.
inline std::string ArchiveNamed(const tvktest::ScratchDir& dir, const std::string& name) {
  tvktest::WriteFile(dir / "payload.txt", "payload");
  TTvlkCompress engine(nullptr);
  AddFiles(engine, dir / "a.tvk", {dir / "payload.txt"});
  std::string bytes = tvktest::ReadFile(dir / "a.tvk");
  bytes[5 + 20] = char(name.size());
  bytes.replace(5 + 21, 100, name + std::string(100 - name.size(), '\0'));
  tvktest::WriteFile(dir / "named.tvk", bytes);
  os::DeleteFile(dir / "a.tvk");
  os::DeleteFile(dir / "payload.txt");
  return dir / "named.tvk";
}

// Runs Body and gives the message of the Exception it raises ("" when it raises none).
template <class Body>
std::string MessageOf(Body body) {
  try {
    body();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

}  // namespace archivetest
