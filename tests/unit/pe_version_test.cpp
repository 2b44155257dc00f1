// The PE version reader on hostile input: images and version blocks built here, then broken one field
// at a time, cut short at every length and mutated at random. Under the sanitizers any read out of
// bounds fails the test even where the answer looks right.
#include "os/pe_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

std::optional<Bytes> Read(const Bytes& image) {
  return os::pe::ReadVersionResource(image.size(), [&](std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > image.size() || count > image.size() - offset) {
      ADD_FAILURE() << "asked to read past the end";
      return false;
    }
    std::memcpy(buffer, image.data() + offset, count);
    return true;
  });
}

// ---------------------------------------------------------------------------------------------------
// Version blocks

Bytes Utf16(const std::u16string& text) {
  Bytes bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {std::uint8_t(c), std::uint8_t(c >> 8)});
  return bytes;
}

struct Node {
  std::u16string key;
  Bytes value;
  bool text = false;
  std::vector<Node> children = {};
  int length = -1;       // the declared length when not -1
  int valueLength = -1;  // likewise
};

Bytes Build(const Node& node) {
  Bytes out(6);
  const Bytes key = Utf16(node.key + u'\0');
  out.insert(out.end(), key.begin(), key.end());
  out.resize((out.size() + 3) & ~std::size_t(3));
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    out.resize((out.size() + 3) & ~std::size_t(3));
    const Bytes bytes = Build(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  Put16(out, 0, node.length >= 0 ? unsigned(node.length) : unsigned(out.size()));
  Put16(out, 2, node.valueLength >= 0 ? unsigned(node.valueLength)
                                       : unsigned(node.text ? node.value.size() / 2 : node.value.size()));
  Put16(out, 4, node.text ? 1 : 0);
  return out;
}

Node Text(std::u16string key, const std::u16string& value) { return {std::move(key), Utf16(value + u'\0'), true}; }

Node Block(std::vector<Node> strings) {
  Bytes fixed(52);
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 8, 0x00010002);
  return {u"VS_VERSION_INFO", fixed, false,
          {{u"StringFileInfo", {}, true, {{u"040904E4", {}, true, std::move(strings)}}},
           {u"VarFileInfo", {}, true, {{u"Translation", {0x09, 0x04, 0xE4, 0x04}}}}}};
}

const std::string kCompany = "\\StringFileInfo\\040904E4\\CompanyName";

std::optional<std::string> Query(const Bytes& block, const std::string& path) {
  return os::pe::QueryVersionValue(block, path);
}

TEST(PeVersionBlock, QueriesFollowTheLayout) {
  const Bytes block = Build(Block({Text(u"CompanyName", u"Acme"), Text(u"ProductName", u"\u20AC \u2713 \u00E9")}));
  EXPECT_EQ(Query(block, kCompany), std::string("Acme\0", 5));
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\ProductName"), std::string("\x80 ? \xE9\0", 6));
  EXPECT_EQ(Query(block, "\\VarFileInfo\\Translation"), std::string("\x09\x04\xE4\x04", 4));
  EXPECT_EQ(Query(block, "\\")->size(), 52u);
  EXPECT_EQ(Query(block, ""), Query(block, "\\"));
  EXPECT_EQ(Query(block, "\\StringFileInfo"), "");
  EXPECT_FALSE(Query(block, kCompany + "\\More"));
  EXPECT_FALSE(Query(block, "\\StringFileInfo\\040904E4\\Company"));
  EXPECT_FALSE(Query(block, "\\StringFileInfo\\040904E4\\CompanyNames"));
}

