// Conversion of stored text at the interface edge. Packets and files keep text as the bytes
// of the code page it was recorded in (CP932, the Japanese Windows code page); the interface
// and everything it shows work in UTF-8. Both directions go through iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tintara {

// Stored bytes to UTF-8 for display. Never fails: a byte that does not start a valid CP932
// character (a lone lead byte, a bad trail byte, an unassigned code) becomes U+FFFD and
// conversion goes on with the next byte.
std::string Cp932ToUtf8(std::string_view cp932);

// UTF-8 from the interface to the bytes to store; nothing when the input is not valid UTF-8
// or holds a character that CP932 cannot represent (such text is refused, never altered).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace tintara
