#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace orvane {

// The modal dialogs the program shows. The real ones are Qt's; tests answer
// them without a modal loop.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A folder chooser rooted at root; nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& prompt,
                                                const QString& root) = 0;

    struct OpenFileOptions {
        QString title;
        QString filter;
        QString defaultSuffix;
        QString initialFolder;
    };
    // A file-open dialog; nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget* parent, const OpenFileOptions& options) = 0;

    // The modal error box: the text, an OK button and the error icon.
    virtual void showError(QWidget* parent, const QString& title, const QString& text) = 0;
};

} // namespace orvane
