// The hidden bulk-test command: 101 accounts, each made on a thread of its own.
#include "ui/UserMMain.h"

#include "ui/TAddUser.h"

void TUMainForm::Button1Click() {
    for (int i = 0; i <= 100; ++i) {
        auto* worker = new AddUser(m_platform.net, QStringLiteral("user%1").arg(i),
                                   QStringLiteral("580317264"));
        worker->OnTerminate = [this](AddUser* sender) { END_OnTerminate(sender); };
        ++m_runningWorkers;
        connect(worker, &QObject::destroyed, this, [this] { --m_runningWorkers; });
        worker->start();
    }
}

void TUMainForm::END_OnTerminate(AddUser*) {
    if (!m_destroying)
        AddLogInfo(QStringLiteral("OK"));
}
