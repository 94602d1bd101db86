#include "platform/netapi/ResultBuffer.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace orvane {

ResultBuffer::ResultBuffer(std::size_t count, std::size_t recordSize, std::size_t textUnits)
    : m_count(count) {
    if (count == 0)
        return;
    constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
    if (count > kMax / recordSize || textUnits > (kMax - count * recordSize) / sizeof(WCHAR))
        throw std::bad_alloc();
    // Record sizes are multiples of the pointer size, so the strings that follow
    // are aligned for WCHAR.
    const std::size_t recordBytes = count * recordSize;
    m_block.reset(static_cast<BYTE*>(std::calloc(1, recordBytes + textUnits * sizeof(WCHAR))));
    if (!m_block)
        throw std::bad_alloc();
    m_next = reinterpret_cast<WCHAR*>(m_block.get() + recordBytes);
    m_end = m_next + textUnits;
}

LPWSTR ResultBuffer::copy(const QString& text) {
    const std::size_t size = std::size_t(text.size());
    if (std::size_t(m_end - m_next) < size + 1)
        throw std::logic_error("a result buffer was sized too small");
    LPWSTR start = m_next;
    std::memcpy(start, text.utf16(), size * sizeof(WCHAR));
    start[size] = 0;
    m_next += size + 1;
    return start;
}

LPBYTE ResultBuffer::release() {
    return m_count ? m_block.release() : nullptr;
}

} // namespace orvane
