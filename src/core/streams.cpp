#include "core/streams.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "core/exceptions.h"
#include "core/strings.h"

namespace {
const char* const kExpandError = "Out of memory while expanding memory stream";
}  // namespace

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
  std::int64_t end = 0;
  if (__builtin_add_overflow(pos_, count, &end)) throw EWriteError(kExpandError);
  if (end > Size()) Grow(end);
  std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
  pos_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : Size();
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) throw EStreamError("Stream seek error");
  pos_ = target;
  return pos_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Stream size error");
  Grow(size);
  if (pos_ > size) pos_ = size;
}

void TMemoryStream::Grow(std::int64_t size) {
  // A size the memory cannot hold is the stream's error, not a crash.
  // Half a tebibyte is beyond any machine this runs on; refusing it here
  // spares the allocator requests it cannot even attempt.
  constexpr std::int64_t kLargest = std::int64_t{1} << 39;
  if (size > kLargest) throw EWriteError(kExpandError);
  try {
    data_.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw EWriteError(kExpandError);
  } catch (const std::length_error&) {
    throw EWriteError(kExpandError);
  }
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
  if (&source == this) {
    pos_ = 0;
    return;
  }
  source.SetPosition(0);
  std::int64_t size = source.Size();
  TMemoryStream loaded;
  loaded.Grow(size);
  source.ReadBuffer(loaded.data_.data(), size);
  data_ = std::move(loaded.data_);  // a failed read leaves the old contents
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

void TFileStream::Open(const std::string& openName, TFileMode mode, const std::string& shownName, bool exclusive) {
  name_ = shownName;
  // Opened without waiting: a named pipe without a writer or a device
  // that is not ready would otherwise hold the program here for good. What
  // was opened is then judged by its descriptor, so a name swapped for
  // one after any check cannot make a read wait either.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case TFileMode::fmOpenRead: flags |= O_RDONLY; break;
    case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | (exclusive ? O_EXCL : O_TRUNC); break;
  }
  fd_ = ::open(openName.c_str(), flags, 0666);
  if (fd_ < 0) {
    std::string reason = std::strerror(errno);
    if (mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file \"" + shownName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + shownName + "\". " + reason);
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    const std::string reason = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
    CloseFile();
    if (mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file \"" + shownName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + shownName + "\". " + reason);
  }
  // A regular file never waits; reads and writes go on as usual.
  const int status = ::fcntl(fd_, F_GETFL);
  if (status != -1) (void)::fcntl(fd_, F_SETFL, status & ~O_NONBLOCK);
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

// The file a write to fileName really replaces: the end of a chain of
// symbolic links, so that a link stays a link and its target gets the
// new contents.
std::string ResolveTarget(const std::string& fileName) {
  std::string name = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(name.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return name;
    link.resize(static_cast<std::size_t>(n));
    if (link.front() == '/') {
      name = link;
    } else {
      std::string::size_type slash = name.rfind('/');
      name = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + link;
    }
  }
  return name;
}

// The part of a temporary name that comes from the target's name: the
// name itself, shortened so that the temporary name stays within the file
// system's limit on one name (255 bytes).
std::string TemporaryBase(const std::string& fileName) {
  const std::string::size_type slash = fileName.rfind('/');
  return Utf8Prefix(slash == std::string::npos ? fileName : fileName.substr(slash + 1), 200);
}

std::string TemporaryNameFor(const std::string& fileName) {
  std::string::size_type slash = fileName.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
  return dir + "." + TemporaryBase(fileName) + "." + suffix + ".tmp";
}

// The target part of a name of the temporary pattern
// (".<base>.<16 lower-case hex digits>.tmp"); empty for any other name.
std::string_view BaseOfTemporaryName(std::string_view name) {
  constexpr std::size_t kTail = 1 + 16 + 4;  // ".<hex>.tmp"
  if (name.size() < 1 + 1 + kTail || name.front() != '.' || !name.ends_with(".tmp")) return {};
  const std::string_view hex = name.substr(name.size() - 4 - 16, 16);
  if (name[name.size() - kTail] != '.' ||
      !std::all_of(hex.begin(), hex.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
    return {};
  }
  return name.substr(1, name.size() - 1 - kTail);
}

// When this process started, on the clock file times come from (the
// coarse one, which never runs ahead of a time stamp taken after it):
// only a temporary file last changed before then can be a leftover of a
// process that is gone rather than a write under way.
const timespec kProcessStart = [] {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}();

bool LastChangedBeforeStart(const struct stat& st) {
  return st.st_mtim.tv_sec < kProcessStart.tv_sec ||
         (st.st_mtim.tv_sec == kProcessStart.tv_sec && st.st_mtim.tv_nsec < kProcessStart.tv_nsec);
}

// The leftovers of killed writes: each folder is looked through once, at
// its first write, for regular files of the temporary pattern older than
// this process (none can appear later); a write then removes those of its
// own target. A folder is known by its device, inode and birth time, so a
// folder made anew where one was deleted is looked through again; where
// the file system tells no birth time, every write looks.
class TLeftovers {
 public:
  void RemoveFor(const std::string& target) {
    const std::string::size_type slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    const std::string base = TemporaryBase(target);
    struct statx id {};
    if (::statx(dir, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &id) == 0 && (id.stx_mask & STATX_BTIME) != 0) {
      const TFolderKey key{id.stx_dev_major, id.stx_dev_minor, id.stx_ino, id.stx_btime.tv_sec,
                           id.stx_btime.tv_nsec};
      const std::lock_guard<std::mutex> lock(mutex_);
      auto [found, fresh] = folders_.try_emplace(key);
      if (fresh) found->second = Scan(dir);
      Remove(dir, base, found->second);
    } else {
      std::vector<std::string> names = Scan(dir);
      Remove(dir, base, names);
    }
    ::close(dir);
  }

 private:
  using TFolderKey = std::tuple<std::uint32_t, std::uint32_t, std::uint64_t, std::int64_t, std::uint32_t>;

  static std::vector<std::string> Scan(int dir) {
    std::vector<std::string> names;
    const int copy = ::dup(dir);
    if (copy < 0) return names;
    DIR* listing = ::fdopendir(copy);
    if (listing == nullptr) {
      ::close(copy);
      return names;
    }
    while (const dirent* e = ::readdir(listing)) {
      const std::string_view name = e->d_name;
      if (BaseOfTemporaryName(name).empty()) continue;
      struct stat entry {};
      if (::fstatat(dir, e->d_name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entry.st_mode) &&
          LastChangedBeforeStart(entry)) {
        names.emplace_back(name);
      }
    }
    ::closedir(listing);
    return names;
  }

  // Removes the leftovers of base among names (and forgets them).
  static void Remove(int dir, const std::string& base, std::vector<std::string>& names) {
    for (auto it = names.begin(); it != names.end();) {
      if (BaseOfTemporaryName(*it) != base) {
        ++it;
        continue;
      }
      // Looked at again: only a regular file that is still old goes.
      struct stat entry {};
      if (::fstatat(dir, it->c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entry.st_mode) &&
          LastChangedBeforeStart(entry)) {
        (void)::unlinkat(dir, it->c_str(), 0);
      }
      it = names.erase(it);
    }
  }

  std::mutex mutex_;
  std::map<TFolderKey, std::vector<std::string>> folders_;
};

TLeftovers& Leftovers() {
  // Never destroyed: a file may still be written while the program ends.
  static TLeftovers& leftovers = *new TLeftovers;
  return leftovers;
}

}  // namespace

TAtomicFileStream::TAtomicFileStream(const std::string& fileName, TLinkTarget links)
    : target_(links == TLinkTarget::Follow ? ResolveTarget(fileName) : fileName) {
  Leftovers().RemoveFor(target_);
  temp_ = TemporaryNameFor(target_);
  const std::string::size_type slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    name_ = fileName;
    unnamed_ = true;
  } else {
    // A file system without unnamed files, or a folder that cannot take
    // one: a named temporary file, whose opening reports the reason.
    Open(temp_, TFileMode::fmCreate, fileName, true);
    named_ = true;
  }
  // Keep the permissions of a file we replace (never of a file a link
  // that is replaced points to).
  struct stat st {};
  const int found = links == TLinkTarget::Follow ? ::stat(target_.c_str(), &st) : ::lstat(target_.c_str(), &st);
  if (found == 0 && S_ISREG(st.st_mode)) {
    (void)::fchmod(fd_, st.st_mode & 07777);
  }
}

