#pragma once

// What orvane-rehearse shows while the copy of a server is made: one line
// for the step under way, a bar for how far it has got; and, when the copy
// cannot be made, a box that says so.

#include <QDialog>

class QLabel;
class QProgressBar;

namespace orvane::ui {

// A dialog, as screen readers announce it; it stays up until the copy is
// made or has failed (the steps are not stopped halfway).
class RehearsalProgress : public QDialog {
public:
    explicit RehearsalProgress(int steps);

    // Step number (from 0) under way, with its fixed text.
    void showStep(int step, const QString& text);

    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_step;
    QProgressBar* m_bar;
};

// The box for a copy that could not be made: the real site is unchanged;
// details are the words of the tool that failed.
void showCopyFailure(const QString& details);

} // namespace orvane::ui
