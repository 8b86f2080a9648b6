#pragma once
// The recorder's parameter file: odd lines are labels, even lines values;
// field n is on line 2n and is known only by its position.

#include <filesystem>
#include <string>
#include <string_view>

#include "recording/Recording.h"
#include "base/Errors.h"

namespace velmora {

inline constexpr int kParameterFields = 248;
inline constexpr int kRequiredParameterFields = 54;

enum class FieldKind { Real, Integer, Text, List };
FieldKind KindOfField(int n);

// The recording's base name: the trace name cut just before the first "_trace"
// of its file name (the directory stays); just the directory when there is none.
std::string RecordingBaseName(std::string_view traceName);
// "<base>.par": "dir/cell3_trace12_Err.us" has the parameter file "dir/cell3.par".
std::string ParameterFileName(std::string_view traceName);

// Fills `par` from the file. A missing file changes nothing and is no error.
// A bad value line stops the read with an Error naming file, line and field;
// the fields before it keep their new values.
Status ReadParameterFile(const std::filesystem::path& path, RecordingParameters& par);

// Writes all fields at their positions (the recorder's layout, CR LF):
// named fields from `par`, the others from `par.stored`, 0 where unknown.
Status WriteParameterFile(const std::filesystem::path& path, const RecordingParameters& par);

}  // namespace velmora