TAtomicFileStream::~TAtomicFileStream() {
  if (!committed_) {
    CloseFile();
    if (named_) ::unlink(temp_.c_str());
  }
}

std::int64_t TAtomicFileStream::Write(const void* buffer, std::int64_t count) {
  synced_ = false;
  return TFileStream::Write(buffer, count);
}

void TAtomicFileStream::SetSize(std::int64_t size) {
  synced_ = false;
  TFileStream::SetSize(size);
}

void TAtomicFileStream::Sync() {
  if (committed_ || fd_ < 0 || synced_) return;
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    throw EWriteError("Cannot write file \"" + name_ + "\". " + std::strerror(errno));
  }
  synced_ = true;
}

void TAtomicFileStream::Commit() {
  if (committed_) return;
  Sync();
  if (unnamed_ && !named_) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int tries = 0; !named_; ++tries) {
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        named_ = true;
      } else if (errno == EEXIST && tries < 8) {
        temp_ = TemporaryNameFor(target_);
      } else {
        throw EFCreateError("Cannot create file \"" + name_ + "\". " + std::strerror(errno));
      }
    }
  }
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) throw EWriteError("Cannot write file \"" + name_ + "\". " + std::strerror(errno));
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    ::unlink(temp_.c_str());
    committed_ = true;  // nothing left to clean up
    throw EFCreateError("Cannot create file \"" + name_ + "\". " + reason);
  }
  // The folder is not synced: after a crash either the old or the new
  // name stands, each with whole contents, which is all the rename must
  // guarantee; a batch of many files would pay a folder sync per file.
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

void WriteFileAtomic(const std::string& fileName, std::span<const std::uint8_t> bytes, TLinkTarget links) {
  TAtomicFileStream f(fileName, links);
  f.WriteBuffer(bytes);
  f.Commit();
}

void WriteFileAtomic(const std::string& fileName, const std::string& text, TLinkTarget links) {
  WriteFileAtomic(fileName,
                  std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                  links);
}
