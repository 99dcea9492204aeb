// The NPAPI structures must match the layout every browser and plug-in use on
// x86_64 (LP64): pointers and doubles 8 bytes and 8-aligned, size and version
// fields 16 bits each.

#include <gtest/gtest.h>

#include <cstddef>

#include "npapi/npfunctions.h"

namespace {

#if defined(__x86_64__)

TEST(NpapiLayout, BrowserTableEndsWithTheVersion25Entries) {
    EXPECT_EQ(offsetof(NPNetscapeFuncs, size), 0u);
    EXPECT_EQ(offsetof(NPNetscapeFuncs, version), 2u);
    EXPECT_EQ(offsetof(NPNetscapeFuncs, geturl), 8u);
    const struct {
        const char* name;
        size_t offset;
        size_t expected;  // 8 + 8 * position among the entries
    } entries[] = {
        {"memalloc", offsetof(NPNetscapeFuncs, memalloc), 8 + 8 * 8},
        {"memfree", offsetof(NPNetscapeFuncs, memfree), 8 + 8 * 9},
        {"getvalue", offsetof(NPNetscapeFuncs, getvalue), 8 + 8 * 16},
        {"setvalue", offsetof(NPNetscapeFuncs, setvalue), 8 + 8 * 17},
        {"utf8fromidentifier", offsetof(NPNetscapeFuncs, utf8fromidentifier), 8 + 8 * 25},
        {"createobject", offsetof(NPNetscapeFuncs, createobject), 8 + 8 * 27},
        {"retainobject", offsetof(NPNetscapeFuncs, retainobject), 8 + 8 * 28},
        {"releaseobject", offsetof(NPNetscapeFuncs, releaseobject), 8 + 8 * 29},
        {"releasevariantvalue", offsetof(NPNetscapeFuncs, releasevariantvalue), 8 + 8 * 38},
        {"setexception", offsetof(NPNetscapeFuncs, setexception), 8 + 8 * 39},
        {"getvalueforurl", offsetof(NPNetscapeFuncs, getvalueforurl), 8 + 8 * 45},
        {"setvalueforurl", offsetof(NPNetscapeFuncs, setvalueforurl), 8 + 8 * 46},
        {"unfocusinstance", offsetof(NPNetscapeFuncs, unfocusinstance), 8 + 8 * 53},
    };
    for (const auto& e : entries) EXPECT_EQ(e.offset, e.expected) << e.name;
    EXPECT_EQ(sizeof(NPNetscapeFuncs), 440u);
    // The smallest table the plug-in accepts (324 bytes) holds every entry up
    // to releasevariantvalue.
    EXPECT_LE(offsetof(NPNetscapeFuncs, releasevariantvalue) + sizeof(void*), 324u);
}

TEST(NpapiLayout, PluginTableHoldsTheCallbacksInOrder) {
    EXPECT_EQ(offsetof(NPPluginFuncs, newp), 8u);
    EXPECT_EQ(offsetof(NPPluginFuncs, event), 8u + 8 * 9);
    EXPECT_EQ(offsetof(NPPluginFuncs, javaClass), 8u + 8 * 11);
    EXPECT_EQ(offsetof(NPPluginFuncs, getvalue), 8u + 8 * 12);
    EXPECT_EQ(offsetof(NPPluginFuncs, setvalue), 112u);
    EXPECT_EQ(sizeof(NPPluginFuncs), 136u);
}

TEST(NpapiLayout, RuntimeTypes) {
    EXPECT_EQ(sizeof(NPObject), 16u);
    EXPECT_EQ(offsetof(NPObject, referenceCount), 8u);
    EXPECT_EQ(sizeof(NPString), 16u);
    EXPECT_EQ(sizeof(NPVariant), 24u);
    EXPECT_EQ(offsetof(NPVariant, value), 8u);
    EXPECT_EQ(offsetof(NPClass, allocate), 8u);
    EXPECT_EQ(offsetof(NPClass, enumerate), 8u + 8 * 10);
    EXPECT_EQ(offsetof(NPClass, construct), 8u + 8 * 11);
    EXPECT_EQ(sizeof(NPP_t), 16u);
    EXPECT_EQ(offsetof(NPWindow, clipRect), 24u);
    EXPECT_EQ(offsetof(NPWindow, type), 32u);
    EXPECT_EQ(sizeof(NPSavedData), 16u);
    EXPECT_EQ(sizeof(NPBool), 1u);
    EXPECT_EQ(sizeof(NPError), 2u);
}

#endif

TEST(NpapiLayout, NumbersBrowsersAndPluginsAgreeOn) {
    const struct {
        long value;
        long expected;
    } numbers[] = {
        {NPERR_NO_ERROR, 0},
        {NPERR_GENERIC_ERROR, 1},
        {NPERR_INVALID_INSTANCE_ERROR, 2},
        {NPERR_INVALID_FUNCTABLE_ERROR, 3},
        {NPERR_OUT_OF_MEMORY_ERROR, 5},
        {NPERR_INCOMPATIBLE_VERSION_ERROR, 8},
        {NPVariantType_Void, 0},
        {NPVariantType_Object, 6},
        {NPPVpluginNameString, 1},
        {NPPVpluginDescriptionString, 2},
        {NPPVpluginScriptableNPObject, 15},
        {NPPVpluginDrawingModel, 1000},
        {NPPVpluginEventModel, 1001},
        {NPNVWindowNPObject, 15},
        {NPNVsupportsCoreGraphicsBool, 2001},
        {NPNVsupportsCocoaBool, 3001},
        {NPDrawingModelCoreGraphics, 1},
        {NPEventModelCocoa, 1},
        {NP_CLASS_STRUCT_VERSION, 3},
        {NP_EMBED, 1},
        {NPWindowTypeDrawable, 2},
    };
    for (size_t i = 0; i < sizeof numbers / sizeof numbers[0]; ++i) {
        EXPECT_EQ(numbers[i].value, numbers[i].expected) << "entry " << i;
    }
}

TEST(NpapiLayout, VariantMacrosSetTypeAndValue) {
    NPVariant v;
    INT32_TO_NPVARIANT(-5, v);
    EXPECT_TRUE(NPVARIANT_IS_INT32(v));
    EXPECT_EQ(NPVARIANT_TO_INT32(v), -5);
    DOUBLE_TO_NPVARIANT(2.5, v);
    EXPECT_TRUE(NPVARIANT_IS_DOUBLE(v));
    EXPECT_EQ(NPVARIANT_TO_DOUBLE(v), 2.5);
    BOOLEAN_TO_NPVARIANT(7, v);
    EXPECT_TRUE(NPVARIANT_IS_BOOLEAN(v));
    EXPECT_TRUE(NPVARIANT_TO_BOOLEAN(v));
    STRINGZ_TO_NPVARIANT("abc", v);
    EXPECT_TRUE(NPVARIANT_IS_STRING(v));
    EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 3u);
    STRINGN_TO_NPVARIANT("abcdef", 2, v);
    EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 2u);
    NULL_TO_NPVARIANT(v);
    EXPECT_TRUE(NPVARIANT_IS_NULL(v));
    VOID_TO_NPVARIANT(v);
    EXPECT_TRUE(NPVARIANT_IS_VOID(v));
    NPObject object{};
    OBJECT_TO_NPVARIANT(&object, v);
    EXPECT_TRUE(NPVARIANT_IS_OBJECT(v));
    EXPECT_EQ(NPVARIANT_TO_OBJECT(v), &object);
}

}  // namespace
