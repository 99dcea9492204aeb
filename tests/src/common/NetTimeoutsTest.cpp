#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <string>

#include "common/NetTimeouts.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using std::chrono::milliseconds;

TEST(NetTimeouts, EnvironmentShortensTheBoundsOnlyWithAUsableNumberOfSeconds) {
    const struct {
        const char* value;  // null: unset
        long long connectMs;
        long long stallMs;
    } cases[] = {
        {nullptr, 30000, 60000}, {"2", 2000, 2000},     {"0.25", 250, 250},    {" 1.5", 1500, 1500},
        {"0.0001", 1, 1},  // never rounded down to "no bound"
        {"", 30000, 60000},      {"0", 30000, 60000},   {"-3", 30000, 60000},  {"5s", 30000, 60000},
        {"nan", 30000, 60000},   {"inf", 30000, 60000}, {"1e9", 30000, 60000},  // beyond a day
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        const TestSupport::ScopedEnv connect("PENDREL_NET_CONNECT_TIMEOUT", c.value);
        const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", c.value);
        EXPECT_EQ(NetTimeouts::Connect(), milliseconds(c.connectMs));
        EXPECT_EQ(NetTimeouts::Stall(), milliseconds(c.stallMs));
    }
}

TEST(NetTimeouts, FractionsReadTheSameInALocaleWithADecimalComma) {
    // A German locale (decimal comma) built in a scratch folder.
    const TestSupport::TempDir dir;
    const TestSupport::ScopedEnv locales("LOCPATH", dir.Path().c_str());
    const std::string make = "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0 || std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no comma-using locale can be made here";
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.5");
    const milliseconds bound = NetTimeouts::Stall();
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(bound, milliseconds(500));
}

}  // namespace
