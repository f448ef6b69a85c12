#include "core/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "core/exceptions.h"

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  if (count == 0) return;
  if (Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count < 0) throw EWriteError("Stream write error");
  if (count == 0) return;
  if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0) throw EReadError("Stream read error");
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 20)));
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

std::uint8_t TStream::ReadByte() {
  std::uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

std::uint16_t TStream::ReadWord() {
  std::uint8_t b[2];
  ReadBuffer(b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t TStream::ReadDWord() {
  std::uint8_t b[4];
  ReadBuffer(b, 4);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void TStream::WriteWord(std::uint16_t v) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  WriteBuffer(b, 2);
}

void TStream::WriteDWord(std::uint32_t v) {
  std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  WriteBuffer(b, 4);
}

// ---------------------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  std::int64_t n = std::min(count, Size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  std::int64_t end = pos_ + count;
  if (end > Size()) data_.resize(static_cast<std::size_t>(end));
  std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
  pos_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : Size();
  std::int64_t target = base + offset;
  if (target < 0) throw EStreamError("Stream seek error");
  pos_ = target;
  return pos_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Stream size error");
  data_.resize(static_cast<std::size_t>(size));
  if (pos_ > size) pos_ = size;
}

std::vector<std::uint8_t> TMemoryStream::TakeBytes() {
  std::vector<std::uint8_t> out = std::move(data_);
  data_.clear();
  pos_ = 0;
  return out;
}

void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  std::int64_t size = source.Size();
  data_.resize(static_cast<std::size_t>(size));
  source.ReadBuffer(data_.data(), size);
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  data_ = ReadFileBytes(fileName);
  pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const { WriteFileAtomic(fileName, data_); }

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) { Open(fileName, mode, fileName); }

TFileStream::~TFileStream() { CloseFile(); }

void TFileStream::Open(const std::string& openName, TFileMode mode, const std::string& shownName) {
  name_ = shownName;
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::fmOpenRead: flags |= O_RDONLY; break;
    case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  fd_ = ::open(openName.c_str(), flags, 0666);
  if (fd_ < 0) {
    std::string reason = std::strerror(errno);
    if (mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file \"" + shownName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + shownName + "\". " + reason);
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    CloseFile();
    throw EFOpenError("Cannot open file \"" + shownName + "\". Is a directory");
  }
}

void TFileStream::CloseFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (total < count) {
    ssize_t n = ::read(fd_, p + total, static_cast<std::size_t>(std::min<std::int64_t>(count - total, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError("Stream read error");
    }
    if (n == 0) break;
    total += n;
  }
  return total;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  auto* p = static_cast<const std::uint8_t*>(buffer);
  while (total < count) {
    ssize_t n = ::write(fd_, p + total, static_cast<std::size_t>(std::min<std::int64_t>(count - total, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return total;
    }
    total += n;
  }
  return total;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError("Stream seek error");
  return r;
}

std::int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EStreamError("Stream size error");
  return st.st_size;
}

void TFileStream::SetSize(std::int64_t size) {
  if (size < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EStreamError("Stream size error");
}

// ---------------------------------------------------------------------------

namespace {

std::string TemporaryNameFor(const std::string& fileName) {
  std::string::size_type slash = fileName.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
  return dir + "." + base + "." + suffix + ".tmp";
}

}  // namespace

TAtomicFileStream::TAtomicFileStream(const std::string& fileName) {
  temp_ = TemporaryNameFor(fileName);
  Open(temp_, TFileMode::fmCreate, fileName);
  // Keep the permissions of a file we replace.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    (void)::fchmod(fd_, st.st_mode & 07777);
  }
}

TAtomicFileStream::~TAtomicFileStream() {
  if (!committed_) {
    CloseFile();
    ::unlink(temp_.c_str());
  }
}

void TAtomicFileStream::Commit() {
  if (committed_) return;
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    throw EWriteError("Cannot write file \"" + name_ + "\". " + std::strerror(errno));
  }
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) throw EWriteError("Cannot write file \"" + name_ + "\". " + std::strerror(errno));
  if (::rename(temp_.c_str(), name_.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    ::unlink(temp_.c_str());
    committed_ = true;  // nothing left to clean up
    throw EFCreateError("Cannot create file \"" + name_ + "\". " + reason);
  }
  committed_ = true;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& fileName) {
  TFileStream f(fileName, TFileMode::fmOpenRead);
  std::vector<std::uint8_t> bytes;
  std::int64_t size = f.Size();
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    std::int64_t n = f.Read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(n));
  }
  return bytes;
}

void WriteFileAtomic(const std::string& fileName, std::span<const std::uint8_t> bytes) {
  TAtomicFileStream f(fileName);
  f.WriteBuffer(bytes);
  f.Commit();
}

void WriteFileAtomic(const std::string& fileName, const std::string& text) {
  WriteFileAtomic(fileName, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                          text.size()));
}
