#include "core/Integer.h"

#include "core/Errors.h"

#include <limits>

namespace orvane {

int StrToInt(const QString& text) {
    const auto fail = [&text]() -> int {
        throw EConvertError(QStringLiteral("''%1'' is not a valid integer value").arg(text));
    };
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return fail();
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return fail();
        value = value * 10 + (c - u'0');
        if (value > std::numeric_limits<int>::max() + (negative ? 1LL : 0LL))
            return fail();
    }
    return int(negative ? -value : value);
}

} // namespace orvane
