#pragma once
// Between the core's types and Qt's, for the window code.

#include <QString>
#include <filesystem>

#include "base/Errors.h"

namespace velmora::app {

inline QString FromError(const Error& e) { return QString::fromStdString(e.What()); }

inline std::filesystem::path ToPath(const QString& s) { return std::filesystem::path(s.toStdString()); }

}  // namespace velmora::app
