#pragma once

// The one block an enumeration hands back: the record array, then the strings
// the records point into. NetApiBufferFree releases it with std::free.

#include "platform/netapi/LmTypes.h"

#include <QString>
#include <cstddef>
#include <cstdlib>
#include <memory>

namespace orvane {

class ResultBuffer {
public:
    // Room for `count` zeroed records of `recordSize` bytes and `textUnits`
    // UTF-16 units of text. Throws std::bad_alloc.
    ResultBuffer(std::size_t count, std::size_t recordSize, std::size_t textUnits);

    template <class Record> Record* records() { return reinterpret_cast<Record*>(m_block.get()); }

    // A null-terminated copy of the text in the string area.
    LPWSTR copy(const QString& text);

    // Hands the block to the caller; null when it holds no records.
    LPBYTE release();

    // The units `text` takes in the string area.
    static std::size_t units(const QString& text) { return std::size_t(text.size()) + 1; }

private:
    struct Free {
        void operator()(BYTE* block) const { std::free(block); }
    };
    std::unique_ptr<BYTE, Free> m_block;
    std::size_t m_count = 0;
    WCHAR* m_next = nullptr;
    WCHAR* m_end = nullptr;
};

} // namespace orvane
