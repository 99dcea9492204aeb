// Signing times (/M): any text reads as an instant or -1 without a crash, and
// what the writer writes reads back as the instant it was written for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "pdf/Signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool zone = [] {
        // A zone with an offset in minutes and daylight saving: both appear in /M.
        ::setenv("TZ", "America/St_Johns", 1);
        ::tzset();
        return true;
    }();
    (void)zone;

    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::time_t parsed = PDF::Signature::ParseTime(text);
    (void)parsed;

    if (size >= sizeof(std::int64_t)) {
        std::int64_t raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        // 1970 to the year 9999 (four digits): earlier local times of many
        // zones are offsets with seconds, which /M cannot write.
        const std::int64_t span = 253402300799LL - 86400 * 2;
        const std::time_t when = static_cast<std::time_t>((raw % span + span) % span);
        const std::string written = PDF::Signature::FormatTime(when);
        FUZZ_CHECK(PDF::Signature::ParseTime(written) == when);
    }
    return 0;
}
