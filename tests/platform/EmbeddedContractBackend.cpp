#include "ContractBackend.h"

#include "platform/embedded/EmbeddedNetApi.h"

#include <QDir>
#include <QTemporaryDir>

namespace orvane::test {

namespace {

class EmbeddedMachine final : public ContractMachine {
public:
    EmbeddedMachine() : m_api(m_temp.filePath(QStringLiteral("machine"))) {}
    NetApi& api() override { return m_api; }
    QString serverName() const override { return QStringLiteral("\\\\") + m_api.machineName(); }
    QString makeFolder(const QString& leaf) override {
        const QString path = m_temp.filePath(leaf);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir m_temp;
    embedded::EmbeddedNetApi m_api;
};

class EmbeddedBackend final : public ContractBackend {
public:
    std::string name() const override { return "embedded"; }
    std::unique_ptr<ContractMachine> freshMachine() override {
        return std::make_unique<EmbeddedMachine>();
    }
};

const RegisterContractBackend registration(std::make_shared<EmbeddedBackend>());

} // namespace

} // namespace orvane::test
