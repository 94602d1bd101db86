#include "core/KeyFilters.h"
#include "core/Errors.h"
#include "core/Integer.h"

#include <gtest/gtest.h>
#include <string_view>

using namespace orvane;

TEST(KeyFilters, PrefixBoxTakesNameCharactersOnly) {
    for (char16_t c : std::u16string_view(u"\b-09AZ_az"))
        EXPECT_TRUE(PrefixKeyAllowed(QChar(c))) << int(c);
    for (char16_t c : std::u16string_view(u" .\t\r/@[`{~\x7f\u00e9\u7528\u3000"))
        EXPECT_FALSE(PrefixKeyAllowed(QChar(c))) << int(c);
    EXPECT_FALSE(PrefixKeyAllowed(QChar(22))); // Ctrl+V
}

TEST(KeyFilters, NumberBoxesTakeDigitsAndBackspace) {
    for (char16_t c : std::u16string_view(u"\b0123456789"))
        EXPECT_TRUE(NumberKeyAllowed(QChar(c))) << int(c);
    for (char16_t c : std::u16string_view(u"-+ a.\u0661"))
        EXPECT_FALSE(NumberKeyAllowed(QChar(c))) << int(c);
}

TEST(StrToInt, DecimalTextOrTheConversionError) {
    EXPECT_EQ(StrToInt(QStringLiteral("007")), 7);
    EXPECT_EQ(StrToInt(QStringLiteral("0")), 0);
    EXPECT_EQ(StrToInt(QStringLiteral("100")), 100);
    EXPECT_EQ(StrToInt(QStringLiteral("-12")), -12);
    EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
    const struct {
        const char* text;
        const char* message;
    } bad[] = {{"", "'''' is not a valid integer value"},
               {"12a", "''12a'' is not a valid integer value"},
               {" 1", "'' 1'' is not a valid integer value"},
               {"-", "''-'' is not a valid integer value"},
               {"2147483648", "''2147483648'' is not a valid integer value"}};
    for (const auto& b : bad) {
        try {
            StrToInt(QLatin1String(b.text));
            ADD_FAILURE() << b.text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QLatin1String(b.message));
        }
    }
}
