#include "support/Fixtures.h"

#include <cstring>

namespace velmora::testing {

std::string ParameterFileText(int fields, const std::function<std::string(int)>& value) {
  std::string out;
  for (int n = 1; n <= fields; ++n) out += "label " + std::to_string(n) + "\r\n" + value(n) + "\r\n";
  return out;
}

namespace {
template <class T>
void Append(std::string& out, T x) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &x, sizeof(T));  // the test machines are little-endian, as the files are
  out.append(bytes, sizeof(T));
}
}  // namespace

std::string BinaryTrace(double dtPar, const std::string& header, const std::vector<double>& scales,
                        const std::vector<double>& offsets, const std::vector<std::vector<std::int16_t>>& samples) {
  std::string out;
  Append(out, dtPar);
  std::string text(256, '\0');
  text[0] = static_cast<char>(header.size());
  header.copy(text.data() + 1, 255);
  out += text;
  for (double s : scales) Append(out, s);
  for (double o : offsets) Append(out, o);
  for (const auto& sample : samples)
    for (std::int16_t v : sample) Append(out, v);
  return out;
}

}  // namespace velmora::testing
