#pragma once
// Byte streams: an abstract stream with the platform's Read/Write/Seek
// contract, an in-memory stream, a file stream and a file stream that
// lands atomically.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes; returns how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position. Seeking before 0 raises
  // EStreamError; seeking past the end is allowed (a later write extends).
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  std::int64_t Remaining() { return Size() - Position(); }

  // Reads exactly count bytes or raises EReadError ("Stream read error").
  void ReadBuffer(void* buffer, std::int64_t count);
  // Writes exactly count bytes or raises EWriteError ("Stream write error").
  void WriteBuffer(const void* buffer, std::int64_t count);
  void WriteBuffer(std::span<const std::uint8_t> bytes) {
    WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  // Copies count bytes from source at its position; count 0 copies the
  // whole source from its start. Returns the bytes copied.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);

  // Little-endian helpers over ReadBuffer/WriteBuffer.
  std::uint8_t ReadByte();
  std::uint16_t ReadWord();
  std::uint32_t ReadDWord();
  void WriteByte(std::uint8_t v) { WriteBuffer(&v, 1); }
  void WriteWord(std::uint16_t v);
  void WriteDWord(std::uint32_t v);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;

  // Writing beyond what memory holds raises EWriteError ("Out of memory
  // while expanding memory stream").
  std::uint8_t* Memory() { return data_.data(); }
  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  std::vector<std::uint8_t> TakeBytes();
  void Clear();

  // Takes the whole of source, from its start; a failed read leaves the
  // old contents.
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  // Written to a temporary name beside the target and renamed into place.
  void SaveToFile(const std::string& fileName) const;

 private:
  void Grow(std::int64_t size);
  std::vector<std::uint8_t> data_;
  std::int64_t pos_ = 0;
};

enum class TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

// A plain file. Opening for reading raises EFOpenError; creating raises
// EFCreateError ("Cannot create file ..."). Only a regular file is
// opened: a folder, a named pipe, a device or a socket raises the same
// errors, and opening never waits for one (a pipe without a writer, a
// device that is not ready), even when the name is swapped for one after
// a check. Writers that replace files use TAtomicFileStream instead.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;
  const std::string& FileName() const { return name_; }
  // The open file's descriptor, for setting its mode or times.
  int Handle() const { return fd_; }

 protected:
  TFileStream() = default;
  // exclusive: fmCreate fails when the file exists already.
  void Open(const std::string& openName, TFileMode mode, const std::string& shownName, bool exclusive = false);
  void CloseFile();
  int fd_ = -1;
  std::string name_;
};

// What a write does with a symbolic link at the name it writes.
enum class TLinkTarget {
  // The file at the end of the link chain takes the new contents and the
  // link stays a link: settings, window positions, mark files.
  Follow,
  // The link itself is replaced by a regular file and nothing is opened
  // through it, dangling or not: a batch output never lands outside the
  // folder it is written to.
  Replace
};

// Writes into a new temporary file in the target's folder; Commit()
// flushes it and renames it over the target. Without Commit (an exception
// on the way) the temporary file is removed and the old target is left
// untouched. Where the file system allows it the file has no name until
// Commit links it under TempName() (".<name>.<16 hex digits>.tmp") and
// renames it at once; a process killed in between, or while writing
// where the file system has no unnamed files, leaves that temporary file
// behind, and the next write of the same target (by any later process)
// removes it: a regular file of exactly that pattern for this target,
// last changed before this process started. A target that is a symbolic
// link is treated as links says. A folder that is not writable raises
// EFCreateError at construction.
class TAtomicFileStream : public TFileStream {
 public:
  explicit TAtomicFileStream(const std::string& fileName, TLinkTarget links = TLinkTarget::Follow);
  ~TAtomicFileStream() override;
  // Flushes what was written to the disk, so that a later Commit has
  // little left but the rename: a batch writes and flushes its outputs on
  // its workers and puts them in place one by one on the GUI thread.
  // Raises EWriteError when the disk refuses.
  void Sync();
  void Commit();
  const std::string& TempName() const { return temp_; }

  std::int64_t Write(const void* buffer, std::int64_t count) override;
  void SetSize(std::int64_t size) override;

 private:
  std::string target_;
  std::string temp_;
  bool unnamed_ = false;  // written without a name until Commit
  bool named_ = false;    // temp_ exists and is ours to remove
  bool committed_ = false;
  // Nothing written since the last Sync: a flush costs a disk's cache
  // flush even with nothing to write, which the commit then spares.
  bool synced_ = false;
};

// Reads a whole file (EFOpenError when it cannot be opened).
std::vector<std::uint8_t> ReadFileBytes(const std::string& fileName);
// Writes a whole file through a temporary name and a rename.
void WriteFileAtomic(const std::string& fileName, std::span<const std::uint8_t> bytes,
                     TLinkTarget links = TLinkTarget::Follow);
void WriteFileAtomic(const std::string& fileName, const std::string& text, TLinkTarget links = TLinkTarget::Follow);
