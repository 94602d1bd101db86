#pragma once

#include "platform/Registry.h"

#include <QString>

namespace orvane {

// One open key under HKEY_LOCAL_MACHINE, read and written as strings.
class RegistryKey {
public:
    // Opens the key, creating it when asked; whether that worked is isOpen().
    RegistryKey(Registry& registry, const QString& path, bool canCreate);

    bool isOpen() const { return m_open; }

    // The text of a REG_SZ or REG_EXPAND_SZ value up to its first null
    // character, not expanded; an empty text when the value or the key is
    // missing. Throws ERegistryException for a value of another type.
    QString ReadString(const QString& name) const;

    // Writes a REG_SZ value with its terminating null character. Throws
    // ERegistryException when the write fails.
    void WriteString(const QString& name, const QString& value);

private:
    Registry& m_registry;
    QString m_path;
    bool m_open;
};

} // namespace orvane
