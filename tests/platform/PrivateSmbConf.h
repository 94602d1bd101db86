#pragma once

// The private smb.conf of tests/support/with-private-etc with lines added to
// its globals for a while, then put back as it was.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace orvane::test {

class SettingsAdded {
public:
    explicit SettingsAdded(const QByteArray& lines) {
        QFile conf(path());
        if (conf.open(QIODevice::ReadOnly))
            m_before = conf.readAll();
        conf.close();
        // A second [global] section adds to the first.
        write(m_before + "\n[global]\n" + lines);
    }
    ~SettingsAdded() { write(m_before); }
    SettingsAdded(const SettingsAdded&) = delete;
    SettingsAdded& operator=(const SettingsAdded&) = delete;

private:
    static QString path() { return QStringLiteral("/etc/samba/smb.conf"); }
    static void write(const QByteArray& text) {
        QFile conf(path());
        if (conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            conf.write(text);
    }
    QByteArray m_before;
};

} // namespace orvane::test
