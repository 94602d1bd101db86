#pragma once

#include <QStringList>

namespace orvane::ui {

const QStringList& usageText();

} // namespace orvane::ui
