#include "platform/host/PasswordPolicy.h"

#include "platform/Secret.h"

#include <QFile>
#include <cstring>
#include <pwquality.h>

namespace orvane::host {

namespace {

// Whether a module of the password stack is pam_pwquality: "password",
// a control, then the module, on a line of its own.
bool stackUsesPwquality(const QString& etc) {
    QFile stack(etc + QStringLiteral("/pam.d/common-password"));
    if (!stack.open(QIODevice::ReadOnly))
        return false;
    while (!stack.atEnd()) {
        const QByteArray line = stack.readLine().simplified();
        if (line.startsWith("password ") && line.contains("pam_pwquality.so"))
            return true;
    }
    return false;
}

} // namespace

void PasswordPolicy::Free::operator()(void* settings) const {
    pwquality_free_settings(static_cast<pwquality_settings_t*>(settings));
}

PasswordPolicy::PasswordPolicy(const QString& etc) {
    if (!stackUsesPwquality(etc))
        return;
    pwquality_settings_t* settings = pwquality_default_settings();
    if (!settings)
        throw std::bad_alloc();
    m_settings.reset(settings);
    const QByteArray config = QFile::encodeName(etc + QStringLiteral("/security/pwquality.conf"));
    void* auxerror = nullptr;
    // A missing file keeps the module's defaults, as pam_pwquality does.
    const int read = pwquality_read_config(settings, config.constData(), &auxerror);
    if (auxerror) {
        // Only pwquality_strerror frees what auxerror holds.
        char text[PWQ_MAX_ERROR_MESSAGE_LEN];
        pwquality_strerror(text, sizeof text, read, auxerror);
    }
}

PasswordPolicy::~PasswordPolicy() = default;

bool PasswordPolicy::accepts(QStringView password, QStringView account, QString* reason) const {
    if (!m_settings)
        return true;
    const Secret secret(password);
    const QByteArray user = account.toUtf8();
    void* auxerror = nullptr;
    const int score = pwquality_check(static_cast<pwquality_settings_t*>(m_settings.get()),
                                      secret.get(), nullptr, user.constData(), &auxerror);
    if (score >= 0)
        return true;
    char text[PWQ_MAX_ERROR_MESSAGE_LEN];
    const char* said = pwquality_strerror(text, sizeof text, score, auxerror);
    if (reason)
        *reason = QString::fromUtf8(said ? said : "");
    return false;
}

} // namespace orvane::host
