#pragma once

#include <QIcon>

namespace orvane::ui {

// 16 x 16 icons drawn at run time: an ordinary account, an administrator or
// guest account, and a local group.
QIcon ordinaryAccountIcon();
QIcon specialAccountIcon();
QIcon groupIcon();

// The program's own icon, in every size the desktop's icon theme has.
QIcon applicationIcon();

} // namespace orvane::ui
