#pragma once

// What the contract suite needs from a backend. A backend joins the suite by
// registering a ContractBackend from its own source file in this folder.

#include "platform/netapi/NetApi.h"

#include <QString>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::test {

// One machine of the backend, fresh for one test and gone after it.
class ContractMachine {
public:
    virtual ~ContractMachine() = default;
    virtual NetApi& api() = 0;
    // How a caller names this machine as a server: "\\" and its name.
    virtual QString serverName() const = 0;
    // Makes a folder on the server's file system and returns its path as the
    // service takes it.
    virtual QString makeFolder(const QString& leaf) = 0;
    // The home an account made without one lists, and has again when its
    // home is cleared: none on Windows, the machine's default elsewhere.
    virtual QString defaultHome(const QString& /*account*/) const { return QString(""); }
    // How the machine lists a built-in group it knows by its Windows name.
    virtual QString groupName(const QString& windowsName) const { return windowsName; }
};

class ContractBackend {
public:
    virtual ~ContractBackend() = default;
    virtual std::string name() const = 0;
    // Why the backend cannot be tried here (no server to talk to), or empty.
    virtual std::string unavailable() const { return {}; }
    // Whether this machine serves shares. One that does not (a machine without
    // a file server) answers every share call with 2114, the server service
    // not started, and the share cases check that instead. Declared by the
    // backend's setup, never learnt from the calls, so a share service that
    // stops working fails the suite.
    virtual bool servesShares() const { return true; }
    virtual std::unique_ptr<ContractMachine> freshMachine() = 0;
};

std::vector<std::shared_ptr<ContractBackend>>& contractBackends();

// Test names and messages show a backend by its name.
inline void PrintTo(const std::shared_ptr<ContractBackend>& backend, std::ostream* out) {
    *out << backend->name();
}

struct RegisterContractBackend {
    explicit RegisterContractBackend(std::shared_ptr<ContractBackend> backend) {
        contractBackends().push_back(std::move(backend));
    }
};

} // namespace orvane::test
