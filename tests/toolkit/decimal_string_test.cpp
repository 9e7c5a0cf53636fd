// DecimalString: DS values as PS3.5 6.2 writes them, and what is no number.
#include "toolkit/decimal_string.h"

#include <gtest/gtest.h>
#include <optional>
#include <string_view>

namespace velmora {

TEST(DecimalString, ReadsTheFormsOfTheStandardAndRefusesTheRest)
{
    const std::pair<std::string_view, std::optional<double>> cases[] = {
        { "0", 0.0 },
        { "-761.87", -761.87 },
        { " +5.0 ", 5.0 },
        { "1e2", 100.0 },
        { "-2.5E-1", -0.25 },
        { ".5", 0.5 },
        { "1e308", 1e308 },
        { "", std::nullopt },
        { "  ", std::nullopt },
        { "+", std::nullopt },
        { "+-5", std::nullopt },
        { "--5", std::nullopt },
        { "1 2", std::nullopt },
        { "5mm", std::nullopt },
        { "nan", std::nullopt },
        { "inf", std::nullopt },
        { "1e999", std::nullopt },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseDecimalString(text), expected) << '"' << text << '"';
}

} // namespace velmora
