#pragma once
// Writers of small recordings in the recorder's layouts, for tests that must
// not depend on the readers they check.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::testing {

// A parameter file of `fields` fields: label line "label n", value line value(n), CR LF.
std::string ParameterFileText(int fields, const std::function<std::string(int)>& value);

// A binary trace: dtPar, the short-string header text, scales and offsets of
// the channels, then the raw 16-bit values sample by sample.
std::string BinaryTrace(double dtPar, const std::string& header, const std::vector<double>& scales,
                        const std::vector<double>& offsets, const std::vector<std::vector<std::int16_t>>& samples);

}  // namespace velmora::testing
