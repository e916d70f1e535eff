#include "files/BlockFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "pixel/ByteIO.h"

namespace tintara {

bool IsSkipStatus(int32_t status) {
  return status == kFileStrayRun || status == kFileBadId || status == kFileThumbnailSkipped;
}

int32_t WorseStatus(int32_t first, int32_t second) {
  auto rank = [](int32_t s) { return s == kFileOk ? 0 : IsSkipStatus(s) ? 1 : 2; };
  return rank(second) > rank(first) ? second : first;
}

std::string BlockIdText(uint32_t id) {
  std::string s(4, '?');
  for (int i = 0; i < 4; ++i) {
    const auto c = char(id >> (8 * i));
    if (c >= 0x20 && c < 0x7F) s[size_t(i)] = c;
  }
  return s;
}

// --- sources ---------------------------------------------------------------------------------

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (offset > bytes_.size() || bytes_.size() - offset < n) return false;
  if (n) std::memcpy(out, bytes_.data() + offset, n);
  return true;
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

int32_t FileSource::Open(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? kFileMissing : kFileOpenFailed;
  if (!S_ISREG(st.st_mode)) return kFileOpenFailed;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kFileOpenFailed;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kFileOpenFailed;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = uint64_t(st.st_size);
  return kFileOk;
}

bool FileSource::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (fd_ < 0 || offset > size_ || size_ - offset < n) return false;
  auto* p = static_cast<uint8_t*>(out);
  while (n > 0) {
    const ssize_t got = ::pread(fd_, p, n, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

// --- reader ----------------------------------------------------------------------------------

bool BlockReader::Seek(uint64_t pos) {
  if (pos > Size()) return false;
  pos_ = pos;
  return true;
}

bool BlockReader::Read(void* out, size_t n) {
  if (n > Left() || !source_.ReadAt(pos_, out, n)) return false;
  pos_ += n;
  return true;
}

bool BlockReader::Skip(uint64_t n) {
  if (n > Left()) return false;
  pos_ += n;
  return true;
}

int32_t BlockReader::PeekHead(BlockHead& head) const {
  uint8_t b[kBlockHeadBytes];
  if (Left() < kBlockHeadBytes || !source_.ReadAt(pos_, b, sizeof b)) return kFileShortRead;
  ByteReader r(b, sizeof b);
  head.id = r.u32();
  head.size = r.u32();
  head.offset = pos_;
  return kFileOk;
}

int32_t BlockReader::ReadHead(BlockHead& head) {
  const int32_t s = PeekHead(head);
  if (s == kFileOk) pos_ += kBlockHeadBytes;
  return s;
}

// --- sinks -----------------------------------------------------------------------------------

bool MemorySink::Write(const void* data, size_t n) {
  try {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool MemorySink::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (offset > bytes.size() || bytes.size() - offset < n) return false;
  if (n) std::memcpy(bytes.data() + offset, data, n);
  return true;
}

bool MemorySink::Truncate(uint64_t length) {
  if (length > bytes.size()) return false;
  bytes.resize(size_t(length));
  return true;
}

namespace {

bool WriteAll(int fd, const uint8_t* p, size_t n, int64_t at) {
  while (n > 0) {
    const ssize_t w = at < 0 ? ::write(fd, p, n) : ::pwrite(fd, p, n, off_t(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
    if (at >= 0) at += w;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

AtomicFileSink::~AtomicFileSink() { Abort(); }

int32_t AtomicFileSink::Open(const std::string& path) {
  Abort();
  path_ = path;
  tmp_ = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(tmp_.data());
  if (fd < 0) {
    tmp_.clear();
    return kFileOpenFailed;
  }
  fd_ = fd;
  size_ = 0;
  return kFileOk;
}

bool AtomicFileSink::Write(const void* data, size_t n) {
  if (fd_ < 0) return false;
  // Appends go to the end even after a cut back: the file offset follows size_.
  if (!WriteAll(fd_, static_cast<const uint8_t*>(data), n, int64_t(size_))) return false;
  size_ += n;
  return true;
}

bool AtomicFileSink::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (fd_ < 0 || offset > size_ || size_ - offset < n) return false;
  return WriteAll(fd_, static_cast<const uint8_t*>(data), n, int64_t(offset));
}

bool AtomicFileSink::Truncate(uint64_t length) {
  if (fd_ < 0 || length > size_) return false;
  if (::ftruncate(fd_, off_t(length)) != 0) return false;
  size_ = length;
  return true;
}

int32_t AtomicFileSink::Commit() {
  if (fd_ < 0) return kFileShortWrite;
  bool ok = ::fsync(fd_) == 0;
  // mkstemp makes the file private; a saved picture gets the usual permissions of a new file,
  // or those of the file it replaces.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (ok && std::rename(tmp_.c_str(), path_.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp_.c_str());
    tmp_.clear();
    return kFileShortWrite;
  }
  tmp_.clear();
  // The rename itself is made durable through the folder.
  const int dir = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return kFileOk;
}

void AtomicFileSink::Abort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  tmp_.clear();
  size_ = 0;
}

void PutBlockHead(std::vector<uint8_t>& out, uint32_t id, uint32_t size) {
  ByteWriter w(out);
  w.u32(id);
  w.u32(size);
}

}  // namespace tintara
