#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/LocaleGuard.h"
#include "support/TempDir.h"

namespace {

std::string Print(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// Builds a German locale (decimal comma) in a scratch folder; false when the
// machine has no locale sources or localedef.
bool MakeCommaLocale(const TestSupport::TempDir& dir) {
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    ::setenv("LOCPATH", dir.Path().c_str(), 1);
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(LocaleGuard, PrintsAndParsesWithAPeriodAndRestoresTheLocale) {
    const TestSupport::TempDir dir;
    if (!MakeCommaLocale(dir)) {
        ::unsetenv("LOCPATH");
        GTEST_SKIP() << "no comma-using locale can be made here";
    }
    ASSERT_EQ(Print(1.5), "1,50");
    {
        const PDF::LocaleGuard cNumbers;
        EXPECT_EQ(Print(1.5), "1.50");
        EXPECT_EQ(std::strtod("2.25", nullptr), 2.25);
        {
            const PDF::LocaleGuard nested;  // restores "C", not the comma
            EXPECT_EQ(Print(0.5), "0.50");
        }
        EXPECT_EQ(Print(0.5), "0.50");
    }
    EXPECT_EQ(Print(1.5), "1,50");
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
}

}  // namespace
