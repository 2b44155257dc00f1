#include "archive/routines_Compression.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>

namespace {

[[noreturn]] void InvalidOperation() { throw Exception("Invalid stream operation"); }

void InstallAllocator(z_stream& stream, alloc_func alloc = zlibAllocMem, free_func release = zlibFreeMem) {
  stream.zalloc = alloc;
  stream.zfree = release;
  stream.opaque = nullptr;
}

// Items × Size; nothing when that does not fit a size_t.
std::optional<std::size_t> BlockSize(unsigned items, unsigned size) {
  if (size != 0 && items > std::numeric_limits<std::size_t>::max() / size) return std::nullopt;
  return std::size_t(items) * size;
}

// The inflater's memory starts on 4 KB boundaries (see TZlibInflater).
constexpr std::align_val_t kPage{4096};

void* PageAlloc(void* /*opaque*/, unsigned items, unsigned size) {
  const auto bytes = BlockSize(items, size);
  return bytes ? ::operator new(*bytes, kPage, std::nothrow) : nullptr;
}

void PageFree(void* /*opaque*/, void* block) { ::operator delete(block, kPage); }

}  // namespace

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case colNone: return 0;
    case colFastest: return 1;
    case colDefault: return Z_DEFAULT_COMPRESSION;
    case colMax: return 9;
  }
  return Z_DEFAULT_COMPRESSION;
}

int CCheck(int code) {
  if (code < 0) throw Exception("error");
  return code;
}

void* zlibAllocMem(void* /*opaque*/, unsigned items, unsigned size) {
  const auto bytes = BlockSize(items, size);
  return bytes ? std::malloc(*bytes) : nullptr;
}

void zlibFreeMem(void* /*opaque*/, void* block) { std::free(block); }

TCustomZlibStream::TCustomZlibStream(TStream& target)
    : target_(target), targetPosition_(target.Position()), buffer_(kBufferSize) {
  InstallAllocator(zstream_);
}

void TCustomZlibStream::Progress(TObject* sender) {
  if (OnProgress) OnProgress(sender);
}

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& target) : TCustomZlibStream(target) {
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = kBufferSize;
  CCheck(deflateInit_(&zstream_, ZlibLevel(level), kZlibInterfaceVersion, int(sizeof(z_stream))));
}

TCompressionStream::~TCompressionStream() { deflateEnd(&zstream_); }

void TCompressionStream::WriteBufferToTarget(std::size_t count) {
  target_.WriteBuffer(buffer_.data(), std::int64_t(count));
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = kBufferSize;
  targetPosition_ = target_.Position();
}

std::int64_t TCompressionStream::Write(const void* buffer, std::int64_t count) {
  if (finished_) InvalidOperation();
  if (count <= 0) return 0;
  if (target_.Position() != targetPosition_) target_.SetPosition(targetPosition_);
  // zlib counts input in 32 bits; feed larger writes in pieces.
  const auto* next = static_cast<const Bytef*>(buffer);
  std::int64_t left = count;
  while (left > 0) {
    const uInt piece = uInt(std::min<std::int64_t>(left, 1 << 30));
    zstream_.next_in = const_cast<Bytef*>(next);
    zstream_.avail_in = piece;
    while (zstream_.avail_in > 0) {
      CCheck(deflate(&zstream_, Z_NO_FLUSH));
      if (zstream_.avail_out == 0) {
        WriteBufferToTarget(kBufferSize);
        Progress(this);
      }
    }
    next += piece;
    left -= piece;
  }
  return count;
}

std::int64_t TCompressionStream::Read(void*, std::int64_t) { InvalidOperation(); }

std::int64_t TCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::soCurrent) InvalidOperation();
  return std::int64_t(zstream_.total_in);
}

void TCompressionStream::SetSize(std::int64_t) { InvalidOperation(); }

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  zstream_.next_in = nullptr;
  zstream_.avail_in = 0;
  if (target_.Position() != targetPosition_) target_.SetPosition(targetPosition_);
  int result;
  do {
    result = CCheck(deflate(&zstream_, Z_FINISH));
    if (zstream_.avail_out == 0) WriteBufferToTarget(kBufferSize);
  } while (result != Z_STREAM_END);
  if (zstream_.avail_out < unsigned(kBufferSize)) WriteBufferToTarget(kBufferSize - zstream_.avail_out);
}

void TZlibInflater::PageDelete::operator()(Bytef* block) const { ::operator delete(block, kPage); }

TZlibInflater::TZlibInflater(std::size_t outputSize)
    : outputSize_(outputSize),
      output_(static_cast<Bytef*>(::operator new(kOutputPlacement + outputSize, kPage))) {
  InstallAllocator(zstream_, PageAlloc, PageFree);
  CCheck(inflateInit_(&zstream_, kZlibInterfaceVersion, int(sizeof(z_stream))));
}

TZlibInflater::~TZlibInflater() { inflateEnd(&zstream_); }

void TZlibInflater::Reset() { CCheck(inflateReset(&zstream_)); }

int TZlibInflater::Inflate() {
  int result = inflate(&zstream_, Z_NO_FLUSH);
  if (result == Z_DATA_ERROR || result == Z_BUF_ERROR) return result;
  return CCheck(result);
}
