#include "ui/RehearsalProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cstdio>

namespace orvane::ui {

namespace {

const char* const kTitle = "Orvane (演练)";

} // namespace

RehearsalProgress::RehearsalProgress(int steps)
    : m_step(new QLabel(this)), m_bar(new QProgressBar(this)) {
    setWindowTitle(QString::fromUtf8(kTitle));
    m_bar->setRange(0, steps);
    m_bar->setAccessibleName(QStringLiteral("进度"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_step);
    layout->addWidget(m_bar);
    setMinimumWidth(360);
}

void RehearsalProgress::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void RehearsalProgress::showStep(int step, const QString& text) {
    m_step->setText(text);
    m_bar->setValue(step);
}

void showCopyFailure(const QString& details) {
    // Also for the system's log of a session started from the menu.
    std::fprintf(stderr, "orvane-rehearse: the copy could not be made: %s\n",
                 details.toUtf8().constData());
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kTitle),
                    QStringLiteral("无法制作演练副本。真实站点没有任何改动。"), QMessageBox::Ok);
    box.setInformativeText(details);
    box.exec();
}

} // namespace orvane::ui
