#include "os/pe_version.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "os/os.h"

namespace os::pe {

namespace {

constexpr std::uint32_t kVersionType = 16;   // RT_VERSION
constexpr std::uint32_t kVersionName = 1;    // VS_VERSION_INFO
constexpr std::uint32_t kNeutral = 0;
constexpr std::uint32_t kUSEnglish = 0x0409;
// A version block's length is a 16-bit count; nothing past it can ever be queried.
constexpr std::uint64_t kMaxBlock = 0x10000;
constexpr std::uint32_t kHighBit = 0x80000000u;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The image seen through its reader, with every read checked against its size first.
class Image {
 public:
  Image(std::uint64_t size, const ReadAt& read) : size_(size), read_(read) {}

  std::optional<std::vector<std::uint8_t>> Bytes(std::uint64_t offset, std::uint64_t count) const {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    if (count != 0 && !read_(offset, bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
  }

 private:
  std::uint64_t size_;
  const ReadAt& read_;
};

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t rawSize;
  std::uint32_t rawPointer;
};

// Where an address of the loaded image lies in the file: only what a section holds in the file counts,
// as for an image opened as data.
std::optional<std::uint64_t> FileOffset(const std::vector<Section>& sections, std::uint32_t rva) {
  for (const auto& section : sections) {
    if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize) {
      return std::uint64_t(section.rawPointer) + (rva - section.virtualAddress);
    }
  }
  return std::nullopt;
}

struct DirEntry {
  std::uint32_t name;
  std::uint32_t offset;
  bool named() const { return (name & kHighBit) != 0; }
  bool directory() const { return (offset & kHighBit) != 0; }
  std::uint32_t target() const { return offset & ~kHighBit; }
};

// The entries of the resource directory at `offset` (from the start of the resource directory).
std::optional<std::vector<DirEntry>> Directory(const Image& image, std::uint64_t base, std::uint32_t offset) {
  const auto header = image.Bytes(base + offset, 16);
  if (!header) return std::nullopt;
  const std::uint64_t count = std::uint64_t(U16(header->data() + 12)) + U16(header->data() + 14);
  const auto raw = image.Bytes(base + offset + 16, count * 8);  // at most 1 MiB, and only if the file has it
  if (!raw) return std::nullopt;
  std::vector<DirEntry> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < count; ++i) entries.push_back({U32(raw->data() + i * 8), U32(raw->data() + i * 8 + 4)});
  return entries;
}

const DirEntry* FindId(const std::vector<DirEntry>& entries, std::uint32_t id) {
  const auto found = std::find_if(entries.begin(), entries.end(),
                                  [id](const DirEntry& entry) { return !entry.named() && entry.name == id; });
  return found == entries.end() ? nullptr : &*found;
}

// ---------------------------------------------------------------------------------------------------
// Windows-1252, the ANSI code page version.dll answers in here.

constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::uint16_t FromAnsi(unsigned char byte) { return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte; }

char ToAnsi(std::uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  const auto found = std::find(kCp1252High.begin(), kCp1252High.end(), unit);
  return found == kCp1252High.end() ? '?' : static_cast<char>(0x80 + (found - kCp1252High.begin()));
}

std::uint16_t FoldAscii(std::uint16_t unit) { return unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit; }

// ---------------------------------------------------------------------------------------------------
// Version blocks: nodes of {length, value length, type, UTF-16 key, value, children}, each part
// aligned to four bytes from the start of its node.

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t(3); }

struct Node {
  std::size_t start;
  std::size_t end;  // the node's length, cut to what its parent holds
  std::size_t keyStart;
  std::size_t keyChars;
  std::size_t valueStart;
  std::size_t valueBytes;  // as declared; the value itself is cut to the node's end
  std::size_t childStart;
  bool text;
};

// The node at `start`, or nothing when its header or key does not fit below `limit`.
std::optional<Node> ParseNode(std::span<const std::uint8_t> block, std::size_t start, std::size_t limit) {
  if (start > limit || limit - start < 6) return std::nullopt;
  const std::uint8_t* p = block.data() + start;
  const std::size_t length = U16(p);
  Node node{start, start + std::min(length, limit - start), start + 6, 0, 0, 0, 0, U16(p + 4) != 0};
  std::size_t at = node.keyStart;
  while (true) {
    if (at > node.end || node.end - at < 2) return std::nullopt;  // a key without its terminating zero
    if (U16(block.data() + at) == 0) break;
    at += 2;
  }
  node.keyChars = (at - node.keyStart) / 2;
  node.valueStart = start + Align4(6 + 2 * (node.keyChars + 1));
  node.valueBytes = std::size_t(U16(p + 2)) * (node.text ? 2 : 1);
  node.childStart = node.valueStart + Align4(node.valueBytes);
  return node;
}

bool KeyIs(std::span<const std::uint8_t> block, const Node& node, std::string_view key) {
  if (node.keyChars != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (FoldAscii(U16(block.data() + node.keyStart + 2 * i)) !=
        FoldAscii(FromAnsi(static_cast<unsigned char>(key[i])))) {
      return false;
    }
  }
  return true;
}

