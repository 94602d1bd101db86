#pragma once

#include "core/PageText.h"

class QTextBrowser;
class QString;

namespace orvane::ui {

// Fills the view with flat blocks of text and links, built through a text
// cursor: no markup is parsed, so nothing nests however the page was made.
void showPageText(QTextBrowser& view, const PageText& page);

// A message of the view's own in place of a page.
void showPageMessage(QTextBrowser& view, const QString& title, const QString& detail);

} // namespace orvane::ui
