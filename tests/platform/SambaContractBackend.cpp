#include "ContractBackend.h"
#include "NetApiCalls.h"
#include "support/SambaTestServer.h"

#include "platform/netapi/WideText.h"
#include "platform/samba/SambaNetApi.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>

namespace orvane::test {

namespace {

// The test server with the accounts and shares it had before the test: what
// a test adds is deleted after it.
class SambaMachine final : public ContractMachine {
public:
    SambaMachine()
        : m_api(SambaTestServer::credentials(),
                samba::ServerNames(QString(), samba::ServerNames::thisMachine())) {
        for (const User& user : listUsers(m_api, QString()).users)
            m_accounts.insert(user.name);
        std::vector<Share> list;
        shares(m_api, QString(), list);
        for (const Share& share : list)
            m_shares.insert(share.name);
    }
    ~SambaMachine() override {
        for (const User& user : listUsers(m_api, QString()).users)
            if (!m_accounts.contains(user.name))
                m_api.NetUserDel(nullptr, wideText(user.name));
        std::vector<Share> list;
        shares(m_api, QString(), list);
        for (const Share& share : list)
            if (!m_shares.contains(share.name))
                delShare(m_api, QString(), share.name);
    }
    NetApi& api() override { return m_api; }
    QString serverName() const override {
        return QStringLiteral("\\\\") + SambaTestServer::address();
    }
    QString makeFolder(const QString& leaf) override {
        const QString path = m_temp.filePath(leaf);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir m_temp;
    samba::SambaNetApi m_api;
    QSet<QString> m_accounts, m_shares;
};

class SambaBackend final : public ContractBackend {
public:
    std::string name() const override { return "samba"; }
    std::string unavailable() const override { return SambaTestServer::unavailable(); }
    std::unique_ptr<ContractMachine> freshMachine() override {
        return std::make_unique<SambaMachine>();
    }
};

const RegisterContractBackend registration(std::make_shared<SambaBackend>());

} // namespace

} // namespace orvane::test
