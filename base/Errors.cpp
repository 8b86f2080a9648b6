#include "base/Errors.h"

#include <fmt/format.h>

namespace velmora {

namespace {
constexpr std::size_t kQuotedChars = 60;
}  // namespace

std::string Error::What() const {
  std::string s = file;
  if (line > 0) s += (s.empty() ? "line " : ": line ") + std::to_string(line);
  if (!field.empty()) s += (s.empty() ? "" : (line > 0 ? ", " : ": ")) + field;
  if (!s.empty()) s += ": ";
  return Printable(s + message);
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // C1 controls in UTF-8 are 0xC2 0x80..0x9F; some terminals act on them too.
    const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F) {
      out += fmt::format("\\x{:02x}", c);
    } else if (c1) {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Quoted(std::string_view token) {
  if (token.size() <= kQuotedChars) return '"' + Printable(token) + '"';
  std::size_t cut = kQuotedChars;
  // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
  while (cut > 0 && (static_cast<unsigned char>(token[cut]) & 0xC0) == 0x80) --cut;
  return fmt::format("\"{}...\" ({} bytes)", Printable(token.substr(0, cut)), token.size());
}

}  // namespace velmora
