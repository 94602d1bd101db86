#pragma once

#include <QString>

namespace orvane {

// The whole text as a decimal integer (an optional sign, then digits). Throws
// EConvertError "''%s'' is not a valid integer value" otherwise.
int StrToInt(const QString& text);

} // namespace orvane
