#include <gtest/gtest.h>
#include <utf8.h>

#include <new>
#include <stdexcept>

#include "common/Util.h"
#include "common/npruntime/Base.h"
#include "common/npruntime/NPEngine.h"
#include "crypto/Exception.h"
#include "pdf/Exception.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

int gDestroyed = 0;

// A scriptable class with one of each kind of member, some of which throw.
class Sample : public Base {
public:
    explicit Sample(NPP npp) : Base(npp) {
        AddMethod("addOne", &Sample::AddOne);
        AddMethod("throwWhat", &Sample::ThrowWhat);
        AddMethod("ADDONE", &Sample::Other);  // a second registration of the same name is ignored
        AddPropertyGet("readOnly", &Sample::GetReadOnly);
        AddPropertySet("writeOnly", &Sample::SetWriteOnly);
        AddPropertyGet("both", &Sample::GetReadOnly);
        AddPropertySet("both", &Sample::SetWriteOnly);
        AddPropertyGet("mapped", &Sample::GetReadOnly);  // the mapper wins over getters
        Properties().AddInt("mapped", &mapped);
    }
    ~Sample() override { ++gDestroyed; }

    int mapped = 4;
    int written = 0;

private:
    bool AddOne(const NPVariant* args, uint32_t argCount, NPVariant* result) {
        if (argCount != 1 || !NPVARIANT_IS_INT32(args[0])) return false;
        INT32_TO_NPVARIANT(args[0].value.intValue + 1, *result);
        return true;
    }
    bool Other(const NPVariant*, uint32_t, NPVariant*) { return false; }
    bool ThrowWhat(const NPVariant* args, uint32_t, NPVariant*) {
        switch (args[0].value.intValue) {
            case 0:
                Util::AtoW("\xFF", true);  // the UTF decoder's own exception
                break;
            case 1:
                throw PDF::Exception(-61, "Encoding failed");
            case 2:
                throw Crypto::Exception(-3, "no key");
            case 3:
                throw std::bad_alloc();
            case 4:
                throw std::logic_error("odd state");
            default:
                throw 42;
        }
        return true;
    }
    bool GetReadOnly(NPVariant* result) {
        INT32_TO_NPVARIANT(11, *result);
        return true;
    }
    bool SetWriteOnly(const NPVariant* value) {
        written = value->value.intValue;
        return true;
    }
};

NPObject* AllocateSample(NPP npp, NPClass*) {
    return Base::Allocate<Sample>(npp, "AllocateSample");
}

class Throwing : public Base {
public:
    explicit Throwing(NPP npp) : Base(npp) { throw std::runtime_error("cannot build"); }
};

NPObject* AllocateThrowing(NPP npp, NPClass*) {
    return Base::Allocate<Throwing>(npp, "AllocateThrowing");
}

NPClass sSampleClass = Base::MakeClass(&AllocateSample);
NPClass sThrowingClass = Base::MakeClass(&AllocateThrowing);

NPVariant Int(int32_t v) {
    NPVariant n;
    INT32_TO_NPVARIANT(v, n);
    return n;
}

class BaseTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override {
        gDestroyed = 0;
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
        object = NPN_CreateObject(browser.Instance(), &sSampleClass);
        ASSERT_NE(object, nullptr);
    }
    void TearDown() override {
        if (object != nullptr) NPN_ReleaseObject(object);
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
        NPEngine::ResetForTests();
    }
    NPClass* Class() { return object->_class; }
    NPIdentifier Id(const char* name) { return browser.StringId(name); }

    TestSupport::FakeBrowser browser;
    NPObject* object = nullptr;
};

TEST_F(BaseTest, ClassRecordPointsAtTheEntryPointsAndLeavesEnumerateAndConstructOut) {
    EXPECT_EQ(sSampleClass.structVersion, 3u);
    EXPECT_EQ(sSampleClass.allocate, &AllocateSample);
    EXPECT_EQ(sSampleClass.deallocate, &Base::_Deallocate);
    EXPECT_EQ(sSampleClass.invoke, &Base::_Invoke);
    EXPECT_EQ(sSampleClass.enumerate, nullptr);
    EXPECT_EQ(sSampleClass.construct, nullptr);
}

