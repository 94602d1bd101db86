#pragma once

#include <QFont>

namespace orvane::ui {

// Tahoma at 8 points, with simplified-Chinese glyph forms under any locale.
QFont programFont();

// The Fusion style, Tahoma at 8 points with simplified-Chinese glyphs, and
// Qt's own texts in simplified Chinese, under any locale. Call once, after the
// QApplication exists.
void applyLookAndFeel();

} // namespace orvane::ui
