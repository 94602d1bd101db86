#pragma once

// Where the home root is kept: a value of the machine's registry.

#include <QString>

namespace orvane {

inline const QString kHomeRootKey = QStringLiteral("SOFTWARE\\ROrirAridEzo\\");
inline const QString kHomeRootValue = QStringLiteral("MHomePath");

} // namespace orvane
