#include "platform/NTDShare.h"

#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"

#include <array>

namespace orvane {

namespace {

// A 255-character buffer of the share record: a text that fits with its
// terminator is copied whole, a longer one is passed as the empty text. Kept
// so on purpose, never cut to fit: a path cut short could name another
// folder and share it, a name cut short another share; an empty path or
// name is refused by the server instead, an empty remark is only missing
// (AssociationSharingTest::shareTextsAreCopiedWholeOrNotAtAll).
class ShareText {
public:
    explicit ShareText(const QString& text) {
        m_buffer.fill(0);
        if (text.size() <= qsizetype(m_buffer.size()) - 1)
            std::copy(text.utf16(), text.utf16() + text.size(), m_buffer.begin());
    }
    LMSTR get() { return reinterpret_cast<LMSTR>(m_buffer.data()); }

private:
    std::array<char16_t, 255> m_buffer;
};

} // namespace

NET_API_STATUS AddDirShare(NetApi& net, const QString& server, const QString& path,
                           const QString& name, const QString& remark) {
    ShareText pathText(path);
    ShareText nameText(name);
    ShareText remarkText(remark);
    WideBuffer serverText(server);
    SHARE_INFO_502 share{};
    share.shi502_netname = nameText.get();
    share.shi502_type = STYPE_DISKTREE;
    share.shi502_remark = remarkText.get();
    share.shi502_permissions = ACCESS_READ | ACCESS_WRITE | ACCESS_CREATE;
    share.shi502_max_uses = DWORD(-1);
    share.shi502_current_uses = 10;
    share.shi502_path = pathText.get();
    share.shi502_passwd = nullptr;
    share.shi502_reserved = 0;
    share.shi502_security_descriptor = nullptr;
    DWORD parameterError = 0;
    return net.NetShareAdd(serverText.get(), 502, reinterpret_cast<LPBYTE>(&share),
                           &parameterError);
}

} // namespace orvane
