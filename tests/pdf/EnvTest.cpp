#include <gtest/gtest.h>

#include <cstdio>

#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/Versions.h"
#include "pdf/XRefs.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

TEST(Env, NumbersTheUpdateFromTheTrailerSize) {
    const TempDir dir;
    for (const int size : {5, 12}) {
        SCOPED_TRACE("/Size " + std::to_string(size));
        PdfBuilder pdf;
        pdf.BasicDocument();  // objects 1 to 3
        pdf.Add("(info)");
        pdf.Size(size);
        pdf.EndRevision();
        pdf.Save(dir.File("size.pdf"));
        TestSupport::OpenedDocument doc(dir.File("size.pdf"));
        EXPECT_EQ(doc.Env().NewOid(), size);
        EXPECT_EQ(doc.Env().NewOid(), size + 1);
    }
}

TEST(Env, AttachingBuildsTheRevisionListAndAFreshCollector) {
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.EndRevision();
    pdf.Add("(update)");
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("two.pdf"));

    PDF::Env env;
    PDF::File file(&env);
    file.Open(dir.File("two.pdf").c_str());
    env.SetFile(&file);
    ASSERT_NE(env.GetVersions(), nullptr);
    EXPECT_EQ(env.GetVersions()->Count(), 2);
    ASSERT_NE(env.GetXRefs(), nullptr);
    EXPECT_EQ(env.GetXRefs()->Entries().size(), 1u);

    std::FILE* const out = std::tmpfile();
    env.SetOutput(out);
    env.SetFile(nullptr);
    EXPECT_EQ(env.GetFile(), nullptr);
    EXPECT_EQ(env.GetVersions(), nullptr);
    EXPECT_EQ(env.GetXRefs(), nullptr);
    EXPECT_EQ(env.GetOutput(), nullptr);
    EXPECT_EQ(env.NewOid(), 0);
    std::fclose(out);
}

TEST(Env, LeavesADocumentWhoseRevisionsCannotBeDelimitedDetached) {
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.BeforeStartxref("\n%" + std::string(200, 'x') + "\n");
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("comment.pdf"));
    PDF::Env env;
    PDF::File file(&env);
    file.Open(dir.File("comment.pdf").c_str());
    EXPECT_THROW(env.SetFile(&file), PDF::Exception);
    EXPECT_EQ(env.GetFile(), nullptr);
    EXPECT_EQ(env.GetVersions(), nullptr);
}

}  // namespace
