// Streams: the abstract stream, file streams over os files, and memory streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "os/os.h"

TVK_DECLARE_EXCEPTION(EStreamError, Exception);
TVK_DECLARE_EXCEPTION(EReadError, EStreamError);    // "Stream read error"
TVK_DECLARE_EXCEPTION(EWriteError, EStreamError);   // "Stream write error"
TVK_DECLARE_EXCEPTION(EFCreateError, EStreamError);  // "Cannot create file %s"
TVK_DECLARE_EXCEPTION(EFOpenError, EStreamError);    // "Cannot open file %s"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  std::string ClassName() const override { return "TStream"; }

  // Bytes transferred; fewer than asked at the end of the data or when the medium is full.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // The new position. Throws EStreamError when the stream cannot seek there.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size) = 0;

  // All or nothing: throw EReadError / EWriteError when fewer bytes move.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies Count bytes from the source's position, or (Count = 0) the whole source from its start.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Open modes, combined from one access mode and one share mode; fmCreate creates or truncates.
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

// A stream over an os file that it owns.
class THandleStream : public TStream {
 public:
  explicit THandleStream(os::File file) : file_(std::move(file)) {}
  std::string ClassName() const override { return "THandleStream"; }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  os::File& Handle() { return file_; }

 protected:
  os::File file_;
};

class TFileStream : public THandleStream {
 public:
  // Throws EFCreateError or EFOpenError naming the file.
  TFileStream(const std::string& fileName, unsigned mode);
  std::string ClassName() const override { return "TFileStream"; }
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

class TMemoryStream : public TStream {
 public:
  std::string ClassName() const override { return "TMemoryStream"; }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return std::int64_t(data_.size()); }
  void SetSize(std::int64_t size) override;

  void Clear();
  char* Memory() { return data_.data(); }
  const std::vector<char>& Data() const { return data_; }
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& fileName);

 private:
  std::vector<char> data_;
  std::int64_t position_ = 0;
};
