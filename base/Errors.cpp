#include "base/Errors.h"

namespace velmora {

std::string Error::What() const {
  std::string s = file;
  if (line > 0) s += (s.empty() ? "line " : ": line ") + std::to_string(line);
  if (!field.empty()) s += (s.empty() ? "" : (line > 0 ? ", " : ": ")) + field;
  if (!s.empty()) s += ": ";
  return s + message;
}

}  // namespace velmora
