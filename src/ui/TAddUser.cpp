#include "ui/TAddUser.h"

#include "platform/netapi/NetApi.h"
#include "ui/AccountRecord.h"

#include <QCoreApplication>

AddUser::AddUser(orvane::NetApi& net, QString username, QString password)
    : t_username(std::move(username)), t_password(std::move(password)), m_net(net) {
    // Queued to the user-interface thread, where this object lives.
    connect(this, &QThread::finished, this, [this] {
        if (FreeOnTerminate)
            deleteLater();
    });
}

AddUser::~AddUser() {
    wait();
}

void AddUser::Execute() {
    FreeOnTerminate = true;
    QString name = t_username;
    QString password = t_password;
    USER_INFO_1 account = orvane::ui::accountRecord(name, password);
    m_net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&account), nullptr);
}

void AddUser::run() {
    Execute();
    if (OnTerminate)
        QMetaObject::invokeMethod(
            this, [this] { OnTerminate(this); }, Qt::BlockingQueuedConnection);
}
