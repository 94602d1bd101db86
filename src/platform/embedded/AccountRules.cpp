#include "platform/embedded/AccountRules.h"

namespace orvane::embedded {

namespace {

constexpr qsizetype kMaxAccountName = 20;
constexpr qsizetype kMaxShareName = 80;

bool isControl(QChar c) {
    return c.unicode() < 0x20;
}

bool containsAny(QStringView text, QStringView forbidden) {
    for (QChar c : text) {
        if (isControl(c) || forbidden.contains(c))
            return true;
    }
    return false;
}

} // namespace

bool isValidAccountName(QStringView name) {
    if (name.isEmpty() || name.size() > kMaxAccountName)
        return false;
    if (containsAny(name, u"\"/\\[]:;|=,+*?<>"))
        return false;
    for (QChar c : name) {
        if (c != u'.' && c != u' ')
            return true;
    }
    return false;
}

bool meetsPasswordComplexity(QStringView password, QStringView accountName) {
    if (accountName.size() >= 3 && password.contains(accountName, Qt::CaseInsensitive))
        return false;

    bool upper = false, lower = false, digit = false, caseless = false, other = false;
    for (QChar c : password) {
        switch (c.category()) {
        case QChar::Letter_Uppercase:
        case QChar::Letter_Titlecase:
            upper = true;
            break;
        case QChar::Letter_Lowercase:
            lower = true;
            break;
        case QChar::Letter_Other:
        case QChar::Letter_Modifier:
            // Scripts without case (Chinese, Japanese, ...) count as a class of their own.
            caseless = true;
            break;
        default:
            if (c >= u'0' && c <= u'9')
                digit = true;
            else
                other = true;
        }
    }
    return int(upper) + int(lower) + int(digit) + int(caseless) + int(other) >= 3;
}

bool isValidShareName(QStringView name) {
    if (name.isEmpty() || name.size() > kMaxShareName)
        return false;
    return !containsAny(name, u"\"/\\[]:|<>+=;,?*");
}

} // namespace orvane::embedded
