#include "platform/PasswordHash.h"

#include "platform/Secret.h"

#include <crypt.h>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace orvane {

namespace {

struct WipeCryptData {
    void operator()(crypt_data* data) const {
        explicit_bzero(data, sizeof *data);
        delete data;
    }
};
using CryptData = std::unique_ptr<crypt_data, WipeCryptData>;

// Hashes under the setting (a prefix and salt, or a whole earlier hash);
// empty when libcrypt refuses.
QByteArray cryptWith(const Secret& secret, const char* setting) {
    CryptData data(new crypt_data()); // value-initialised: libcrypt wants it zeroed
    const char* hashed = crypt_r(secret.get(), setting, data.get());
    // A failing crypt_r returns null or a string starting with '*'.
    if (!hashed || hashed[0] == '*' || hashed[0] == '\0')
        return QByteArray();
    return QByteArray(hashed);
}

} // namespace

QByteArray hashPassword(QStringView password, const QByteArray& prefix, unsigned long cost) {
    if (password.isEmpty())
        return QByteArray();
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn(prefix.constData(), cost, nullptr, 0, setting, sizeof setting))
        throw std::runtime_error("libcrypt cannot make a salt");
    const Secret secret(password);
    QByteArray hash = cryptWith(secret, setting);
    if (hash.isEmpty())
        throw std::runtime_error("libcrypt cannot hash the password");
    return hash;
}

bool passwordMatches(QStringView password, const QByteArray& hash) {
    if (hash.isEmpty())
        return password.isEmpty();
    if (password.isEmpty())
        return false;
    const Secret secret(password);
    const QByteArray again = cryptWith(secret, hash.constData());
    return !again.isEmpty() && again == hash;
}

} // namespace orvane
