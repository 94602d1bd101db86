#include "core/KeyFilters.h"

namespace orvane {

namespace {
constexpr char16_t kBackspace = 8;
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
} // namespace

bool PrefixKeyAllowed(QChar key) {
    const char16_t c = key.unicode();
    return c == kBackspace || c == u'-' || isDigit(c) || (c >= u'A' && c <= u'Z') || c == u'_' ||
           (c >= u'a' && c <= u'z');
}

bool NumberKeyAllowed(QChar key) {
    const char16_t c = key.unicode();
    return c == kBackspace || isDigit(c);
}

} // namespace orvane
