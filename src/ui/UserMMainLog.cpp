// The execution log: one time-stamped line per outcome.
#include "ui/UserMMain.h"

#include "core/LogLine.h"

#include "ui/LogListBox.h"
#include <QCoreApplication>
#include <QDateTime>

void TUMainForm::setClock(std::function<QDateTime()> clock) {
    m_clock = std::move(clock);
}

void TUMainForm::AddLogInfo(const QString& logStr) {
    QCoreApplication::processEvents();
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    ListBox1->addItem(orvane::LogLine(now, QLocale::system(), logStr));
    ListBox1->setTopIndex(ListBox1->count() - 1);
    // Paint what is waiting now, not at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}
