#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/routines_Compression.h"
#include "archive_test_data.h"

namespace {

using archivetest::MessageOf;

std::string Deflate(const std::string& data, TCompressionLevel level, int* progressCalls = nullptr) {
  TMemoryStream target;
  TCompressionStream zip(level, target);
  if (progressCalls != nullptr) zip.OnProgress = [&](TObject*) { ++*progressCalls; };
  zip.Write(data.data(), std::int64_t(data.size()));
  zip.Finish();
  return archivetest::ToHostBytes(target.Data());
}

std::string Inflate(const std::string& stream, std::size_t size) {
  std::string out(size, '\0');
  uLongf length = uLongf(size);
  int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                          reinterpret_cast<const Bytef*>(stream.data()), uLong(stream.size()));
  EXPECT_EQ(result, Z_OK);
  out.resize(length);
  return out;
}

TEST(Compression, RoundTripsAtEdgeSizesAndEveryLevel) {
  std::cout << "seed " << archivetest::kSeed << "\n";
  for (std::size_t size : {0, 1, 4095, 4096, 4097, 8192, 65535, 65536, 65537}) {
    const std::string data = archivetest::SampleBytes(size);
    for (TCompressionLevel level : {colNone, colFastest, colDefault, colMax}) {
      SCOPED_TRACE("size " + std::to_string(size) + " level " + std::to_string(int(level)));
      const std::string stream = Deflate(data, level);
      EXPECT_EQ(Inflate(stream, size), data);

      // The same bytes zlib's own one-shot compressor makes: the archive does not depend on the build.
      // (Stored blocks are cut where the buffers end, so only the compressing levels are compared.)
      if (level == colNone) continue;
      uLongf bound = compressBound(uLong(size));
      std::string reference(bound, '\0');
      ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(reference.data()), &bound,
                          reinterpret_cast<const Bytef*>(data.data()), uLong(size), ZlibLevel(level)),
                Z_OK);
      reference.resize(bound);
      EXPECT_TRUE(stream == reference);
    }
  }
}

TEST(Compression, EmptyAndStoredStreams) {
  // Header for level 9, an empty final block, Adler-32 of nothing (1).
  EXPECT_EQ(Deflate("", colMax), std::string("\x78\xda\x03\x00\x00\x00\x00\x01", 8));
  const std::string noise = archivetest::RandomBytes(100000);
  EXPECT_GT(Deflate(noise, colNone).size(), noise.size() + 6);
}

TEST(Compression, ProgressOncePerFullBufferOnly) {
  // Stored blocks: 200000 bytes of input leave as just over 200000 bytes, three full buffers.
  int calls = 0;
  std::string stream = Deflate(archivetest::RandomBytes(200000), colNone, &calls);
  EXPECT_EQ(calls, 3);
  EXPECT_GT(stream.size(), 3u * 65536u);

  calls = 0;
  Deflate(archivetest::SampleBytes(1000), colMax, &calls);
  EXPECT_EQ(calls, 0);
}

TEST(Compression, OnlyWritingAndAskingThePositionAreAllowed) {
  TMemoryStream target;
  TCompressionStream zip(colDefault, target);
  std::string data(100, 'x');
  zip.Write(data.data(), 100);
  EXPECT_EQ(zip.Seek(0, TSeekOrigin::soCurrent), 100);
  EXPECT_EQ(zip.Position(), 100);
  char byte;
  EXPECT_EQ(MessageOf([&] { zip.Seek(0, TSeekOrigin::soBeginning); }), "Invalid stream operation");
  EXPECT_EQ(MessageOf([&] { zip.Seek(1, TSeekOrigin::soCurrent); }), "Invalid stream operation");
  EXPECT_EQ(MessageOf([&] { zip.Read(&byte, 1); }), "Invalid stream operation");
  zip.Finish();
  EXPECT_EQ(MessageOf([&] { zip.Write(data.data(), 1); }), "Invalid stream operation");
}

TEST(Compression, WritesResumeWhereTheAdapterLeftTheTarget) {
  // Something else moving the target between writes must not tear the zlib stream apart.
  TMemoryStream target;
  target.Write("HEAD", 4);
  TCompressionStream zip(colMax, target);
  const std::string data = archivetest::RandomBytes(70000);
  zip.Write(data.data(), 35000);
  target.SetPosition(0);
  zip.Write(data.data() + 35000, 35000);
  target.SetPosition(1);
  zip.Finish();
  const std::string all = archivetest::ToHostBytes(target.Data());
  EXPECT_EQ(all.substr(0, 4), "HEAD");
  EXPECT_EQ(Inflate(all.substr(4), data.size()), data);
}

TEST(Compression, ErrorCheckAndAllocator) {
  EXPECT_EQ(CCheck(Z_OK), Z_OK);
  EXPECT_EQ(CCheck(Z_STREAM_END), Z_STREAM_END);
  EXPECT_EQ(MessageOf([] { CCheck(Z_DATA_ERROR); }), "error");
  void* block = zlibAllocMem(nullptr, 3, 5);
  EXPECT_NE(block, nullptr);
  zlibFreeMem(nullptr, block);
  EXPECT_EQ(ZlibLevel(colNone), 0);
  EXPECT_EQ(ZlibLevel(colFastest), 1);
  EXPECT_EQ(ZlibLevel(colDefault), -1);
  EXPECT_EQ(ZlibLevel(colMax), 9);
}

}  // namespace
