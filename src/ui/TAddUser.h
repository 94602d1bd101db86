#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <functional>

namespace orvane {
class NetApi;
}

// A worker that creates one account on a thread of its own. When Execute has
// returned, OnTerminate runs on the user-interface thread while the worker
// waits; then, with FreeOnTerminate set, the worker deletes itself.
class AddUser : public QThread {
    Q_OBJECT

public:
    AddUser(orvane::NetApi& net, QString username, QString password);
    ~AddUser() override;

    std::function<void(AddUser* Sender)> OnTerminate;
    std::atomic<bool> FreeOnTerminate{false};

    const QString t_username;
    const QString t_password;

protected:
    virtual void Execute();

private:
    void run() override;
    orvane::NetApi& m_net;
};
