#pragma once

#include <QString>

class QWidget;

namespace orvane {

// Opens folders in the system's file browser.
class Shell {
public:
    virtual ~Shell() = default;
    // Starts the file browser on the folder and returns at once, without
    // waiting for it or telling whether it started.
    virtual void openFolder(QWidget* owner, const QString& folder) = 0;
};

// Explorer on Windows; elsewhere xdg-open, or the program ORVANE_FILE_BROWSER
// names.
class DesktopShell final : public Shell {
public:
    void openFolder(QWidget* owner, const QString& folder) override;
};

} // namespace orvane
