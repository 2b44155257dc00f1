#include "classlib/Streams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int64_t kCopyBuffer = 0xF000;

os::Origin ToOs(TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: return os::Origin::Begin;
    case TSeekOrigin::soCurrent: return os::Origin::Current;
    case TSeekOrigin::soEnd: return os::Origin::End;
  }
  return os::Origin::Begin;
}

os::Access AccessOf(unsigned mode) {
  switch (mode & 3) {
    case fmOpenWrite: return os::Access::Write;
    case fmOpenReadWrite: return os::Access::ReadWrite;
    default: return os::Access::Read;
  }
}

os::Share ShareOf(unsigned mode) {
  switch (mode & 0xF0) {
    case fmShareExclusive: return os::Share::Exclusive;
    case fmShareDenyWrite: return os::Share::DenyWrite;
    case fmShareDenyRead: return os::Share::DenyRead;
    case fmShareDenyNone: return os::Share::DenyNone;
    default: return os::Share::Exclusive;  // compatibility mode behaves as exclusive for other openers
  }
}

os::File OpenFile(const std::string& fileName, unsigned mode) {
  if (mode == fmCreate) {
    os::File f = os::File::Open(fileName, os::Access::ReadWrite, os::Share::Exclusive, os::Disposition::CreateAlways);
    if (!f) throw EFCreateError("Cannot create file %s", {fileName});
    return f;
  }
  os::File f = os::File::Open(fileName, AccessOf(mode), ShareOf(mode), os::Disposition::OpenExisting);
  if (!f) throw EFOpenError("Cannot open file %s", {fileName});
  return f;
}

}  // namespace

std::int64_t TStream::Size() {
  std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
  std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> buffer(std::size_t(std::min(count, kCopyBuffer)));
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min(left, kCopyBuffer);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  std::int64_t n = file_.Read(buffer, std::size_t(count));
  return n < 0 ? 0 : n;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  std::int64_t n = file_.Write(buffer, std::size_t(count));
  return n < 0 ? 0 : n;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t position = file_.Seek(offset, ToOs(origin));
  if (position < 0) throw EStreamError("Stream seek error");
  return position;
}

void THandleStream::SetSize(std::int64_t size) {
  Seek(size, TSeekOrigin::soBeginning);
  if (!file_.SetEnd()) throw EStreamError("Stream write error");
}

TFileStream::TFileStream(const std::string& fileName, unsigned mode)
    : THandleStream(OpenFile(fileName, mode)), fileName_(fileName) {}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  std::int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_.data() + position_, std::size_t(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > Size()) data_.resize(std::size_t(position_ + count));
  std::memcpy(data_.data() + position_, buffer, std::size_t(count));
  position_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  if (base + offset < 0) throw EStreamError("Stream seek error");
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(std::size_t(std::max<std::int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  std::int64_t size = stream.Size();
  SetSize(size);
  if (size != 0) stream.ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}
