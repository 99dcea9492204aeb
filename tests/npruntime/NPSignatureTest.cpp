#include <gtest/gtest.h>

#include <string>

#include "common/npruntime/NPEngine.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPProp.h"
#include "npruntime/NPResult.h"
#include "npruntime/NPSignature.h"
#include "npruntime/ObjectRef.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

namespace {

NPVariant Int(int32_t v) {
    NPVariant n;
    INT32_TO_NPVARIANT(v, n);
    return n;
}

NPVariant Double(double v) {
    NPVariant n;
    DOUBLE_TO_NPVARIANT(v, n);
    return n;
}

// The signature list and result objects against a fake browser that counts
// references: what each property answers, and that every object goes when
// the page lets go of the result.
class NPSignatureTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
    }
    void TearDown() override {
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
        NPEngine::ResetForTests();
    }

    NPObject* Create(NPClass* cls) {
        NPObject* object = NPN_CreateObject(browser.Instance(), cls);
        EXPECT_NE(object, nullptr);
        return object;
    }
    NPVariant Get(NPObject* object, const char* name) {
        NPVariant result;
        VOID_TO_NPVARIANT(result);
        EXPECT_TRUE(object->_class->getProperty(object, browser.StringId(name), &result)) << name;
        return result;
    }
    std::string GetString(NPObject* object, const char* name) {
        NPVariant v = Get(object, name);
        EXPECT_TRUE(NPVARIANT_IS_STRING(v)) << name;
        std::string text(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
        NPN_ReleaseVariantValue(&v);
        return text;
    }
    bool Load(NPObject* list, const NPVariant& index) {
        NPVariant result;
        VOID_TO_NPVARIANT(result);
        return list->_class->invoke(list, browser.StringId("loadSignature"), &index, 1, &result);
    }
    // A list with entries "A", "B", "C", each with a certificate-info object.
    NPObject* ListOfThree() {
        NPObject* list = Create(&sNPSignature_NPClass);
        for (const char* name : {"A", "B", "C"}) {
            auto info = ObjectRef::ToEngine<NPCertInfo, CertInfoBase>(
                NPObjectPtr::Adopt(Create(&sNPCertInfo_NPClass)));
            ObjectRef::As<NPSignature>(list)->AddSignature(name, nullptr, 1, "111X", std::move(info));
        }
        return list;
    }

    TestSupport::FakeBrowser browser;
};

