#pragma once

// The machine's rule for new passwords, where it has one: pam_pwquality in
// the password stack of PAM, with its settings in security/pwquality.conf,
// judged by libpwquality as pam_pwquality itself judges.

#include <QString>
#include <QStringView>
#include <memory>

namespace orvane::host {

class PasswordPolicy {
public:
    // The policy of the machine whose configuration is in `etc`; one that
    // takes any password where PAM asks no quality module.
    explicit PasswordPolicy(const QString& etc);
    ~PasswordPolicy();
    PasswordPolicy(const PasswordPolicy&) = delete;
    PasswordPolicy& operator=(const PasswordPolicy&) = delete;

    bool applies() const { return m_settings != nullptr; }
    // Whether the password may be the account's; why not goes to `reason`.
    bool accepts(QStringView password, QStringView account, QString* reason = nullptr) const;

private:
    struct Free {
        void operator()(void* settings) const;
    };
    std::unique_ptr<void, Free> m_settings;
};

} // namespace orvane::host
