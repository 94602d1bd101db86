#pragma once

#include <QChar>

namespace orvane {

// The prefix box lets through backspace, "-", digits, ASCII letters and "_".
bool PrefixKeyAllowed(QChar key);

// The number boxes let through backspace and digits.
bool NumberKeyAllowed(QChar key);

} // namespace orvane
