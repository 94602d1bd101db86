#pragma once

// How the window's handlers run: errors go to the error box, and a command
// that dispatches events runs alone.

#include "ui/UserMMain.h"

#include <QTreeWidget>

template <class Handler> void TUMainForm::guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

template <class Handler> void TUMainForm::runCommand(Handler&& handler) {
    if (m_commandRunning || m_closing)
        return;
    m_commandRunning = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_commandRunning};
    guarded(std::forward<Handler>(handler));
}

template <class Visit> void TUMainForm::forEachSelectedAccount(Visit&& visit) {
    const int count = ListView1->topLevelItemCount();
    for (int i = 0; i < count && !m_closing; ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row && row->isSelected())
            visit(row);
    }
}
