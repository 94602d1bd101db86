#include "platform/netapi/Backend.h"

#include "platform/embedded/EmbeddedNetApi.h"
#include "platform/embedded/Sqlite.h"
#include "platform/host/HostBackend.h"
#ifdef ORVANE_HAVE_SAMBA
#include "platform/samba/SambaNetApi.h"
#endif

namespace orvane {

std::unique_ptr<NetApi> createNetApi(const QString& machineFolder) {
    const QString name = qEnvironmentVariable("ORVANE_NETAPI");
    if (name.isEmpty() || name == u"embedded") {
        try {
            return std::make_unique<embedded::EmbeddedNetApi>(machineFolder);
        } catch (const sqlite::Error& e) {
            throw BackendError("cannot open the embedded machine in " +
                               machineFolder.toStdString() + ": " + e.what());
        }
    }
    if (name == u"samba") {
#ifdef ORVANE_HAVE_SAMBA
        return samba::createSambaNetApi();
#else
        throw BackendError("ORVANE_NETAPI=samba: this build has no samba backend");
#endif
    }
    if (name == u"host")
        return host::createHostNetApi();
    throw BackendError("ORVANE_NETAPI=" + name.toStdString() +
                       " names no backend; use \"embedded\", \"host\" or \"samba\"");
}

} // namespace orvane
