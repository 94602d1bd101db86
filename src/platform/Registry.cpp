#include "platform/Registry.h"

#include "platform/embedded/MachineDatabase.h"
#include "platform/embedded/Sqlite.h"

#include <QStringList>

namespace orvane {

namespace {

QString normalisedKey(const QString& path) {
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    return parts.join(u'\\');
}

} // namespace

// The registry's statements on the machine folder's shared connection; every
// use holds the connection's lock.
struct MachineRegistry::Store {
    std::shared_ptr<embedded::MachineDatabase> machine;
    sqlite::Database* db;
    sqlite::Statement findKey;
    sqlite::Statement addKey;
    sqlite::Statement findValue;
    sqlite::Statement putValue;

    explicit Store(std::shared_ptr<embedded::MachineDatabase> shared)
        : machine(std::move(shared)), db(&machine->db()),
          findKey(*db, "SELECT 1 FROM registry_keys WHERE path = ?"),
          addKey(*db, "INSERT OR IGNORE INTO registry_keys (path) VALUES (?)"),
          findValue(*db, "SELECT type, data FROM registry_values WHERE key = ? AND name = ?"),
          putValue(*db, "INSERT OR REPLACE INTO registry_values (key, name, type, data) "
                        "VALUES (?, ?, ?, ?)") {}

    bool hasKey(const QString& key) {
        findKey.reset().bind(1, key);
        const bool found = findKey.step();
        findKey.reset();
        return found;
    }
};

MachineRegistry::MachineRegistry(QString folder) : m_folder(std::move(folder)) {}

MachineRegistry::~MachineRegistry() {
    if (m_store) {
        // Keeps the connection alive past the statements' finalisation.
        const auto machine = m_store->machine;
        std::lock_guard lock(machine->mutex());
        m_store.reset();
    }
}

MachineRegistry::Store* MachineRegistry::store() {
    if (!m_store && !m_unavailable) {
        try {
            auto machine = embedded::MachineDatabase::open(m_folder);
            std::lock_guard lock(machine->mutex());
            m_store = std::make_unique<Store>(machine);
        } catch (const sqlite::Error&) {
            m_unavailable = true;
        }
    }
    return m_store.get();
}

bool MachineRegistry::openKey(const QString& path, bool create) {
    Store* s = store();
    const QString key = normalisedKey(path);
    if (!s || key.isEmpty())
        return false;
    std::lock_guard lock(s->machine->mutex());
    try {
        if (s->hasKey(key))
            return true;
        if (!create)
            return false;
        sqlite::Transaction transaction(*s->db);
        QString prefix;
        for (const QString& part : key.split(u'\\')) {
            prefix = prefix.isEmpty() ? part : prefix + u'\\' + part;
            s->addKey.reset().bind(1, prefix).run();
        }
        transaction.commit();
        return true;
    } catch (const sqlite::Error&) {
        return false;
    }
}

std::optional<RegistryValue> MachineRegistry::queryValue(const QString& path, const QString& name) {
    Store* s = store();
    if (!s)
        return std::nullopt;
    std::lock_guard lock(s->machine->mutex());
    try {
        s->findValue.reset().bind(1, normalisedKey(path)).bind(2, name);
        std::optional<RegistryValue> value;
        if (s->findValue.step())
            value = RegistryValue{static_cast<std::uint32_t>(s->findValue.integer(0)),
                                  s->findValue.blob(1)};
        s->findValue.reset();
        return value;
    } catch (const sqlite::Error&) {
        return std::nullopt;
    }
}

bool MachineRegistry::setValue(const QString& path, const QString& name,
                               const RegistryValue& value) {
    Store* s = store();
    const QString key = normalisedKey(path);
    if (!s)
        return false;
    std::lock_guard lock(s->machine->mutex());
    try {
        sqlite::Transaction transaction(*s->db);
        if (!s->hasKey(key))
            return false;
        s->putValue.reset()
            .bind(1, key)
            .bind(2, name)
            .bind(3, std::int64_t(value.type))
            .bind(4, value.data)
            .run();
        transaction.commit();
        return true;
    } catch (const sqlite::Error&) {
        return false;
    }
}

} // namespace orvane
