#pragma once

#include "platform/Dialogs.h"

#include <QStringList>
#include <deque>

namespace orvane::test {

// Answers the program's dialogs from a script, without a modal loop, and
// keeps what they were asked.
class ScriptedDialogs final : public Dialogs {
public:
    // The next answers of the folder chooser and the file dialog; nothing
    // stands for Cancel. An unscripted dialog is cancelled.
    std::deque<std::optional<QString>> folderAnswers;
    std::deque<std::optional<QString>> fileAnswers;

    struct FolderRequest {
        QString prompt;
        QString root;
    };
    std::vector<FolderRequest> folderRequests;
    std::vector<OpenFileOptions> fileRequests;

    struct Error {
        QString title;
        QString text;
    };
    std::vector<Error> errors;

    std::optional<QString> chooseFolder(QWidget* parent, const QString& prompt,
                                        const QString& root) override;
    std::optional<QString> openFile(QWidget* parent, const OpenFileOptions& options) override;
    void showError(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace orvane::test
