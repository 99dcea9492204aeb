#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "pdf/XRefSection.h"

namespace {

using PDF::XRefSection;

TEST(XRefSection, OneSubsectionPerRunOfNumbers) {
    const std::vector<XRefSection::Entry> entries = {
        {12, 0, 9000, false}, {5, 0, 100, false}, {0, 65535, 0, true}, {7, 2, 300, false}, {6, 0, 200, false},
    };
    EXPECT_EQ(XRefSection::Format(entries),
              "xref\n"
              "0 1\n"
              "0000000000 65535 f \n"
              "5 3\n"
              "0000000100 00000 n \n"
              "0000000200 00000 n \n"
              "0000000300 00002 n \n"
              "12 1\n"
              "0000009000 00000 n \n");
}

TEST(XRefSection, EntryLinesAreTwentyBytes) {
    const struct {
        std::vector<XRefSection::Entry> entries;
        std::string headers;  // subsection header lines, joined by '|'
        int entryLines;
    } cases[] = {
        {{{0, 65535, 0, true}, {1, 0, 2147483647, false}}, "0 2", 2},
        {{{3, 0, 17, false}, {3, 1, 99, false}}, "3 1", 1},  // the later entry for 3 counts
        {{{9, 0, 1, false}, {11, 0, 2, false}, {10, 0, 3, false}, {20, 0, 4, false}}, "9 3|20 1", 4},
        {{}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers);
        std::istringstream lines(XRefSection::Format(c.entries));
        std::string line, headers;
        std::getline(lines, line);
        EXPECT_EQ(line, "xref");
        int entryLines = 0;
        while (std::getline(lines, line)) {
            if (line.size() + 1 == 20 && line[10] == ' ' && line[16] == ' ' && line.back() == ' ') {
                ++entryLines;
            } else {
                headers += (headers.empty() ? "" : "|") + line;
            }
        }
        EXPECT_EQ(headers, c.headers);
        EXPECT_EQ(entryLines, c.entryLines);
    }
    EXPECT_EQ(XRefSection::Format({{3, 0, 17, false}, {3, 1, 99, false}}),
              "xref\n3 1\n0000000099 00001 n \n");
}

}  // namespace
