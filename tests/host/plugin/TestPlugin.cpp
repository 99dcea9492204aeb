// A small plug-in for testing pendrel-host: its scriptable object echoes
// variants, fails on request, creates, keeps and leaks objects and calls back
// into script objects through the browser's table, so that page scripts can
// check what the host does at the boundary.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "npapi/npfunctions.h"

namespace {

NPNetscapeFuncs gBrowser{};
uint16_t gBrowserSize = 0;
uint16_t gBrowserVersion = 0;
int gNullEntries = -1;
NPObject* gForever = nullptr;  // kept on purpose and never released (leak test)

struct TestObject : NPObject {
    NPP npp = nullptr;
    int32_t count = 0;
    std::string name;
    bool flag = false;
    NPObject* kept = nullptr;
};

struct InstanceData {
    NPObject* scriptable = nullptr;
    int windowType = 0;
};

NPClass* TestClass();

std::string Name(NPIdentifier id) {
    if (!gBrowser.identifierisstring(id)) return "item" + std::to_string(gBrowser.intfromidentifier(id));
    NPUTF8* utf8 = gBrowser.utf8fromidentifier(id);
    std::string name = utf8 != nullptr ? utf8 : "";
    gBrowser.memfree(utf8);
    return name;
}

std::string Text(const NPVariant& v) {
    return std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
}

void SetString(const std::string& text, NPVariant* result) {
    auto* copy = static_cast<NPUTF8*>(gBrowser.memalloc(static_cast<uint32_t>(text.size())));
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    STRINGN_TO_NPVARIANT(copy, text.size(), *result);
}

void CopyVariant(const NPVariant& in, NPVariant* out) {
    if (NPVARIANT_IS_STRING(in)) {
        SetString(Text(in), out);
    } else {
        *out = in;
        if (NPVARIANT_IS_OBJECT(in)) gBrowser.retainobject(in.value.objectValue);
    }
}

const char* TypeName(const NPVariant& v) {
    static const char* const names[] = {"void", "null", "bool", "int32", "double", "string", "object"};
    return v.type <= NPVariantType_Object ? names[v.type] : "unknown";
}

bool Is(const NPVariant& v, NPVariantType type) {
    return v.type == type;
}

// Rounds identifiers: interning of strings and integers, kinds and values.
bool IdentifiersWork() {
    const NPIdentifier a1 = gBrowser.getstringidentifier("alpha");
    const NPIdentifier a2 = gBrowser.getstringidentifier("alpha");
    const NPIdentifier b = gBrowser.getstringidentifier("beta");
    const NPUTF8* names[] = {"alpha", "beta"};
    NPIdentifier both[2] = {nullptr, nullptr};
    gBrowser.getstringidentifiers(names, 2, both);
    const NPIdentifier i1 = gBrowser.getintidentifier(-17);
    const NPIdentifier i2 = gBrowser.getintidentifier(-17);
    NPUTF8* utf8 = gBrowser.utf8fromidentifier(i1);
    const bool intHasNoName = utf8 == nullptr;
    gBrowser.memfree(utf8);
    return a1 == a2 && a1 != b && both[0] == a1 && both[1] == b && gBrowser.identifierisstring(a1) &&
           i1 == i2 && i1 != a1 && !gBrowser.identifierisstring(i1) &&
           gBrowser.intfromidentifier(i1) == -17 && intHasNoName && Name(b) == "beta";
}

NPObject* NewChild(NPP npp) {
    return gBrowser.createobject(npp, TestClass());
}

bool Invoke(NPObject* npobj, NPIdentifier id, const NPVariant* args, uint32_t argc, NPVariant* result) {
    auto* self = static_cast<TestObject*>(npobj);
    const std::string name = Name(id);
    VOID_TO_NPVARIANT(*result);
    if (name == "typeOf" && argc == 1) {
        SetString(TypeName(args[0]), result);
    } else if (name == "echo" && argc == 1) {
        CopyVariant(args[0], result);
    } else if (name == "describe" && argc == 1) {
        std::string text = TypeName(args[0]);
        if (Is(args[0], NPVariantType_Int32)) text += ":" + std::to_string(args[0].value.intValue);
        if (Is(args[0], NPVariantType_Double)) {
            char number[64];
            std::snprintf(number, sizeof number, ":%.17g", args[0].value.doubleValue);
            text += number;
        }
        if (Is(args[0], NPVariantType_Bool)) text += args[0].value.boolValue ? ":true" : ":false";
        SetString(text, result);
    } else if (name == "bytesHex" && argc == 1 && Is(args[0], NPVariantType_String)) {
        std::string hex;
        char two[3];
        for (unsigned char c : Text(args[0])) {
            std::snprintf(two, sizeof two, "%02x", c);
            hex += two;
        }
        SetString(hex, result);
    } else if (name == "argCount") {
        INT32_TO_NPVARIANT(static_cast<int32_t>(argc), *result);
    } else if (name == "throwCpp") {
        throw std::runtime_error("a fault inside the plug-in");  // a plug-in that breaks the rules
    } else if (name == "fail") {
        return false;
    } else if (name == "throwMessage" && argc == 1 && Is(args[0], NPVariantType_String)) {
        gBrowser.setexception(npobj, Text(args[0]).c_str());
        return false;
    } else if (name == "createChild") {
        NPObject* child = NewChild(self->npp);
        OBJECT_TO_NPVARIANT(child, *result);
    } else if (name == "leakChild") {
        NPObject* child = NewChild(self->npp);
        gBrowser.retainobject(child);  // one reference too many, on purpose
        OBJECT_TO_NPVARIANT(child, *result);
    } else if (name == "returnNullObject") {
        OBJECT_TO_NPVARIANT(nullptr, *result);
    } else if (name == "refCount" && argc == 1 && Is(args[0], NPVariantType_Object)) {
        INT32_TO_NPVARIANT(static_cast<int32_t>(args[0].value.objectValue->referenceCount), *result);
    } else if (name == "classOf" && argc == 1 && Is(args[0], NPVariantType_Object)) {
        SetString(args[0].value.objectValue->_class == TestClass() ? "test" : "foreign", result);
    } else if (name == "keep" && argc == 1 && Is(args[0], NPVariantType_Object)) {
        if (self->kept != nullptr) gBrowser.releaseobject(self->kept);
        self->kept = gBrowser.retainobject(args[0].value.objectValue);
    } else if (name == "keptRefCount") {
        INT32_TO_NPVARIANT(self->kept != nullptr ? static_cast<int32_t>(self->kept->referenceCount) : 0,
                           *result);
    } else if (name == "dropKept") {
        if (self->kept != nullptr) gBrowser.releaseobject(self->kept);
        self->kept = nullptr;
    } else if (name == "keepForever" && argc == 1 && Is(args[0], NPVariantType_Object)) {
        gForever = gBrowser.retainobject(args[0].value.objectValue);
    } else if ((name == "getProperty" || name == "hasProperty" || name == "hasMethod" ||
                name == "removeProperty") &&
               argc == 2 && Is(args[0], NPVariantType_Object) && Is(args[1], NPVariantType_String)) {
        NPObject* target = args[0].value.objectValue;
        const NPIdentifier member = gBrowser.getstringidentifier(Text(args[1]).c_str());
        if (name == "getProperty") return gBrowser.getproperty(self->npp, target, member, result);
        bool answer = false;
        if (name == "hasProperty") answer = gBrowser.hasproperty(self->npp, target, member);
        if (name == "hasMethod") answer = gBrowser.hasmethod(self->npp, target, member);
        if (name == "removeProperty") answer = gBrowser.removeproperty(self->npp, target, member);
        BOOLEAN_TO_NPVARIANT(answer, *result);
    } else if (name == "setProperty" && argc == 3 && Is(args[0], NPVariantType_Object) &&
               Is(args[1], NPVariantType_String)) {
        const NPIdentifier member = gBrowser.getstringidentifier(Text(args[1]).c_str());
        return gBrowser.setproperty(self->npp, args[0].value.objectValue, member, &args[2]);
    } else if (name == "callMethod" && argc >= 2 && Is(args[0], NPVariantType_Object) &&
               Is(args[1], NPVariantType_String)) {
        const NPIdentifier member = gBrowser.getstringidentifier(Text(args[1]).c_str());
        return gBrowser.invoke(self->npp, args[0].value.objectValue, member, args + 2, argc - 2, result);
    } else if (name == "callFunction" && argc >= 1 && Is(args[0], NPVariantType_Object)) {
        return gBrowser.invokeDefault(self->npp, args[0].value.objectValue, args + 1, argc - 1, result);
    } else if (name == "construct" && argc >= 1 && Is(args[0], NPVariantType_Object)) {
        return gBrowser.construct(self->npp, args[0].value.objectValue, args + 1, argc - 1, result);
    } else if (name == "keysOf" && argc == 1 && Is(args[0], NPVariantType_Object)) {
        NPIdentifier* ids = nullptr;
        uint32_t count = 0;
        if (!gBrowser.enumerate(self->npp, args[0].value.objectValue, &ids, &count)) return false;
        std::string keys;
        for (uint32_t i = 0; i < count; ++i) keys += (i > 0 ? "," : "") + Name(ids[i]);
        gBrowser.memfree(ids);
        SetString(keys, result);
    } else if (name == "evaluate" && argc == 1 && Is(args[0], NPVariantType_String)) {
        NPObject* window = nullptr;
        if (gBrowser.getvalue(self->npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR) return false;
        NPString script = args[0].value.stringValue;
        const bool ok = gBrowser.evaluate(self->npp, window, &script, result);
        gBrowser.releaseobject(window);
        return ok;
    } else if (name == "printToStdout") {
        // A plug-in that chatters on standard output, as libraries do.
        std::printf("chatter on standard output\n");
        std::fflush(stdout);
        BOOLEAN_TO_NPVARIANT(true, *result);
    } else if (name == "locationHref") {
        // What a plug-in learns of the page's address: window.location.href.
        NPObject* window = nullptr;
        if (gBrowser.getvalue(self->npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR) return false;
        NPVariant location;
        const bool got =
            gBrowser.getproperty(self->npp, window, gBrowser.getstringidentifier("location"), &location);
        gBrowser.releaseobject(window);
        if (!got || !NPVARIANT_IS_OBJECT(location)) return false;
        const bool ok = gBrowser.getproperty(self->npp, location.value.objectValue,
                                             gBrowser.getstringidentifier("href"), result);
        gBrowser.releasevariantvalue(&location);
        return ok && NPVARIANT_IS_STRING(*result);
    } else if (name == "identifiersWork") {
        BOOLEAN_TO_NPVARIANT(IdentifiersWork(), *result);
    } else if (name == "browserTableSize") {
        INT32_TO_NPVARIANT(gBrowserSize, *result);
    } else if (name == "browserTableVersion") {
        INT32_TO_NPVARIANT(gBrowserVersion, *result);
    } else if (name == "nullBrowserEntries") {
        INT32_TO_NPVARIANT(gNullEntries, *result);
    } else if (name == "userAgent") {
        SetString(gBrowser.uagent(self->npp), result);
    } else {
        return false;
    }
    return true;
}

bool HasMethod(NPObject* npobj, NPIdentifier id) {
    static const char* const methods[] = {"typeOf",
                                          "echo",
                                          "describe",
                                          "bytesHex",
                                          "argCount",
                                          "fail",
                                          "throwCpp",
                                          "throwMessage",
                                          "createChild",
                                          "leakChild",
                                          "returnNullObject",
                                          "refCount",
                                          "classOf",
                                          "keep",
                                          "keptRefCount",
                                          "dropKept",
                                          "keepForever",
                                          "getProperty",
                                          "hasProperty",
                                          "hasMethod",
                                          "removeProperty",
                                          "setProperty",
                                          "callMethod",
                                          "callFunction",
                                          "construct",
                                          "keysOf",
                                          "evaluate",
                                          "identifiersWork",
                                          "locationHref",
                                          "printToStdout",
                                          "browserTableSize",
                                          "browserTableVersion",
                                          "nullBrowserEntries",
                                          "userAgent"};
    (void)npobj;
    const std::string name = Name(id);
    for (const char* method : methods) {
        if (name == method) return true;
    }
    return false;
}

bool IsItem(const std::string& name) {
    return name.size() == 5 && name.compare(0, 4, "item") == 0 && name[4] >= '0' && name[4] <= '9';
}

bool HasProperty(NPObject*, NPIdentifier id) {
    const std::string name = Name(id);
    return name == "count" || name == "name" || name == "flag" || name == "readOnly" ||
           name == "windowType" || (!gBrowser.identifierisstring(id) && IsItem(name));
}

bool GetProperty(NPObject* npobj, NPIdentifier id, NPVariant* result) {
    auto* self = static_cast<TestObject*>(npobj);
    const std::string name = Name(id);
    VOID_TO_NPVARIANT(*result);
    if (name == "count") {
        INT32_TO_NPVARIANT(self->count, *result);
    } else if (name == "name") {
        SetString(self->name, result);
    } else if (name == "flag") {
        BOOLEAN_TO_NPVARIANT(self->flag, *result);
    } else if (name == "readOnly") {
        SetString("fixed", result);
    } else if (name == "windowType") {
        const auto* data = static_cast<InstanceData*>(self->npp->pdata);
        INT32_TO_NPVARIANT(data != nullptr ? data->windowType : -1, *result);
    } else if (!gBrowser.identifierisstring(id) && IsItem(name)) {
        SetString(name, result);
    } else {
        return false;
    }
    return true;
}

bool SetProperty(NPObject* npobj, NPIdentifier id, const NPVariant* value) {
    auto* self = static_cast<TestObject*>(npobj);
    const std::string name = Name(id);
    if (name == "count") {
        if (Is(*value, NPVariantType_Int32)) {
            self->count = value->value.intValue;
        } else if (Is(*value, NPVariantType_Double)) {
            self->count = static_cast<int32_t>(value->value.doubleValue);
        } else {
            return false;
        }
    } else if (name == "name" && Is(*value, NPVariantType_String)) {
        self->name = Text(*value);
    } else if (name == "flag" && Is(*value, NPVariantType_Bool)) {
        self->flag = value->value.boolValue;
    } else {
        return false;
    }
    return true;
}

bool RemoveProperty(NPObject* npobj, NPIdentifier id) {
    if (Name(id) != "name") return false;
    static_cast<TestObject*>(npobj)->name.clear();
    return true;
}

bool Enumerate(NPObject*, NPIdentifier** ids, uint32_t* count) {
    const NPUTF8* names[] = {"count", "name", "flag", "readOnly"};
    *count = 4;
    *ids = static_cast<NPIdentifier*>(gBrowser.memalloc(sizeof(NPIdentifier) * 4));
    gBrowser.getstringidentifiers(names, 4, *ids);
    return true;
}

NPClass* TestClass() {
    static NPClass cls = {
        NP_CLASS_STRUCT_VERSION,
        [](NPP npp, NPClass*) -> NPObject* {
            auto* object = new TestObject();
            object->npp = npp;
            return object;
        },
        [](NPObject* npobj) {
            auto* self = static_cast<TestObject*>(npobj);
            if (self->kept != nullptr) gBrowser.releaseobject(self->kept);
            delete self;
        },
        nullptr,
        &HasMethod,
        &Invoke,
        nullptr,
        &HasProperty,
        &GetProperty,
        &SetProperty,
        &RemoveProperty,
        &Enumerate,
        nullptr,
    };
    return &cls;
}

bool Supported(NPP instance, NPNVariable variable) {
    NPBool yes = false;
    return gBrowser.getvalue(instance, variable, &yes) == NPERR_NO_ERROR && yes;
}

NPError New(NPMIMEType, NPP instance, uint16_t, int16_t, char*[], char*[], NPSavedData*) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (!Supported(instance, NPNVsupportsCocoaBool) ||
        gBrowser.setvalue(instance, NPPVpluginEventModel, reinterpret_cast<void*>(NPEventModelCocoa)) !=
            NPERR_NO_ERROR ||
        !Supported(instance, NPNVsupportsCoreGraphicsBool) ||
        gBrowser.setvalue(instance, NPPVpluginDrawingModel,
                          reinterpret_cast<void*>(NPDrawingModelCoreGraphics)) != NPERR_NO_ERROR) {
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    }
    instance->pdata = new InstanceData();
    return NPERR_NO_ERROR;
}

NPError Destroy(NPP instance, NPSavedData**) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    auto* data = static_cast<InstanceData*>(instance->pdata);
    if (data != nullptr && data->scriptable != nullptr) gBrowser.releaseobject(data->scriptable);
    delete data;
    instance->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError SetWindow(NPP instance, NPWindow* window) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (window == nullptr) return NPERR_GENERIC_ERROR;
    static_cast<InstanceData*>(instance->pdata)->windowType = window->window != nullptr ? window->type : 0;
    return NPERR_NO_ERROR;
}

NPError GetValue(NPP instance, NPPVariable variable, void* value) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    auto* data = static_cast<InstanceData*>(instance->pdata);
    if (variable != NPPVpluginScriptableNPObject || data == nullptr) return NPERR_GENERIC_ERROR;
    if (data->scriptable == nullptr) data->scriptable = NewChild(instance);
    *static_cast<NPObject**>(value) = gBrowser.retainobject(data->scriptable);
    return NPERR_NO_ERROR;
}

}  // namespace

NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr || funcs->size < sizeof(NPPluginFuncs) - 2 * sizeof(void*)) {
        return NPERR_INVALID_FUNCTABLE_ERROR;
    }
    funcs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    funcs->newp = &New;
    funcs->destroy = &Destroy;
    funcs->setwindow = &SetWindow;
    funcs->getvalue = &GetValue;
    return NPERR_NO_ERROR;
}

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browser) {
    if (browser == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    gBrowserSize = browser->size;
    gBrowserVersion = browser->version;
    std::memcpy(&gBrowser, browser, std::min<size_t>(browser->size, sizeof gBrowser));
    // Every entry after the size and version is a function pointer.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&gBrowser);
    gNullEntries = 0;
    for (size_t at = sizeof(void*); at + sizeof(void*) <= sizeof gBrowser; at += sizeof(void*)) {
        void* entry = nullptr;
        std::memcpy(&entry, bytes + at, sizeof entry);
        if (entry == nullptr) ++gNullEntries;
    }
    return NPERR_NO_ERROR;
}

NP_EXPORT(NPError) NP_Shutdown() {
    return NPERR_NO_ERROR;
}

NP_EXPORT(const char*) NP_GetMIMEDescription() {
    return "application/pendrelpdf:pdf:pendrel-host test plug-in";
}
