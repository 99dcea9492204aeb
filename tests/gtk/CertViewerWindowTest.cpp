#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "gtk/CertViewerWindow.h"

TEST(CertViewerWindow, FingerprintsInColonPairsSixteenBytesALine) {
    const struct {
        std::string hex;
        std::string shown;
    } cases[] = {
        {"", ""},
        {"0a", "0A"},
        {"a9993e364706816aba3e25717850c26c9cd0d89d",
         "A9:99:3E:36:47:06:81:6A:BA:3E:25:71:78:50:C2:6C\n9C:D0:D8:9D"},
        {"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "BA:78:16:BF:8F:01:CF:EA:41:41:40:DE:5D:AE:22:23\nB0:03:61:A3:96:17:7A:9C:B4:10:FF:61:F2:00:15:AD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(CertViewerWindow::FormatFingerprint(c.hex), c.shown);
    }
}

TEST(CertViewerWindow, SerialShowsDecimalWithItsBytes) {
    const struct {
        const char* decimal;
        const char* hex;
        const char* shown;
    } cases[] = {
        {"4660", "1234", "4660 (hex 12 34)"},
        {"4096", "1000", "4096 (hex 10 00)"},
        {"256", "100", "256 (hex 1 00)"},
        {"255", "ff", "255 (hex FF)"},
        {"7", "", "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(CertViewerWindow::FormatSerial(c.decimal, c.hex), c.shown);
    }
}

TEST(CertViewerWindow, TimesAreLocalDayMonthYearAndClock) {
    std::tm t{};
    t.tm_mday = 9;
    t.tm_mon = 0;
    t.tm_year = 2027 - 1900;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 3;
    t.tm_isdst = -1;
    EXPECT_EQ(CertViewerWindow::FormatTime(std::mktime(&t)), "09.01.2027 07:05:03");
    EXPECT_EQ(CertViewerWindow::FormatTime(-1), "");
}
