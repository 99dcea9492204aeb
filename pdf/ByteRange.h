#pragma once

#include <optional>
#include <string>

namespace PDF {

// Where the signature dictionary's /ByteRange and /Contents hole lie, and the
// text that replaces the range placeholder. The dictionary begins
// "<</ByteRange[99999999 99999999 99999999 99999999]/Contents<F0F2F3 0...>",
// so all offsets follow from the end of its object header line.
struct ByteRange {
    int b1 = 0;  // first range: start
    int b2 = 0;  //              length (up to the "<" of the hole)
    int b3 = 0;  // second range: start (just after the ">" of the hole)
    int b4 = 0;  //               length (to the end of the file)

    // The range for a dictionary whose header line ends at headerEnd, with a
    // hole of `reserve` bytes; b4 is not known yet (0).
    static ByteRange ForDictionaryAt(int headerEnd, unsigned long reserve);
    // Offset of the "[" of the placeholder array.
    static int PlaceholderOffset(int headerEnd) { return headerEnd + kArrayOffset; }

    // The array with b4 = end - b3, padded with spaces to the placeholder's
    // length; nothing when the range cannot be written there (a negative
    // length, or a text longer than the placeholder).
    std::optional<std::string> FixedText(int end) const;

    // The placeholder the dictionary is written with.
    static std::string Placeholder();
    static std::string ContentsReserve(unsigned long reserve);  // the hole's bytes (not yet printed)

    static constexpr int kArrayOffset = 12;  // "<<" and "/ByteRange"
    static constexpr int kHoleOffset = 58;   // + 37-byte array + "/Contents"
    static constexpr int kPlaceholderLength = 37;
};

}  // namespace PDF
