#pragma once

#include <QFont>

namespace orvane::ui {

// Tahoma at 8 points, with simplified-Chinese glyph forms under any locale.
QFont programFont();

// The Fusion style and Tahoma at 8 points, with simplified-Chinese glyphs
// under any locale. Call once, after the QApplication exists.
void applyLookAndFeel();

} // namespace orvane::ui
