// UTF-8 decoding shared by the platform's own readers.
#pragma once

#include <string>
#include <string_view>

namespace platform {
// Appends |s| decoded to |out|; each invalid sequence (the maximal prefix of a
// well-formed one, or a single stray byte) becomes U+FFFD. Returns how many
// invalid sequences there were.
size_t DecodeUtf8(std::string_view s, std::u16string* out);
}  // namespace platform
