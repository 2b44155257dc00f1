// A reader of version resources in Windows executables and libraries (PE images), giving the answers
// of version.dll: the native build reads version resources through it, and under Wine a test holds its
// answers against the real ones.
//
// Nothing read from the file is trusted: every offset, count and length is checked against what the
// file or block can hold before it is used, so any input ends in an answer or "none" in time and memory
// bounded by the size of the file's headers and of the one resource it reads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace os::pe {

// Reads `count` bytes at `offset` into `buffer`; false when they are not all there.
using ReadAt = std::function<bool(std::uint64_t offset, void* buffer, std::size_t count)>;

// The version resource (type 16, name 1) of an image of `size` bytes, as GetFileVersionInfo finds it:
// the neutral language first, then US English, then the first language present. Nothing when the
// image is not a PE file, has no such resource, or its headers do not hold together.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(std::uint64_t size, const ReadAt& read);
// The same for a file, opened for reading and shared with every other user.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(const std::string& path);

// The value at `subBlock` of a version block, as VerQueryValueA answers it: "\" names the fixed file
// information, "\VarFileInfo\Translation" the translation table, "\StringFileInfo\040904E4\CompanyName"
// a string. Keys compare without regard to ASCII case; empty parts of the path are skipped. A text value
// comes back in the ANSI code page (Windows-1252; what it cannot show becomes "?"), as many characters as
// it declares (its terminating zero too when it counts it, none when it has none); any other value as
// its raw bytes. A value is cut where its node ends. Nothing when the path is not in the block.
std::optional<std::string> QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock);

}  // namespace os::pe
