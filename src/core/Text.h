#pragma once

#include <QString>

namespace orvane {

// The separator of folder paths.
inline constexpr QChar PathDelimiter = u'/';

// Removes every character whose code is 32 or less from both ends.
QString Trim(const QString& text);

// Appends the path separator unless the text already ends with one; an empty
// text becomes the separator alone.
QString IncludeTrailingPathDelimiter(const QString& path);

// Whether the path is separators alone (what an empty home root becomes): it
// names the top of the file system, never a home folder. An empty path is too.
bool NamesTheTop(const QString& path);

// The text of the error box: a full stop is appended when the last character's
// code is above that of the full stop itself.
QString WithFullStop(const QString& message);

} // namespace orvane