TEST_F(BaseTest, MethodNamesMatchWithoutRegardToCase) {
    for (const char* name : {"addOne", "ADDONE", "addone", "AdDoNe"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Class()->hasMethod(object, Id(name)));
        const NPVariant arg = Int(41);
        NPVariant result;
        VOID_TO_NPVARIANT(result);
        ASSERT_TRUE(Class()->invoke(object, Id(name), &arg, 1, &result));
        EXPECT_EQ(result.value.intValue, 42);
    }
    EXPECT_FALSE(Class()->hasMethod(object, Id("readOnly")));
    EXPECT_FALSE(Class()->hasMethod(object, browser.IntId(0)));
    NPVariant result;
    EXPECT_FALSE(Class()->invoke(object, Id("missing"), nullptr, 0, &result));
    EXPECT_FALSE(Class()->invoke(object, Id("addOne"), nullptr, 0, &result));  // the member refuses
}

TEST_F(BaseTest, PropertiesAnswerOnlyInTheDirectionsRegistered) {
    NPVariant v;
    const NPVariant seven = Int(7);
    EXPECT_TRUE(Class()->hasProperty(object, Id("READONLY")));
    EXPECT_TRUE(Class()->hasProperty(object, Id("writeonly")));
    EXPECT_TRUE(Class()->hasProperty(object, Id("Mapped")));
    EXPECT_FALSE(Class()->hasProperty(object, Id("addOne")));

    ASSERT_TRUE(Class()->getProperty(object, Id("readonly"), &v));
    EXPECT_EQ(v.value.intValue, 11);
    EXPECT_FALSE(Class()->setProperty(object, Id("readOnly"), &seven));
    EXPECT_FALSE(Class()->getProperty(object, Id("writeOnly"), &v));
    EXPECT_TRUE(Class()->setProperty(object, Id("writeOnly"), &seven));
    EXPECT_EQ(static_cast<Sample*>(object)->written, 7);

    // A mapped name is answered by the mapper, never by a getter.
    ASSERT_TRUE(Class()->getProperty(object, Id("mapped"), &v));
    EXPECT_EQ(v.value.intValue, 4);
    EXPECT_TRUE(Class()->setProperty(object, Id("MAPPED"), &seven));
    EXPECT_EQ(static_cast<Sample*>(object)->mapped, 7);
}

TEST_F(BaseTest, DefaultInvocationRemovalEnumerationAndConstructionFail) {
    NPVariant v;
    EXPECT_FALSE(Class()->invokeDefault(object, nullptr, 0, &v));
    EXPECT_FALSE(Class()->removeProperty(object, Id("mapped")));
    NPIdentifier* names = nullptr;
    uint32_t count = 0;
    EXPECT_FALSE(Base::_Enumerate(object, &names, &count));
    const TestSupport::LogCapture log;
    EXPECT_FALSE(Base::_Construct(object, nullptr, 0, &v));
    if (log.Active()) {
        EXPECT_TRUE(log.Has("Construct", "Entering function"));
    }
    Class()->invalidate(object);  // does nothing
    EXPECT_EQ(gDestroyed, 0);
}

TEST_F(BaseTest, ExceptionsFromMembersAreLoggedAndAnsweredWithFalse) {
    const struct {
        int which;
        const char* line;
    } cases[] = {
        {0, "UTF conversion error: "},          {1, "PDF exception -61: Encoding failed"},
        {2, "Crypto exception -3: no key"},     {3, "Out of memory"},
        {4, "Unexpected exception: odd state"}, {5, "Unknown exception"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TestSupport::LogCapture log;
        const NPVariant arg = Int(c.which);
        NPVariant result;
        VOID_TO_NPVARIANT(result);
        EXPECT_FALSE(Class()->invoke(object, Id("throwWhat"), &arg, 1, &result));
        if (log.Active()) {
            EXPECT_TRUE(log.Contains("] Invoke: " + std::string(c.line)));
        }
    }
}

TEST_F(BaseTest, DeallocationDestroysThroughTheVirtualDestructor) {
    NPN_RetainObject(object);
    NPN_ReleaseObject(object);
    EXPECT_EQ(gDestroyed, 0);
    NPN_ReleaseObject(object);
    object = nullptr;
    EXPECT_EQ(gDestroyed, 1);
    Base::_Deallocate(nullptr);  // nothing for a null pointer
}

TEST_F(BaseTest, AConstructorThatThrowsYieldsNoObject) {
    const TestSupport::LogCapture log;
    EXPECT_EQ(NPN_CreateObject(browser.Instance(), &sThrowingClass), nullptr);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("AllocateThrowing", "Unexpected exception: cannot build"));
    }
}

TEST_F(BaseTest, ObjectsKeepTheirInstance) {
    EXPECT_EQ(static_cast<Base*>(object)->Npp(), browser.Instance());
}

}  // namespace
