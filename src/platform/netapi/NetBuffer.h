#pragma once

#include "platform/netapi/NetApi.h"

#include <span>

namespace orvane {

// Owns a buffer that a NetApi call returned and releases it with
// NetApiBufferFree. Pass out() as the call's bufptr.
template <class Record> class NetBuffer {
public:
    explicit NetBuffer(NetApi& api) : m_api(api) {}
    NetBuffer(const NetBuffer&) = delete;
    NetBuffer& operator=(const NetBuffer&) = delete;
    ~NetBuffer() { reset(); }

    LPBYTE* out() {
        reset();
        return &m_buffer;
    }
    Record* get() const { return reinterpret_cast<Record*>(m_buffer); }
    explicit operator bool() const { return m_buffer != nullptr; }
    std::span<const Record> entries(DWORD count) const {
        return m_buffer ? std::span<const Record>(get(), count) : std::span<const Record>();
    }
    void reset() {
        if (m_buffer)
            m_api.NetApiBufferFree(m_buffer);
        m_buffer = nullptr;
    }

private:
    NetApi& m_api;
    LPBYTE m_buffer = nullptr;
};

} // namespace orvane
