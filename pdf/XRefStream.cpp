#include "pdf/XRefStream.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <algorithm>
#include <map>

#include "pdf/CallPDF.h"
#include "pdf/Exception.h"
#include "pdf/FlateEncoder.h"
#include "pdf/LocaleGuard.h"
#include "pdf/ObjectPrinter.h"
#include "pdf/Output.h"
#include "pdf/XRefs.h"

namespace PDF {

namespace {

// Bytes that hold `value`; at least one, so that every field is written.
int WidthOf(unsigned long value) {
    int width = 1;
    while (width < 8 && (value >> (8 * width)) != 0) ++width;
    return width;
}

void Append(std::string& data, unsigned long value, int width) {
    for (int i = width - 1; i >= 0; --i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// An array of integers.
pdf_obj* IntArray(fz_context* ctx, pdf_document* doc, const std::vector<int>& values) {
    pdf_obj* const array = pdf_new_array(ctx, doc, static_cast<int>(values.size()));
    fz_try(ctx) {
        for (const int value : values) pdf_array_push_int(ctx, array, value);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, array);
        fz_rethrow(ctx);
    }
    return array;
}

}  // namespace

XRefStream::Layout XRefStream::Format(const std::vector<XRefSection::Entry>& entries) {
    std::map<int, XRefSection::Entry> byNumber;
    for (const XRefSection::Entry& entry : entries) byNumber[entry.num] = entry;

    unsigned long largestOffset = 0;
    unsigned long largestGen = 0;
    for (const auto& [num, entry] : byNumber) {
        if (!entry.free) largestOffset = std::max(largestOffset, static_cast<unsigned long>(entry.offset));
        largestGen = std::max(largestGen, static_cast<unsigned long>(entry.gen));
    }
    Layout layout;
    layout.widths = {1, WidthOf(largestOffset), WidthOf(largestGen)};

    for (auto it = byNumber.begin(); it != byNumber.end(); ++it) {
        if (layout.index.empty() || it->first != layout.index.back().first + layout.index.back().second)
            layout.index.emplace_back(it->first, 0);
        ++layout.index.back().second;
        const XRefSection::Entry& e = it->second;
        // A free entry names the next free object: none, the list ends at 0.
        Append(layout.data, e.free ? 0 : 1, layout.widths[0]);
        Append(layout.data, e.free ? 0 : static_cast<unsigned long>(e.offset), layout.widths[1]);
        Append(layout.data, static_cast<unsigned long>(e.gen), layout.widths[2]);
    }
    return layout;
}

void XRefStream::WriteOut(fz_context* ctx, pdf_document* doc, std::FILE* out, XRefs& xrefs, pdf_obj* trailer,
                          int num) {
    const int offset = Output::Position(out);
    if (offset != xrefs.StartXRef() || offset == 0)
        throw Exception(Code::kBadLayout,
                        "XRefStream::WriteOut - the stream must follow the update's objects");
    xrefs.AddRef(num, 0, offset);

    const Layout layout = Format(xrefs.SectionEntries());
    const auto* const raw = reinterpret_cast<const unsigned char*>(layout.data.data());
    const FlateEncoder::Result packed =
        FlateEncoder::Encode(raw, layout.data.size(), FlateEncoder::ContentCapacity(layout.data.size()));
    if (packed.status != FlateEncoder::Status::Ok) throw Exception(Code::kEncodingFailed);

    std::vector<int> index;
    for (const auto& [first, count] : layout.index) {
        index.push_back(first);
        index.push_back(count);
    }
    const std::vector<int> widths(layout.widths.begin(), layout.widths.end());
    const int length = static_cast<int>(packed.data.size());

    pdf_obj* dict = nullptr;
    CALL_PDF(ctx, dict = pdf_new_dict(ctx, doc, 12));
    const ObjPtr owner = AdoptObj(ctx, dict);
    CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(XRef));
             pdf_dict_put_int(ctx, dict, PDF_NAME(Size), num + 1);
             pdf_dict_put_drop(ctx, dict, PDF_NAME(W), IntArray(ctx, doc, widths));
             pdf_dict_put_drop(ctx, dict, PDF_NAME(Index), IntArray(ctx, doc, index)));
    const int entries = pdf_dict_len(ctx, trailer);
    for (int i = 0; i < entries; ++i) {
        pdf_obj* const key = pdf_dict_get_key(ctx, trailer, i);
        pdf_obj* const value = pdf_dict_get_val(ctx, trailer, i);
        CALL_PDF(ctx, pdf_dict_put(ctx, dict, key, value));
    }
    CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(Filter), PDF_NAME(FlateDecode));
             pdf_dict_put_int(ctx, dict, PDF_NAME(Length), length));

    const LocaleGuard cNumbers;
    Output::Printf(out, "%d %d obj\n", num, 0);
    Output::Write(out, ObjectPrinter::Print(ctx, dict));
    Output::Write(out, "\nstream\n", 8);
    Output::Write(out, packed.data.data(), packed.data.size());
    Output::Write(out, "\nendstream\nendobj\n", 18);
}

}  // namespace PDF
