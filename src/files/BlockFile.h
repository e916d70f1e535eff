// The block machinery shared by the program's own formats: a file is a flat sequence of
// blocks, each an 8-byte head (four ASCII letters, the size of the rest) and a body padded to
// a multiple of 4. Readers skip what they do not know by its size; writers cut a failed block
// back out of the file. Saves go to a temporary file in the target's folder that replaces the
// old file only when everything is written and on disk.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tintara {

// The status every save and load step returns; 0 is success. Shown to the user as "(err=%d)".
enum FileStatus : int32_t {
  kFileOk = 0,
  kFileNoMemory = 1,
  kFileStrayRun = 2,  // a run block outside its layer or mask, skipped
  kFileException = 3,
  kFileMissing = 4,
  kFileExists = 5,
  kFileOpenFailed = 6,
  kFileShortWrite = 8,
  kFileShortRead = 9,
  kFileSeekFailed = 10,
  kFilePastEnd = 11,
  kFileNewerVersion = 12,
  kFileTooLarge = 13,
  kFileBadDescriptor = 14,
  kFileBadFormat = 15,
  kFileBadId = 16,  // also: an unknown block was skipped
  kFileBadSize = 17,
  kFileThumbnailSkipped = 19,
  kFileLayerAdd = 21,
  kFileLayerGeometry = 22,
  kFileLayerRunCount = 23,
  kFileLayerRunKind = 24,
  kFileLayerRunSizes = 25,
  kFileLayerTile = 26,
  kFileNoMaskList = 28,
  kFileMaskCreate = 29,
  kFileMaskGeometry = 30,
  kFileMaskRunCount = 31,
  kFileMaskRunKind = 32,
  kFileMaskRunSizes = 33,
  kFileMaskTile = 34,
  kFileMaskInsert = 35,
  kFileNoRecorder = 40,
  kFileNoEvents = 42,
  kFileBadPackets = 47,
};

// Skips (a thumbnail passed over, a stray run, an unknown block) count less than failures.
bool IsSkipStatus(int32_t status);
// The worse of two statuses: a failure beats a skip beats success; between equals the first.
int32_t WorseStatus(int32_t first, int32_t second);

constexpr uint32_t BlockId(const char (&letters)[5]) {
  return uint32_t(uint8_t(letters[0])) | uint32_t(uint8_t(letters[1])) << 8 |
         uint32_t(uint8_t(letters[2])) << 16 | uint32_t(uint8_t(letters[3])) << 24;
}
// The id as its four letters (other bytes as '?').
std::string BlockIdText(uint32_t id);
constexpr uint64_t Padded4(uint64_t n) { return (n + 3) & ~uint64_t(3); }

inline constexpr size_t kBlockHeadBytes = 8;

struct BlockHead {
  uint32_t id = 0;
  uint32_t size = 0;    // bytes after the head
  uint64_t offset = 0;  // where the head starts
  uint64_t End() const { return offset + kBlockHeadBytes + size; }
};

// --- reading ---------------------------------------------------------------------------------

// Random access to the bytes of a file or a memory image of one.
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual uint64_t Size() const = 0;
  // False (and nothing promised about `out`) when [offset, offset + n) is not all there.
  virtual bool ReadAt(uint64_t offset, void* out, size_t n) const = 0;
};

class MemorySource : public IByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* out, size_t n) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// A file opened for reading; its size is taken once when it is opened.
class FileSource : public IByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  // 0, 4 (no such file) or 6 (it cannot be opened or is not a regular file).
  int32_t Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t n) const override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// A read position over a source, with the block-head rules.
class BlockReader {
 public:
  explicit BlockReader(const IByteSource& source) : source_(source) {}

  uint64_t Position() const { return pos_; }
  uint64_t Size() const { return source_.Size(); }
  uint64_t Left() const { return pos_ < Size() ? Size() - pos_ : 0; }
  bool AtEnd() const { return pos_ >= Size(); }
  // Moves to an absolute position; false (position unchanged) beyond the end.
  bool Seek(uint64_t pos);
  // Reads n bytes at the position and moves past them; false (position unchanged) when short.
  bool Read(void* out, size_t n);
  bool Skip(uint64_t n);
  // The 8-byte head at the position: 0, or 9 when it is not all there.
  int32_t ReadHead(BlockHead& head);
  // Looks at the head at the position without moving.
  int32_t PeekHead(BlockHead& head) const;
  const IByteSource& Source() const { return source_; }

 private:
  const IByteSource& source_;
  uint64_t pos_ = 0;
};

// --- writing ---------------------------------------------------------------------------------

// Where blocks go: appended at the end, patched in place, cut back after a failed block.
class IBlockSink {
 public:
  virtual ~IBlockSink() = default;
  virtual bool Write(const void* data, size_t n) = 0;
  virtual uint64_t Position() const = 0;
  virtual bool WriteAt(uint64_t offset, const void* data, size_t n) = 0;
  virtual bool Truncate(uint64_t length) = 0;
  bool Write(std::span<const uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
};

class MemorySink : public IBlockSink {
 public:
  bool Write(const void* data, size_t n) override;
  uint64_t Position() const override { return bytes.size(); }
  bool WriteAt(uint64_t offset, const void* data, size_t n) override;
  bool Truncate(uint64_t length) override;
  std::vector<uint8_t> bytes;
};

// A new version of a file: written to a temporary file beside it and renamed over it by
// Commit, after a flush to disk. Until then the old file stays as it was; a sink that is
// destroyed without a successful Commit removes its temporary file.
class AtomicFileSink : public IBlockSink {
 public:
  AtomicFileSink() = default;
  ~AtomicFileSink() override;
  AtomicFileSink(const AtomicFileSink&) = delete;
  AtomicFileSink& operator=(const AtomicFileSink&) = delete;

  // 0, or 6 when the temporary file cannot be created.
  int32_t Open(const std::string& path);
  bool Write(const void* data, size_t n) override;
  uint64_t Position() const override { return size_; }
  bool WriteAt(uint64_t offset, const void* data, size_t n) override;
  bool Truncate(uint64_t length) override;
  // Flushes, closes and renames over the target: 0, or 8 when any of it failed (the
  // temporary file is then removed and the target untouched).
  int32_t Commit();
  void Abort();
  const std::string& TemporaryPath() const { return tmp_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_, tmp_;
};

// Writes a block head into a byte buffer.
void PutBlockHead(std::vector<uint8_t>& out, uint32_t id, uint32_t size);

}  // namespace tintara
