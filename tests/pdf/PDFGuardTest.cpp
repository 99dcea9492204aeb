#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include "pdf/PDFGuard.h"

namespace {

TEST(PDFGuard, DropsOneReferenceOfEachObjectWhenItGoes) {
    const PDF::ContextPtr ctx = PDF::NewContext();
    const PDF::ObjPtr dict = PDF::AdoptObj(ctx.get(), pdf_new_dict(ctx.get(), nullptr, 4));
    const PDF::ObjPtr array = PDF::AdoptObj(ctx.get(), pdf_new_array(ctx.get(), nullptr, 4));
    {
        PDF::PDFGuard guard;
        EXPECT_EQ(guard.Add(PDF::KeepObj(ctx.get(), dict.get())), dict.get());
        guard.Add(PDF::KeepObj(ctx.get(), array.get()));
        guard.Add(PDF::KeepObj(ctx.get(), array.get()));
        EXPECT_EQ(guard.Add(PDF::ObjPtr(nullptr, PDF::ObjDropper{ctx.get()})), nullptr);
        EXPECT_EQ(guard.Size(), 3u);
        EXPECT_EQ(pdf_obj_refs(ctx.get(), dict.get()), 2);
        EXPECT_EQ(pdf_obj_refs(ctx.get(), array.get()), 3);
    }
    EXPECT_EQ(pdf_obj_refs(ctx.get(), dict.get()), 1);
    EXPECT_EQ(pdf_obj_refs(ctx.get(), array.get()), 1);
}

}  // namespace
