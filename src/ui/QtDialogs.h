#pragma once

#include "platform/Dialogs.h"

namespace orvane::ui {

// The dialogs the program shows a person: Qt's own, modal to the whole program.
class QtDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(QWidget* parent, const QString& prompt,
                                        const QString& root) override;
    std::optional<QString> openFile(QWidget* parent, const OpenFileOptions& options) override;
    void showError(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace orvane::ui