TEST(PeVersionBlock, BrokenBlocksAreReadWithinTheirBounds) {
  const struct {
    const char* why;
    std::function<Bytes()> make;
    std::optional<std::string> company;
  } rows[] = {
      {"a text declaring more than its node holds is cut at the node's end",
       [] { Node n = Text(u"CompanyName", u"Acme"); n.valueLength = 4000; return Build(Block({n})); },
       std::string("Acme\0", 5)},
      {"a text without its zero",
       [] { Node n{u"CompanyName", Utf16(u"Acme"), true}; return Build(Block({n})); }, "Acme"},
      {"a node claiming more than its parent holds is cut at the parent's end",
       [] {
         Node n = Text(u"CompanyName", u"Acme");
         n.length = 0xFFFF;
         n.valueLength = 0xFFFF;
         Bytes b = Build(Block({n}));
         return b;
       },
       std::string("Acme\0", 5)},
      {"a node of length zero ends the search without looping",
       [] { Node z = Text(u"Zero", u"z"); z.length = 0; return Build(Block({z, Text(u"CompanyName", u"Acme")})); },
       std::nullopt},
      {"a node shorter than its own header ends the search",
       [] { Node n = Text(u"CompanyName", u"Acme"); n.length = 3; return Build(Block({n})); }, std::nullopt},
      {"a key without its zero ends the search",
       [] {
         const Node strings{u"StringFileInfo", {}, true, {{u"040904E4", {}, true, {Text(u"CompanyName", u"Acme")}}}};
         Bytes b = Build({u"VS_VERSION_INFO", {}, false, {strings}});
         b.resize(b.size() - 14);  // the value, its padding and the key's zero
         Put16(b, 0, unsigned(b.size()));
         return b;
       },
       std::nullopt},
      {"a root longer than the block is read as far as the block goes",
       [] {
         Bytes b = Build(Block({Text(u"CompanyName", u"Acme")}));
         Put16(b, 0, 0xFFFF);
         return b;
       },
       std::string("Acme\0", 5)},
      {"the old 16-bit layout is not read", [] { Bytes b = Build(Block({Text(u"CompanyName", u"Acme")}));
         b[4] = 'V';
         return b; },
       std::nullopt},
      {"five bytes are no block", [] { return Bytes{6, 0, 0, 0, 0}; }, std::nullopt},
      {"nothing is no block", [] { return Bytes{}; }, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    const Bytes block = row.make();
    EXPECT_EQ(Query(block, kCompany), row.company);
  }
}

// ---------------------------------------------------------------------------------------------------
// Images: a DOS stub header, PE headers, one resource section holding type 16, name 1, and one data
// entry per language.

struct Image {
  Bytes bytes;
  std::size_t optionalAt = 88;
  std::size_t sectionAt;
  std::size_t resourcesAt = 0x200;
  std::size_t blockAt;  // the first language's block
};

Image MakeImage(const std::vector<std::pair<std::uint16_t, Bytes>>& languages, bool pe64 = false,
                std::uint32_t name = 1) {
  Image image;
  const std::size_t optionalSize = pe64 ? 240 : 224;
  image.sectionAt = image.optionalAt + optionalSize;
  Bytes& b = image.bytes;
  b.resize(image.resourcesAt + 0x48 + languages.size() * 16);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, 64);
  std::memcpy(&b[64], "PE\0\0", 4);
  Put16(b, 68, 0x14C);
  Put16(b, 70, 1);
  Put16(b, 84, unsigned(optionalSize));
  Put16(b, image.optionalAt, pe64 ? 0x20B : 0x10B);
  const std::size_t dirs = image.optionalAt + (pe64 ? 112 : 96);
  Put32(b, image.optionalAt + (pe64 ? 108 : 92), 16);
  Put32(b, dirs + 16, 0x1000);

  const std::size_t r = image.resourcesAt;
  Put16(b, r + 14, 1);
  Put32(b, r + 16, 16), Put32(b, r + 20, 0x80000018);
  Put16(b, r + 0x18 + 14, 1);
  Put32(b, r + 0x28, name), Put32(b, r + 0x2C, 0x80000030);
  Put16(b, r + 0x30 + 14, std::uint16_t(languages.size()));
  const std::size_t entries = 0x40 + languages.size() * 8;  // the data entries follow the language entries
  for (std::size_t i = 0; i < languages.size(); ++i) {
    Put32(b, r + 0x40 + i * 8, languages[i].first);
    Put32(b, r + 0x44 + i * 8, std::uint32_t(entries + i * 16));
  }
  b.resize(r + entries + languages.size() * 16);
  for (std::size_t i = 0; i < languages.size(); ++i) {
    const std::size_t at = b.size();
    if (i == 0) image.blockAt = at;
    Put32(b, r + entries + i * 16, std::uint32_t(0x1000 + at - r));
    Put32(b, r + entries + i * 16 + 4, std::uint32_t(languages[i].second.size()));
    b.insert(b.end(), languages[i].second.begin(), languages[i].second.end());
  }
  Put32(b, dirs + 20, std::uint32_t(b.size() - r));
  Put32(b, image.sectionAt + 8, std::uint32_t(b.size() - r));
  Put32(b, image.sectionAt + 12, 0x1000);
  Put32(b, image.sectionAt + 16, std::uint32_t(b.size() - r));
  Put32(b, image.sectionAt + 20, std::uint32_t(r));
  return image;
}

const Bytes kBlock = Build(Block({Text(u"CompanyName", u"Acme")}));

