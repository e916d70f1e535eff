#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tintara {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bool ok = true;
  try {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    ok = !std::ferror(f);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  std::fclose(f);
  if (!ok) out.clear();
  return ok;
}

bool WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  size_t left = size;
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  // mkstemp creates 0600; give the file the usual permissions of a new file.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace tintara