TEST_F(NPSignatureTest, EmptyListCountsZeroAndAnswersNullForEveryEntryProperty) {
    NPObject* list = Create(&sNPSignature_NPClass);
    const NPVariant count = Get(list, "sigCount");
    ASSERT_TRUE(NPVARIANT_IS_INT32(count));
    EXPECT_EQ(count.value.intValue, 0);
    for (const char* name : {"sigId", "reason", "location", "contact", "signingTime", "docRevision", "error",
                             "status", "certificate"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(NPVARIANT_IS_NULL(Get(list, name)));
    }
    EXPECT_TRUE(Load(list, Int(0)));
    EXPECT_TRUE(NPVARIANT_IS_NULL(Get(list, "sigId")));
    // A property of the list, not of an entry: -1 until a verification sets it.
    const NPVariant revisions = Get(list, "revisionCount");
    ASSERT_TRUE(NPVARIANT_IS_INT32(revisions));
    EXPECT_EQ(revisions.value.intValue, -1);
    ObjectRef::As<NPSignature>(list)->SetRevisionCount(3);
    EXPECT_EQ(Get(list, "revisionCount").value.intValue, 3);
    NPN_ReleaseObject(list);
}

TEST_F(NPSignatureTest, LoadSignatureTakesOnlyInt32AndKeepsTheSelectionOutOfRange) {
    NPObject* list = ListOfThree();
    EXPECT_EQ(GetString(list, "sigId"), "A");
    struct Case {
        NPVariant index;
        bool answer;
        const char* selected;
    };
    const Case cases[] = {
        {Int(1), true, "B"}, {Int(3), true, "B"},       {Int(-1), true, "B"},
        {Int(2), true, "C"}, {Double(1.0), false, "C"}, {Int(0), true, "A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(list, c.index), c.answer);
        EXPECT_EQ(GetString(list, "sigId"), c.selected);
    }
    EXPECT_EQ(GetString(list, "status"), "111X");
    NPN_ReleaseObject(list);
}

TEST_F(NPSignatureTest, CertificateIsRetainedForTheCallerAndReleasedWithTheList) {
    NPObject* list = ListOfThree();
    ASSERT_EQ(browser.LiveObjects(), 4);
    NPVariant cert = Get(list, "certificate");
    ASSERT_TRUE(NPVARIANT_IS_OBJECT(cert));
    EXPECT_EQ(cert.value.objectValue->_class, &sNPCertInfo_NPClass);
    EXPECT_EQ(browser.Count(cert.value.objectValue), 2u);
    NPN_ReleaseObject(list);
    // The caller's reference keeps that one object alone.
    EXPECT_EQ(browser.LiveObjects(), 1);
    NPN_ReleaseVariantValue(&cert);
}

TEST_F(NPSignatureTest, ResultHoldsItsListAndHandsItOutRetained) {
    NPObject* result = Create(&sNPResult_NPClass);
    EXPECT_TRUE(NPVARIANT_IS_NULL(Get(result, "signatures")));
    NPObject* first = ListOfThree();
    ObjectRef::As<NPResult>(result)->SetSignatures(
        ObjectRef::ToEngine<NPSignature, SignatureBase>(NPObjectPtr::Adopt(first)));
    EXPECT_EQ(browser.Count(first), 1u);  // the creation reference went to the result

    NPVariant a = Get(result, "signatures");
    NPVariant b = Get(result, "signatures");
    ASSERT_TRUE(NPVARIANT_IS_OBJECT(a));
    EXPECT_EQ(a.value.objectValue, first);
    EXPECT_EQ(b.value.objectValue, first);
    EXPECT_EQ(browser.Count(first), 3u);
    NPN_ReleaseVariantValue(&a);
    NPN_ReleaseVariantValue(&b);

    // A second list replaces the first, which goes with its entries.
    NPObject* second = Create(&sNPSignature_NPClass);
    ObjectRef::As<NPResult>(result)->SetSignatures(
        ObjectRef::ToEngine<NPSignature, SignatureBase>(NPObjectPtr::Adopt(second)));
    EXPECT_EQ(browser.LiveObjects(), 2);
    NPN_ReleaseObject(result);
}

TEST_F(NPSignatureTest, ResultErrorIsAMappedIntThatStopsTheStream) {
    NPObject* result = Create(&sNPResult_NPClass);
    const NPVariant error = Get(result, "error");
    ASSERT_TRUE(NPVARIANT_IS_INT32(error));
    EXPECT_EQ(error.value.intValue, 1);
    const NPVariant three = Double(3.9);
    EXPECT_TRUE(result->_class->setProperty(result, browser.StringId("ERROR"), &three));
    EXPECT_EQ(Get(result, "error").value.intValue, 3);
    NPVariant text;
    STRINGZ_TO_NPVARIANT("7", text);
    EXPECT_FALSE(result->_class->setProperty(result, browser.StringId("error"), &text));
    EXPECT_EQ(Get(result, "error").value.intValue, 0);
    NPVariant piece;
    VOID_TO_NPVARIANT(piece);
    EXPECT_FALSE(result->_class->invoke(result, browser.StringId("readStreamData"), nullptr, 0, &piece));
    NPN_ReleaseObject(result);
}

// One page with a signature field dated `date` (none when empty) and with
// texts in both PDF text encodings.
std::string SignedDocument(const std::string& date) {
    TestSupport::PdfBuilder pdf;
    pdf.BasicDocument(1, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R]/SigFlags 3>>");
    pdf.Object(7, "<</FT/Sig/T(Late)/Rect[0 0 0 0]/P 3 0 R/V 8 0 R>>");
    pdf.Object(8, TestSupport::PdfBuilder::SignatureDict(
                      "/Reason<FEFF004F00640020D83DDE00>/Location(K\\366ln)/ContactInfo(a@example.org)" +
                      (date.empty() ? std::string() : "/M(" + date + ")")));
    pdf.EndRevision();
    pdf.CoverUpTo(8, pdf.Bytes().size());
    return pdf.Bytes();
}

TEST_F(NPSignatureTest, EntryTextsAreUtf8AndTheSigningTimeReadsRightAfter2038) {
    const struct {
        const char* date;
        bool asInt32;
        double seconds;
    } cases[] = {
        {"D:20400101000000Z", false, 2208988800.0},  // beyond int32: a double, not wrapped
        {"D:20380119031407Z", true, 2147483647.0},   // the last second an int32 holds
        {"D:20240229120000Z", true, 1709208000.0},
        {"", true, -1.0},  // no /M: unknown
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        const TestSupport::TempDir dir;
        TestSupport::WriteFile(dir.File("signed.pdf"), SignedDocument(c.date));
        NPObject* request = Create(&sNPProp_NPClass);
        NPProp* prop = ObjectRef::As<NPProp>(request);
        prop->SetFile(dir.File("signed.pdf"));
        prop->LoadFileFromURL();
        ASSERT_EQ(prop->Error(), 0);
        PDF::Fields fields(&prop->Env());
        fields.Load();
        ASSERT_EQ(fields.Count(), 1);
        const auto signature = fields.At(0)->GetSignature();
        ASSERT_TRUE(signature);

        NPObject* list = Create(&sNPSignature_NPClass);
        ObjectRef::As<NPSignature>(list)->AddSignature("Late", signature.get(), 0, "XX0X", nullptr);
        const NPVariant time = Get(list, "signingTime");
        if (c.asInt32) {
            ASSERT_TRUE(NPVARIANT_IS_INT32(time));
            EXPECT_EQ(time.value.intValue, static_cast<int32_t>(c.seconds));
        } else {
            ASSERT_TRUE(NPVARIANT_IS_DOUBLE(time));
            EXPECT_EQ(time.value.doubleValue, c.seconds);
        }
        EXPECT_EQ(GetString(list, "reason"), "Od \xF0\x9F\x98\x80");
        EXPECT_EQ(GetString(list, "location"), "K\xC3\xB6ln");
        EXPECT_EQ(GetString(list, "contact"), "a@example.org");
        EXPECT_TRUE(NPVARIANT_IS_NULL(Get(list, "certificate")));
        NPN_ReleaseObject(list);
        NPN_ReleaseObject(request);
    }
}

}  // namespace
