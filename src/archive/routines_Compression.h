// The deflate stream adapter over zlib, the kit's compression levels, and the few zlib conventions the
// archive engine's own inflate loop shares with it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

#include "classlib/Classes.h"
#include "classlib/Streams.h"

enum TCompressionLevel : std::uint8_t { colNone, colFastest, colDefault, colMax };

// The zlib level of a kit level: 0, 1, -1 (zlib's default, 6) and 9.
int ZlibLevel(TCompressionLevel level);

// Returns Code when it is not negative; otherwise raises Exception "error".
int CCheck(int code);

// zlib's memory callbacks over the program's heap. Allocation answers null when it cannot (zlib then
// reports Z_MEM_ERROR); it never throws through zlib's C frames.
void* zlibAllocMem(void* opaque, unsigned items, unsigned size);
void zlibFreeMem(void* opaque, void* block);

// The interface version handed to zlib's init functions; zlib checks only its first digit.
inline constexpr const char* kZlibInterfaceVersion = "1.0.4";

// A write-only or read-only stream over a zlib stream record that moves bytes to or from a target stream.
class TCustomZlibStream : public TStream {
 public:
  static constexpr int kBufferSize = 65536;

  // Target is not owned and must outlive the adapter.
  explicit TCustomZlibStream(TStream& target);
  std::string ClassName() const override { return "TCustomZlibStream"; }

  TNotifyEvent OnProgress;

 protected:
  virtual void Progress(TObject* sender);

  TStream& target_;
  std::int64_t targetPosition_;
  z_stream zstream_{};
  std::vector<Bytef> buffer_;
};

// Deflates whatever is written into it and passes the zlib stream on to Target.
//
// Finish must be called once all data is written: it flushes the end of the zlib stream (header,
// deflate data and Adler-32 trailer are complete only then). The destructor only releases zlib's state,
// so an adapter abandoned after an error leaves Target with an incomplete stream and throws nothing.
class TCompressionStream : public TCustomZlibStream {
 public:
  // Throws Exception "error" when zlib refuses to start.
  TCompressionStream(TCompressionLevel level, TStream& target);
  ~TCompressionStream() override;
  std::string ClassName() const override { return "TCompressionStream"; }

  // Count, or the target's write error; a zlib failure raises Exception "error". Progress runs once per
  // full 65536-byte buffer passed on to Target.
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // Always Exception "Invalid stream operation".
  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Only (0, soCurrent), giving the number of bytes written so far; anything else raises
  // Exception "Invalid stream operation".
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;

  // Ends the zlib stream and writes its remaining bytes to Target (no Progress call). Further writes
  // are invalid.
  void Finish();

 private:
  void WriteBufferToTarget(std::size_t count);
  bool finished_ = false;
};

// One inflate run, for the archive engine's decompression loop: the stream record is initialised on
// construction and ended on destruction. The caller moves next_in/avail_in/next_out/avail_out itself.
//
// The inflater also owns the buffer its output goes to, placed against zlib's window: zlib copies the last
// 32 KB of every call's output into the window, and a copy between addresses a few bytes past a multiple
// of 4 KB apart makes every load wait on the store before it (the processor matches addresses by their low
// 12 bits). Heaps put blocks of equal size just so (Wine's did, and extraction lost a tenth of its
// speed). The window therefore starts on a 4 KB boundary and the output buffer half-way between two.
class TZlibInflater {
 public:
  // Throws Exception "error" when zlib refuses to start.
  explicit TZlibInflater(std::size_t outputSize);
  ~TZlibInflater();
  TZlibInflater(const TZlibInflater&) = delete;
  TZlibInflater& operator=(const TZlibInflater&) = delete;

  z_stream& Stream() { return zstream_; }
  Bytef* Output() { return output_.get() + kOutputPlacement; }
  std::size_t OutputSize() const { return outputSize_; }
  // inflate without flushing; its result after the error check (negative results raise "error",
  // except Z_DATA_ERROR and Z_BUF_ERROR, which are returned for the caller to judge).
  int Inflate();
  // Ready for a new stream, keeping the memory of the last (inflateReset).
  void Reset();

 private:
  struct PageDelete {
    void operator()(Bytef* block) const;
  };
  static constexpr std::size_t kOutputPlacement = 2048;  // past a 4 KB boundary
  std::size_t outputSize_;
  std::unique_ptr<Bytef, PageDelete> output_;
  z_stream zstream_{};
};
