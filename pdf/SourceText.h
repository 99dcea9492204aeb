#pragma once

#include "pdf/ObjectPrinter.h"

struct fz_context;
struct pdf_document;

namespace PDF {

// What the document's own bytes say about an object, beyond what MuPDF keeps
// of it once parsed.
class SourceText {
public:
    // The text of each real-number token of object `num` as the file holds
    // it, stored plainly or in an object stream; empty when the object
    // cannot be read so (the printer then formats the values itself).
    static ObjectPrinter::RealTexts Reals(fz_context* ctx, pdf_document* doc, int num);

    // Tokens read at most from one object: a dictionary, not a content stream.
    static constexpr int kMaxTokens = 100000;
};

}  // namespace PDF
