#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace tintara {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One iconv descriptor for the length of a conversion; descriptors keep shift state and
// must not be shared between threads, and conversions here are rare and short.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of [in, in + left) as it can, appending to `out`. Returns 0 when all
  // was converted, otherwise the errno that stopped it (EILSEQ or EINVAL) with `in` and
  // `left` at the offending byte.
  int Run(const char*& in, size_t& left, std::string& out) {
    char buffer[256];
    while (left > 0) {
      char* dst = buffer;
      size_t room = sizeof buffer;
      // iconv's prototype takes char** for its input although it never writes through it.
      const size_t r = iconv(cd_, const_cast<char**>(&in), &left, &dst, &room);
      out.append(buffer, size_t(dst - buffer));
      if (r != size_t(-1)) continue;
      if (errno == E2BIG) continue;
      return errno;
    }
    return 0;
  }
  void ResetState() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  Converter conv("UTF-8", "CP932");
  if (!conv.ok()) {
    // Without the converter only ASCII can be shown faithfully.
    for (char c : cp932) {
      if (static_cast<unsigned char>(c) < 0x80)
        out.push_back(c);
      else
        out.append(kReplacement);
    }
    return out;
  }
  const char* in = cp932.data();
  size_t left = cp932.size();
  while (left > 0) {
    if (conv.Run(in, left, out) == 0) break;
    // EILSEQ or EINVAL (a lead byte cut off by the end): one byte is replaced, and the
    // next is read afresh, so an ASCII byte after a stray lead byte survives.
    out.append(kReplacement);
    ++in;
    --left;
    conv.ResetState();
  }
  return out;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  Converter conv("CP932", "UTF-8");
  if (!conv.ok()) return std::nullopt;
  std::string out;
  out.reserve(utf8.size());
  const char* in = utf8.data();
  size_t left = utf8.size();
  if (conv.Run(in, left, out) != 0) return std::nullopt;
  return out;
}

}  // namespace tintara
