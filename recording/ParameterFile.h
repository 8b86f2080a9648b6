#pragma once
// The recorder's parameter file: odd lines are labels, even lines values;
// field n is on line 2n and is known only by its position.

#include <filesystem>
#include <string>
#include <string_view>

#include "recording/Recording.h"
#include "recording/TextIO.h"
#include "base/Errors.h"

namespace velmora {

inline constexpr int kParameterFields = 248;
inline constexpr int kRequiredParameterFields = 54;
// 496 lines, the longest two tables of 100 numbers: 64 KiB a line and 1 MiB
// a file leave room for labels of any sensible length.
inline constexpr ReadLimits kParameterFileLimits{64 << 10, 1 << 20};

enum class FieldKind { Real, Integer, Text, List };
FieldKind KindOfField(int n);

// The recording's base name: the trace name cut just before the first "_trace"
// of its file name (the directory stays); just the directory when there is none.
// The sweep of an ABF file, "dir/cell01.abf #3", has the base "dir/cell01.abf.3".
std::string RecordingBaseName(std::string_view traceName);
// "<base>.par": "dir/cell3_trace12_Err.us" has the parameter file "dir/cell3.par".
std::string ParameterFileName(std::string_view traceName);

// Fills `par` from the file. A missing file changes nothing and is no error;
// one that is there but no regular file (a directory, a pipe, a link to a
// device) is an Error, lest the parameters of the recording read before
// pass for this one's. A bad value line stops the read with an Error naming
// file, line and field; the fields before it keep their new values.
Status ReadParameterFile(const std::filesystem::path& path, RecordingParameters& par);

// Writes all fields at their positions (the recorder's layout, CR LF):
// named fields from `par`, the others from `par.stored`, 0 where unknown.
Status WriteParameterFile(const std::filesystem::path& path, const RecordingParameters& par);

}  // namespace velmora
