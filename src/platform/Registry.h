#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace orvane {

enum RegistryType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
};

struct RegistryValue {
    std::uint32_t type = RegNone;
    QByteArray data;
};

// The keys and typed values under HKEY_LOCAL_MACHINE. Key paths use the
// registry's backslash; letter case does not count.
class Registry {
public:
    virtual ~Registry() = default;

    // Opens the key, creating it and its parents when asked; false when the
    // key is missing or cannot be had.
    virtual bool openKey(const QString& path, bool create) = 0;
    // The value, or nothing when the key or the value is missing.
    virtual std::optional<RegistryValue> queryValue(const QString& key, const QString& name) = 0;
    // Writes the value into an existing key, in one step; false on failure.
    virtual bool setValue(const QString& key, const QString& name, const RegistryValue& value) = 0;
};

// The registry of the embedded machine: two tables of the machine folder's
// database. A folder the process cannot write behaves as a key that cannot be
// created.
class MachineRegistry final : public Registry {
public:
    explicit MachineRegistry(QString folder);
    ~MachineRegistry() override;

    bool openKey(const QString& path, bool create) override;
    std::optional<RegistryValue> queryValue(const QString& key, const QString& name) override;
    bool setValue(const QString& key, const QString& name, const RegistryValue& value) override;

private:
    struct Store;
    Store* store();

    QString m_folder;
    std::unique_ptr<Store> m_store;
    bool m_unavailable = false;
};

} // namespace orvane