TEST(PeVersionImage, FindsTheResourceTheSystemWould) {
  const Bytes german = Build(Block({Text(u"CompanyName", u"Deutsch")}));
  const Bytes neutral = Build(Block({Text(u"CompanyName", u"Neutral")}));
  const struct {
    const char* why;
    Image image;
    std::optional<Bytes> expected;
  } rows[] = {
      {"one language", MakeImage({{0x409, kBlock}}), kBlock},
      {"PE32+", MakeImage({{0x409, kBlock}}, true), kBlock},
      {"the neutral language first", MakeImage({{0x407, german}, {0, neutral}, {0x409, kBlock}}), neutral},
      {"then US English", MakeImage({{0x407, german}, {0x409, kBlock}}), kBlock},
      {"then the first", MakeImage({{0x407, german}, {0x40C, kBlock}}), german},
      {"only under name 1", MakeImage({{0x409, kBlock}}, false, 2), std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(Read(row.image.bytes), row.expected);
  }
}

TEST(PeVersionImage, BrokenHeadersGiveNoResource) {
  const Image good = MakeImage({{0x409, kBlock}});
  const std::size_t r = good.resourcesAt;
  const std::size_t dirs = good.optionalAt + 96;
  const std::size_t dataEntry = r + 0x48;
  const struct {
    const char* why;
    std::function<void(Bytes&)> breakIt;
  } rows[] = {
      {"no MZ", [](Bytes& b) { b[1] = 'X'; }},
      {"PE header offset far past the end", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0); }},
      {"PE header offset in the last bytes", [](Bytes& b) { Put32(b, 0x3C, std::uint32_t(b.size() - 10)); }},
      {"no PE signature", [](Bytes& b) { b[66] = 'X'; }},
      {"optional header larger than the file", [](Bytes& b) { Put16(b, 84, 0xFFFF); }},
      {"optional header too small for the resource directory", [](Bytes& b) { Put16(b, 84, 100); }},
      {"unknown optional header", [&](Bytes& b) { Put16(b, good.optionalAt, 0x107); }},
      {"too few data directories", [&](Bytes& b) { Put32(b, good.optionalAt + 92, 2); }},
      {"section count beyond the file", [](Bytes& b) { Put16(b, 70, 0xFFFF); }},
      {"no sections", [](Bytes& b) { Put16(b, 70, 0); }},
      {"resource address outside every section", [&](Bytes& b) { Put32(b, dirs + 16, 0x9000); }},
      {"section data past the end of the file", [&](Bytes& b) { Put32(b, good.sectionAt + 20, 0xFFFFFF00); }},
      {"directory entry counts beyond the file", [&](Bytes& b) { Put16(b, r + 12, 0xFFFF), Put16(b, r + 14, 0xFFFF); }},
      {"directory offset past the end", [&](Bytes& b) { Put32(b, r + 20, 0xFFFFFFF0); }},
      {"type entry that is no directory", [&](Bytes& b) { Put32(b, r + 20, 0x18); }},
      {"no version type", [&](Bytes& b) { Put32(b, r + 16, 6); }},
      {"a named type is not type 16", [&](Bytes& b) { Put32(b, r + 16, 0x80000010); }},
      {"language entry that is a directory", [&](Bytes& b) { Put32(b, r + 0x44, 0x80000000 | 0x48); }},
      {"no languages", [&](Bytes& b) { Put16(b, r + 0x30 + 14, 0); }},
      {"data size beyond the file", [&](Bytes& b) { Put32(b, dataEntry + 4, 0x7FFFFFFF); }},
      {"data address outside every section", [&](Bytes& b) { Put32(b, dataEntry, 0x100); }},
      {"no data", [&](Bytes& b) { Put32(b, dataEntry + 4, 0); }},
  };
  ASSERT_EQ(Read(good.bytes), kBlock);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    Bytes bytes = good.bytes;
    row.breakIt(bytes);
    EXPECT_EQ(Read(bytes), std::nullopt);
  }
}

TEST(PeVersionImage, AHugeResourceIsReadOnlyAsFarAsABlockReaches) {
  Bytes huge(200000, 0x11);
  const Bytes block = Build(Block({Text(u"CompanyName", u"Acme")}));
  std::copy(block.begin(), block.end(), huge.begin());
  const auto read = Read(MakeImage({{0x409, huge}}).bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->size(), 0x10000u);
  EXPECT_EQ(Query(*read, kCompany), std::string("Acme\0", 5));
}

TEST(PeVersionImage, CutShortAtEveryLength) {
  const Image image = MakeImage({{0x409, kBlock}});
  const std::size_t whole = image.blockAt + kBlock.size();
  ASSERT_EQ(whole, image.bytes.size());
  for (std::size_t length = 0; length <= image.bytes.size(); ++length) {
    const Bytes cut(image.bytes.begin(), image.bytes.begin() + std::ptrdiff_t(length));
    const auto read = Read(cut);
    EXPECT_EQ(read.has_value(), length == whole) << "length " << length;
  }
}

TEST(PeVersionImage, RandomDamageStaysInBounds) {
  const unsigned seed = 20240611;
  std::mt19937 random(seed);
  const Image image = MakeImage({{0x407, Build(Block({Text(u"CompanyName", u"Deutsch")}))}, {0x409, kBlock}});
  std::size_t found = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes = image.bytes;
    const int flips = 1 + int(random() % 4);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = std::uint8_t(random());
    const auto read = Read(bytes);
    if (!read) continue;
    ++found;
    ASSERT_LE(read->size(), 0x10000u) << "seed " << seed << " round " << round;
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                             "\\StringFileInfo\\040904e4", "\\a\\b\\c"}) {
      os::pe::QueryVersionValue(*read, path);
    }
  }
  EXPECT_GT(found, 0u) << "seed " << seed;  // the damage left some images readable, so queries ran too
}

}  // namespace
