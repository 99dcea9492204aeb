#include "support/FakeBrowser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace TestSupport {

namespace {

FakeBrowser* gCurrent = nullptr;

// The page's window and its location: script objects of the browser whose
// one property answers as the browser is told.
bool IsName(NPIdentifier id, const char* name) {
    return id != nullptr && *static_cast<const std::string*>(id) == name;
}

bool WindowGetProperty(NPObject*, NPIdentifier name, NPVariant* result);
bool LocationGetProperty(NPObject*, NPIdentifier name, NPVariant* result);

NPClass MakeScriptClass(NPGetPropertyFunctionPtr getProperty) {
    NPClass cls{};
    cls.structVersion = NP_CLASS_STRUCT_VERSION;
    cls.getProperty = getProperty;
    return cls;
}

NPClass gWindowClass = MakeScriptClass(&WindowGetProperty);
NPClass gLocationClass = MakeScriptClass(&LocationGetProperty);

}  // namespace

FakeBrowser::FakeBrowser() {
    if (gCurrent != nullptr) throw std::logic_error("one FakeBrowser at a time");
    gCurrent = this;
}

FakeBrowser::~FakeBrowser() {
    for (void* block : _blocks) std::free(block);
    gCurrent = nullptr;
}

FakeBrowser* FakeBrowser::Current() {
    if (gCurrent == nullptr) std::abort();  // a call through the table outside a test's browser
    return gCurrent;
}

NPNetscapeFuncs FakeBrowser::Table() {
    NPNetscapeFuncs t{};
    t.size = sizeof(NPNetscapeFuncs);
    t.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    // Entries the plug-in never calls still point somewhere, so that a check
    // for absent entries sees a complete table.
    unsigned char* raw = reinterpret_cast<unsigned char*>(&t);
    for (size_t at = offsetof(NPNetscapeFuncs, geturl); at + sizeof(void*) <= sizeof t; at += sizeof(void*)) {
        void (*placeholder)() = [] { std::abort(); };
        std::memcpy(raw + at, &placeholder, sizeof placeholder);
    }
    t.getvalue = &GetValue;
    t.setvalue = &SetValue;
    t.memalloc = &MemAlloc;
    t.memfree = &MemFree;
    t.getstringidentifier = &GetStringIdentifier;
    t.getstringidentifiers = &GetStringIdentifiers;
    t.getintidentifier = &GetIntIdentifier;
    t.identifierisstring = &IdentifierIsString;
    t.utf8fromidentifier = &UTF8FromIdentifier;
    t.intfromidentifier = &IntFromIdentifier;
    t.createobject = &CreateObject;
    t.retainobject = &RetainObject;
    t.releaseobject = &ReleaseObject;
    t.releasevariantvalue = &ReleaseVariantValue;
    t.getproperty = &GetProperty;
    t.getvalueforurl = &GetValueForURL;
    t.setvalueforurl = &SetValueForURL;
    return t;
}

NPIdentifier FakeBrowser::StringId(const std::string& name) {
    return GetStringIdentifier(name.c_str());
}

NPIdentifier FakeBrowser::IntId(int32_t value) {
    return GetIntIdentifier(value);
}

uint32_t FakeBrowser::Count(NPObject* object) const {
    return _objects.count(object) != 0 ? object->referenceCount : 0;
}

NPError FakeBrowser::GetValue(NPP npp, NPNVariable variable, void* value) {
    FakeBrowser* b = Current();
    if (variable == NPNVWindowNPObject) {
        ++b->windowRequests;
        if (b->window == Window::None) return NPERR_GENERIC_ERROR;
        *static_cast<NPObject**>(value) = CreateObject(npp, &gWindowClass);  // the caller's reference
        return NPERR_NO_ERROR;
    }
    Answer answer = Answer::Error;
    if (variable == NPNVsupportsCocoaBool) answer = b->cocoa;
    if (variable == NPNVsupportsCoreGraphicsBool) answer = b->coreGraphics;
    if (answer == Answer::Error) return NPERR_GENERIC_ERROR;
    *static_cast<NPBool*>(value) = answer == Answer::Yes;
    return NPERR_NO_ERROR;
}

NPError FakeBrowser::SetValue(NPP, NPPVariable variable, void* value) {
    FakeBrowser* b = Current();
    if (variable == NPPVpluginEventModel && !b->acceptEventModel) return NPERR_GENERIC_ERROR;
    if (variable == NPPVpluginDrawingModel && !b->acceptDrawingModel) return NPERR_GENERIC_ERROR;
    b->values[variable] = reinterpret_cast<intptr_t>(value);
    return NPERR_NO_ERROR;
}

void* FakeBrowser::MemAlloc(uint32_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) Current()->_blocks.insert(block);
    return block;
}