std::optional<Node> FindChild(std::span<const std::uint8_t> block, const Node& parent, std::string_view key) {
  std::size_t at = parent.childStart;
  while (at < parent.end) {
    const auto child = ParseNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (KeyIs(block, *child, key)) return child;
    const std::size_t length = U16(block.data() + at);
    if (length == 0) return std::nullopt;  // a node that would never end the walk
    at += Align4(length);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadVersionResource(std::uint64_t size, const ReadAt& read) {
  const Image image(size, read);
  const auto dos = image.Bytes(0, 64);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return std::nullopt;
  const std::uint64_t peOffset = U32(dos->data() + 0x3C);
  const auto pe = image.Bytes(peOffset, 24);
  if (!pe || std::memcmp(pe->data(), "PE\0\0", 4) != 0) return std::nullopt;
  const std::uint16_t sectionCount = U16(pe->data() + 6);
  const std::uint16_t optionalSize = U16(pe->data() + 20);

  const auto optional = image.Bytes(peOffset + 24, optionalSize);
  if (!optional || optionalSize < 2) return std::nullopt;
  std::size_t countAt, dirsAt;
  switch (U16(optional->data())) {
    case 0x10B: countAt = 92, dirsAt = 96; break;    // PE32
    case 0x20B: countAt = 108, dirsAt = 112; break;  // PE32+
    default: return std::nullopt;
  }
  constexpr std::size_t kResourceDir = 2;
  if (optionalSize < dirsAt + (kResourceDir + 1) * 8 || U32(optional->data() + countAt) <= kResourceDir) {
    return std::nullopt;
  }
  const std::uint32_t resourceRva = U32(optional->data() + dirsAt + kResourceDir * 8);

  const auto table = image.Bytes(peOffset + 24 + optionalSize, std::uint64_t(sectionCount) * 40);
  if (!table) return std::nullopt;
  std::vector<Section> sections;
  sections.reserve(sectionCount);
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::uint8_t* s = table->data() + i * 40;
    sections.push_back({U32(s + 12), U32(s + 16), U32(s + 20)});
  }

  const auto base = FileOffset(sections, resourceRva);
  if (!base || resourceRva == 0) return std::nullopt;
  const auto types = Directory(image, *base, 0);
  const DirEntry* type = types ? FindId(*types, kVersionType) : nullptr;
  if (!type || !type->directory()) return std::nullopt;
  const auto names = Directory(image, *base, type->target());
  const DirEntry* name = names ? FindId(*names, kVersionName) : nullptr;
  if (!name || !name->directory()) return std::nullopt;
  const auto languages = Directory(image, *base, name->target());
  if (!languages || languages->empty()) return std::nullopt;
  const DirEntry* language = FindId(*languages, kNeutral);
  if (!language) language = FindId(*languages, kUSEnglish);
  if (!language) language = &languages->front();
  if (language->directory()) return std::nullopt;

  const auto entry = image.Bytes(*base + language->target(), 16);
  if (!entry) return std::nullopt;
  const auto dataOffset = FileOffset(sections, U32(entry->data()));
  const std::uint32_t dataSize = U32(entry->data() + 4);
  if (!dataOffset || dataSize == 0) return std::nullopt;
  auto data = image.Bytes(*dataOffset, std::min<std::uint64_t>(dataSize, kMaxBlock));
  // version.dll refuses the 16-bit layout of old NE files (its key starts where the type would be).
  if (data && data->size() >= 6 && (*data)[4] >= ' ' && data->size() >= U16(data->data())) return std::nullopt;
  return data;
}

std::optional<std::vector<std::uint8_t>> ReadVersionResource(const std::string& path) {
  File file = File::Open(path, Access::Read, Share::DenyNone, Disposition::OpenExisting);
  if (!file) return std::nullopt;
  const std::int64_t size = file.Size();
  if (size < 0) return std::nullopt;
  return ReadVersionResource(static_cast<std::uint64_t>(size), [&file](std::uint64_t offset, void* buffer,
                                                                        std::size_t count) {
    return file.Seek(static_cast<std::int64_t>(offset), Origin::Begin) == static_cast<std::int64_t>(offset) &&
           file.Read(buffer, count) == static_cast<std::int64_t>(count);
  });
}

std::optional<std::string> QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock) {
  auto node = ParseNode(block, 0, block.size());
  if (!node || block[4] >= ' ') return std::nullopt;
  for (std::size_t at = 0; at < subBlock.size();) {
    const std::size_t slash = std::min(subBlock.find('\\', at), subBlock.size());
    if (slash > at) {
      node = FindChild(block, *node, std::string_view(subBlock).substr(at, slash - at));
      if (!node) return std::nullopt;
    }
    at = slash + 1;
  }

  const std::size_t begin = std::min(node->valueStart, node->end);
  const std::size_t end = begin + std::min(node->valueBytes, node->end - begin);
  if (!node->text) return std::string(block.begin() + begin, block.begin() + end);
  std::string text;
  for (std::size_t at = begin; end - at >= 2; at += 2) text += ToAnsi(U16(block.data() + at));
  return text;
}

}  // namespace os::pe
