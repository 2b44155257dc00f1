// Where a self-extractor's record is found: at the end of an unsigned file, just before the certificate
// table a signed one's security directory names (after at most 7 zeros of alignment), nowhere else.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/types_Distribution.h"

namespace {

constexpr std::uint32_t kPe = 0x80;

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(value >> (8 * i));
}

// A file as the build makes it: a program's headers (32-bit or 64-bit), setup.1's stand-in, the record.
std::string SelfExtractor(bool wide) {
  std::string bytes(0x400, '\0');
  bytes[0] = 'M', bytes[1] = 'Z';
  Put32(bytes, 0x3C, kPe);
  std::memcpy(&bytes[kPe], "PE\0\0", 4);
  bytes[kPe + 24] = 0x0B, bytes[kPe + 25] = wide ? 2 : 1;
  Put32(bytes, kPe + 24 + (wide ? 108 : 92), 16);  // the data directories' count
  bytes += std::string(3000, 'x');
  unsigned char record[TVK_RECORD_SIZE];
  const TvkExtractionRecord ranges{0x400, 0x400 + 1999, 0x400 + 2000, 0x400 + 2999};
  TvkWriteExtractionRecord(&ranges, record);
  return bytes + std::string(reinterpret_cast<const char*>(record), sizeof record);
}

// Appends a certificate table after Padding, named by the security directory.
std::string Signed(std::string bytes, bool wide, const std::string& padding) {
  bytes += padding;
  Put32(bytes, kPe + 24 + (wide ? 144 : 128), std::uint32_t(bytes.size()));
  Put32(bytes, kPe + 24 + (wide ? 148 : 132), 16);
  return bytes + std::string(16, '\x30');
}

bool Find(const std::string& bytes, TvkExtractionRecord& record) {
  auto read = [](void* context, std::uint64_t position, void* buffer, std::uint32_t count) -> int {
    const std::string& file = *static_cast<const std::string*>(context);
    if (position > file.size() || count > file.size() - position) return 0;
    std::memcpy(buffer, file.data() + position, count);
    return 1;
  };
  return TvkFindExtractionRecord(read, const_cast<std::string*>(&bytes), bytes.size(), &record) != 0;
}

TEST(DistributionRecord, FoundAtTheEndOrBeforeTheSignatureAndNowhereElse) {
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "64-bit" : "32-bit");
    const std::string plain = SelfExtractor(wide);
    std::string tableBeyondTheEnd = Signed(plain, wide, "");
    Put32(tableBeyondTheEnd, kPe + 24 + (wide ? 144 : 128), std::uint32_t(tableBeyondTheEnd.size() + 8));
    std::string noPe = plain;
    Put32(noPe, 0x3C, 0x7FFFFFF0);
    const struct {
      const char* why;
      std::string bytes;
      bool found;
    } cases[] = {
        {"unsigned", plain, true},
        {"signed without alignment", Signed(plain, wide, ""), true},
        {"signed after one zero", Signed(plain, wide, std::string(1, '\0')), true},
        {"signed after seven zeros", Signed(plain, wide, std::string(7, '\0')), true},
        {"eight zeros are more than alignment", Signed(plain, wide, std::string(8, '\0')), false},
        {"something else before the table", Signed(plain, wide, std::string("\0\0x", 3)), false},
        {"a table beyond the end", tableBeyondTheEnd, false},
        {"unsigned with bytes after the record", plain + "x", false},
        {"no PE headers, the record at the end", noPe, true},
        {"shorter than a record", plain.substr(plain.size() - TVK_RECORD_SIZE + 1), false},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.why);
      TvkExtractionRecord record{};
      EXPECT_EQ(Find(c.bytes, record), c.found);
      if (c.found) {
        EXPECT_EQ(record.filesEnd, 0x400 + 2999);
      }
    }
  }
}

}  // namespace