void FakeBrowser::MemFree(void* ptr) {
    if (ptr == nullptr) return;
    if (Current()->_blocks.erase(ptr) == 0) {
        ADD_FAILURE() << "NPN_MemFree of memory the browser did not hand out (or freed twice)";
        return;
    }
    std::free(ptr);
}

NPIdentifier FakeBrowser::GetStringIdentifier(const NPUTF8* name) {
    const auto it = Current()->_names.insert(name).first;
    return const_cast<std::string*>(&*it);
}

void FakeBrowser::GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids) {
    for (int32_t i = 0; i < count; ++i) ids[i] = GetStringIdentifier(names[i]);
}

NPIdentifier FakeBrowser::GetIntIdentifier(int32_t value) {
    const auto it = Current()->_ints.emplace(value, value).first;
    return &it->second;
}

bool FakeBrowser::IdentifierIsString(NPIdentifier id) {
    for (const std::string& name : Current()->_names)
        if (&name == id) return true;
    return false;
}

NPUTF8* FakeBrowser::UTF8FromIdentifier(NPIdentifier id) {
    if (!IdentifierIsString(id)) return nullptr;
    const std::string& name = *static_cast<const std::string*>(id);
    auto* copy = static_cast<NPUTF8*>(MemAlloc(static_cast<uint32_t>(name.size() + 1)));
    std::memcpy(copy, name.c_str(), name.size() + 1);
    return copy;
}

int32_t FakeBrowser::IntFromIdentifier(NPIdentifier id) {
    return IdentifierIsString(id) ? 0 : *static_cast<const int32_t*>(id);
}

NPObject* FakeBrowser::CreateObject(NPP npp, NPClass* cls) {
    if (cls == nullptr) return nullptr;
    NPObject* object = cls->allocate != nullptr ? cls->allocate(npp, cls)
                                                : static_cast<NPObject*>(std::calloc(1, sizeof(NPObject)));
    if (object == nullptr) return nullptr;
    object->_class = cls;
    object->referenceCount = 1;
    Current()->_objects.insert(object);
    return object;
}

NPObject* FakeBrowser::RetainObject(NPObject* object) {
    if (Current()->_objects.count(object) == 0) {
        ADD_FAILURE() << "NPN_RetainObject of an object that does not exist";
        return object;
    }
    ++object->referenceCount;
    return object;
}

void FakeBrowser::ReleaseObject(NPObject* object) {
    FakeBrowser* b = Current();
    if (b->_objects.count(object) == 0 || object->referenceCount == 0) {
        ADD_FAILURE() << "NPN_ReleaseObject of an object that does not exist";
        return;
    }
    if (--object->referenceCount > 0) return;
    b->_objects.erase(object);
    if (object->_class->deallocate != nullptr)
        object->_class->deallocate(object);
    else
        std::free(object);
}

void FakeBrowser::ReleaseVariantValue(NPVariant* variant) {
    if (variant->type == NPVariantType_String)
        MemFree(const_cast<NPUTF8*>(variant->value.stringValue.UTF8Characters));
    if (variant->type == NPVariantType_Object) ReleaseObject(variant->value.objectValue);
    variant->type = NPVariantType_Void;
}

bool FakeBrowser::GetProperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
    if (Current()->_objects.count(object) == 0) {
        ADD_FAILURE() << "NPN_GetProperty on an object that does not exist";
        return false;
    }
    return object->_class->getProperty != nullptr && object->_class->getProperty(object, name, result);
}

namespace {

bool WindowGetProperty(NPObject*, NPIdentifier name, NPVariant* result) {
    const FakeBrowser::Window window = gCurrent->window;
    if (!IsName(name, "location") || window == FakeBrowser::Window::NoLocation) return false;
    NPObject* location = gCurrent->Table().createobject(gCurrent->Instance(), &gLocationClass);
    OBJECT_TO_NPVARIANT(location, *result);
    return true;
}

bool LocationGetProperty(NPObject*, NPIdentifier name, NPVariant* result) {
    if (!IsName(name, "href")) return false;
    if (gCurrent->window == FakeBrowser::Window::HrefNotText) {
        INT32_TO_NPVARIANT(42, *result);
        return true;
    }
    const std::string& href = gCurrent->href;
    auto* text = static_cast<NPUTF8*>(gCurrent->Table().memalloc(static_cast<uint32_t>(href.size())));
    std::memcpy(text, href.data(), href.size());
    STRINGN_TO_NPVARIANT(text, static_cast<uint32_t>(href.size()), *result);
    return true;
}

}  // namespace

NPError FakeBrowser::GetValueForURL(NPP, NPNURLVariable, const char*, char**, uint32_t*) {
    return NPERR_GENERIC_ERROR;
}

NPError FakeBrowser::SetValueForURL(NPP, NPNURLVariable, const char*, const char*, uint32_t) {
    return NPERR_GENERIC_ERROR;
}

}  // namespace TestSupport
