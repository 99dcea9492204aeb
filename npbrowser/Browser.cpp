#include "npbrowser/Browser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "npbrowser/CallGuard.h"
#include "npbrowser/ProgramName.h"

Browser* Browser::_current = nullptr;

Browser::Browser(const BrowserOptions& options) : _cocoa(options.cocoa), _coreGraphics(options.coreGraphics) {
    _instance.ndata = this;
    _current = this;
}

Browser::~Browser() {
    if (_current == this) _current = nullptr;
}

Browser* Browser::Current() {
    return _current;
}

bool Browser::TakeException(std::string& message) {
    if (!_hasException) return false;
    message.swap(_exception);
    _exception.clear();
    _hasException = false;
    return true;
}

std::string Browser::CallFailure(bool ok, const std::string& what, const std::string& name) {
    std::string exception;
    if (TakeException(exception)) return exception;
    if (!ok) return what + " '" + name + "' of a plug-in object failed";
    return std::string();
}

void Browser::RunAsyncCalls() {
    for (;;) {
        std::vector<std::pair<void (*)(void*), void*>> calls;
        {
            const std::lock_guard<std::mutex> lock(_asyncMutex);
            calls.swap(_asyncCalls);
        }
        if (calls.empty()) return;
        for (const auto& [func, data] : calls) func(data);
    }
}

void Browser::ReleaseVariant(NPVariant& variant) {
    if (variant.type == NPVariantType_String) {
        MemFree(const_cast<NPUTF8*>(variant.value.stringValue.UTF8Characters));
    } else if (variant.type == NPVariantType_Object) {
        ReleaseObject(variant.value.objectValue);
    }
    VOID_TO_NPVARIANT(variant);
}

NPError Browser::Answer(BrowserOptions::Answer answer, void* value) {
    if (answer == BrowserOptions::Answer::Error) return NPERR_GENERIC_ERROR;
    *static_cast<NPBool*>(value) = answer == BrowserOptions::Answer::Yes;
    return NPERR_NO_ERROR;
}

NPError Browser::GetValue(NPP instance, NPNVariable variable, void* value) {
    Browser* self = Current();
    if (self == nullptr || value == nullptr) return NPERR_GENERIC_ERROR;
    if (instance != nullptr && instance != &self->_instance) return NPERR_INVALID_INSTANCE_ERROR;
    // The plug-in may pass any number: it is read as the integer it is, not
    // as one of the enumeration's values.
    static_assert(sizeof(NPNVariable) == sizeof(int));
    int code = 0;
    std::memcpy(&code, &variable, sizeof code);
    switch (code) {
        case NPNVsupportsCocoaBool:
            return Answer(self->_cocoa, value);
        case NPNVsupportsCoreGraphicsBool:
            return Answer(self->_coreGraphics, value);
        case NPNVjavascriptEnabledBool:
        case NPNVSupportsWindowless:
            *static_cast<NPBool*>(value) = true;
            return NPERR_NO_ERROR;
        case NPNVasdEnabledBool:
        case NPNVisOfflineBool:
        case NPNVprivateModeBool:
        case NPNVsupportsQuickDrawBool:
        case NPNVsupportsOpenGLBool:
        case NPNVsupportsCoreAnimationBool:
        case NPNVsupportsCarbonBool:
            *static_cast<NPBool*>(value) = false;
            return NPERR_NO_ERROR;
        case NPNVpluginDrawingModel:
            *static_cast<int*>(value) = self->_drawingModel;
            return NPERR_NO_ERROR;
        case NPNVWindowNPObject: {
            NPObject* window = CallGuard("NPN_GetValue", static_cast<NPObject*>(nullptr), [self] {
                return self->_page != nullptr ? self->_page->WindowObject() : nullptr;
            });
            if (window == nullptr) return NPERR_GENERIC_ERROR;
            *static_cast<NPObject**>(value) = window;
            return NPERR_NO_ERROR;
        }
        default:
            return NPERR_GENERIC_ERROR;
    }
}

NPError Browser::SetValue(NPP instance, NPPVariable variable, void* value) {
    Browser* self = Current();
    if (self == nullptr) return NPERR_GENERIC_ERROR;
    if (instance != &self->_instance) return NPERR_INVALID_INSTANCE_ERROR;
    // The model numbers travel in the pointer itself.
    const auto number = static_cast<int>(reinterpret_cast<intptr_t>(value));
    switch (variable) {
        case NPPVpluginEventModel:
            if (number != NPEventModelCocoa || self->_cocoa != BrowserOptions::Answer::Yes)
                return NPERR_GENERIC_ERROR;
            self->_eventModel = number;
            return NPERR_NO_ERROR;
        case NPPVpluginDrawingModel:
            if (number != NPDrawingModelCoreGraphics || self->_coreGraphics != BrowserOptions::Answer::Yes) {
                return NPERR_GENERIC_ERROR;
            }
            self->_drawingModel = number;
            return NPERR_NO_ERROR;
        case NPPVpluginWindowBool:
        case NPPVpluginTransparentBool:
            return NPERR_NO_ERROR;
        default:
            return NPERR_GENERIC_ERROR;
    }
}

void* Browser::MemAlloc(uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void Browser::MemFree(void* ptr) {
    std::free(ptr);
}

NPIdentifier Browser::GetStringIdentifier(const NPUTF8* name) {
    Browser* self = Current();
    if (self == nullptr || name == nullptr) return nullptr;
    return CallGuard("NPN_GetStringIdentifier", NPIdentifier(nullptr),
                     [&] { return self->_identifiers.String(name); });
}

void Browser::GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids) {
    if (names == nullptr || ids == nullptr) return;
    for (int32_t i = 0; i < count; ++i) ids[i] = GetStringIdentifier(names[i]);
}

NPIdentifier Browser::GetIntIdentifier(int32_t value) {
    Browser* self = Current();
    if (self == nullptr) return nullptr;
    return CallGuard("NPN_GetIntIdentifier", NPIdentifier(nullptr),
                     [&] { return self->_identifiers.Int(value); });
}

bool Browser::IdentifierIsString(NPIdentifier id) {
    return IdentifierTable::IsString(id);
}

NPUTF8* Browser::UTF8FromIdentifier(NPIdentifier id) {
    if (!IdentifierTable::IsString(id)) return nullptr;
    return CallGuard("NPN_UTF8FromIdentifier", static_cast<NPUTF8*>(nullptr), [id] {
        const std::string name = IdentifierTable::Name(id);
        auto* copy = static_cast<NPUTF8*>(MemAlloc(static_cast<uint32_t>(name.size() + 1)));
        if (copy != nullptr) std::memcpy(copy, name.c_str(), name.size() + 1);
        return copy;
    });
}

int32_t Browser::IntFromIdentifier(NPIdentifier id) {
    return IdentifierTable::Number(id);
}

NPObject* Browser::CreateObject(NPP npp, NPClass* cls) {
    Browser* self = Current();
    if (self == nullptr) return nullptr;
    return CallGuard("NPN_CreateObject", static_cast<NPObject*>(nullptr),
                     [&] { return self->_objects.Create(npp, cls); });
}

NPObject* Browser::RetainObject(NPObject* object) {
    Browser* self = Current();
    return self != nullptr ? self->_objects.Retain(object) : object;
}

void Browser::ReleaseObject(NPObject* object) {
    if (Browser* self = Current()) self->_objects.Release(object);
}

bool Browser::Usable(NPObject* object) {
    Browser* self = Current();
    if (self == nullptr || object == nullptr || object->_class == nullptr) return false;
    if (!self->_objects.IsLive(object)) {
        std::fprintf(stderr, "%s: call on object %p, which does not exist\n", ProgramName::Get(),
                     static_cast<void*>(object));
        return false;
    }
    return true;
}

bool Browser::Invoke(NPP, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                     NPVariant* result) {
    if (result != nullptr) VOID_TO_NPVARIANT(*result);
    if (!Usable(object) || object->_class->invoke == nullptr) return false;
    return object->_class->invoke(object, name, args, count, result);
}

bool Browser::InvokeDefault(NPP, NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    if (result != nullptr) VOID_TO_NPVARIANT(*result);
    if (!Usable(object) || object->_class->invokeDefault == nullptr) return false;
    return object->_class->invokeDefault(object, args, count, result);
}

bool Browser::Evaluate(NPP, NPObject* object, NPString* script, NPVariant* result) {
    if (result != nullptr) VOID_TO_NPVARIANT(*result);
    Browser* self = Current();
    if (!Usable(object) || script == nullptr || result == nullptr || self->_page == nullptr) return false;
    return CallGuard("NPN_Evaluate", false, [&] {
        return self->_page->Evaluate(std::string(script->UTF8Characters, script->UTF8Length), *result);
    });
}

bool Browser::GetProperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
    if (result != nullptr) VOID_TO_NPVARIANT(*result);
    if (!Usable(object) || object->_class->getProperty == nullptr) return false;
    return object->_class->getProperty(object, name, result);
}

bool Browser::SetProperty(NPP, NPObject* object, NPIdentifier name, const NPVariant* value) {
    if (!Usable(object) || object->_class->setProperty == nullptr) return false;
    return object->_class->setProperty(object, name, value);
}

bool Browser::RemoveProperty(NPP, NPObject* object, NPIdentifier name) {
    if (!Usable(object) || object->_class->removeProperty == nullptr) return false;
    return object->_class->removeProperty(object, name);
}

bool Browser::HasProperty(NPP, NPObject* object, NPIdentifier name) {
    if (!Usable(object) || object->_class->hasProperty == nullptr) return false;
    return object->_class->hasProperty(object, name);
}

bool Browser::HasMethod(NPP, NPObject* object, NPIdentifier name) {
    if (!Usable(object) || object->_class->hasMethod == nullptr) return false;
    return object->_class->hasMethod(object, name);
}

void Browser::ReleaseVariantValue(NPVariant* variant) {
    if (variant != nullptr) ReleaseVariant(*variant);
}

void Browser::SetException(NPObject*, const NPUTF8* message) {
    Browser* self = Current();
    if (self == nullptr) return;
    CallGuard("NPN_SetException", false, [&] {
        self->_exception = message != nullptr ? message : "";
        self->_hasException = true;
        return true;
    });
}

bool Browser::Enumerate(NPP, NPObject* object, NPIdentifier** ids, uint32_t* count) {
    if (ids != nullptr) *ids = nullptr;
    if (count != nullptr) *count = 0;
    if (!Usable(object) || ids == nullptr || count == nullptr) return false;
    NPClass* cls = object->_class;
    if (!NP_CLASS_STRUCT_VERSION_HAS_ENUM(cls) || cls->enumerate == nullptr) return false;
    return cls->enumerate(object, ids, count);
}

void Browser::PluginThreadAsyncCall(NPP, void (*func)(void*), void* userData) {
    Browser* self = Current();
    if (self == nullptr || func == nullptr) return;
    CallGuard("NPN_PluginThreadAsyncCall", false, [&] {
        const std::lock_guard<std::mutex> lock(self->_asyncMutex);
        self->_asyncCalls.emplace_back(func, userData);
        return true;
    });
}

bool Browser::Construct(NPP, NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    if (result != nullptr) VOID_TO_NPVARIANT(*result);
    if (!Usable(object)) return false;
    NPClass* cls = object->_class;
    if (!NP_CLASS_STRUCT_VERSION_HAS_CTOR(cls) || cls->construct == nullptr) return false;
    return cls->construct(object, args, count, result);
}

NPNetscapeFuncs Browser::FunctionTable() {
    NPNetscapeFuncs t{};
    t.size = sizeof(NPNetscapeFuncs);
    t.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    // Networking, streams, drawing and Java are not offered: a page script is
    // the only thing this browser runs. Their entries answer with failure.
    t.geturl = [](NPP, const char*, const char*) -> NPError { return NPERR_GENERIC_ERROR; };
    t.posturl = [](NPP, const char*, const char*, uint32_t, const char*, NPBool) -> NPError {
        return NPERR_GENERIC_ERROR;
    };
    t.requestread = [](NPStream*, NPByteRange*) -> NPError { return NPERR_STREAM_NOT_SEEKABLE; };
    t.newstream = [](NPP, NPMIMEType, const char*, NPStream**) -> NPError { return NPERR_GENERIC_ERROR; };
    t.write = [](NPP, NPStream*, int32_t, void*) -> int32_t { return -1; };
    t.destroystream = [](NPP, NPStream*, NPReason) -> NPError { return NPERR_GENERIC_ERROR; };
    t.status = [](NPP, const char*) {};
    t.uagent = [](NPP) -> const char* { return ProgramName::UserAgent(); };
    t.memalloc = &MemAlloc;
    t.memfree = &MemFree;
    t.memflush = [](uint32_t) -> uint32_t { return 0; };
    t.reloadplugins = [](NPBool) {};
    t.getJavaEnv = []() -> void* { return nullptr; };
    t.getJavaPeer = [](NPP) -> void* { return nullptr; };
    t.geturlnotify = [](NPP, const char*, const char*, void*) -> NPError { return NPERR_GENERIC_ERROR; };
    t.posturlnotify = [](NPP, const char*, const char*, uint32_t, const char*, NPBool, void*) -> NPError {
        return NPERR_GENERIC_ERROR;
    };
    t.getvalue = &GetValue;
    t.setvalue = &SetValue;
    t.invalidaterect = [](NPP, NPRect*) {};
    t.invalidateregion = [](NPP, NPRegion) {};
    t.forceredraw = [](NPP) {};
    t.getstringidentifier = &GetStringIdentifier;
    t.getstringidentifiers = &GetStringIdentifiers;
    t.getintidentifier = &GetIntIdentifier;
    t.identifierisstring = &IdentifierIsString;
    t.utf8fromidentifier = &UTF8FromIdentifier;
    t.intfromidentifier = &IntFromIdentifier;
    t.createobject = &CreateObject;
    t.retainobject = &RetainObject;
    t.releaseobject = &ReleaseObject;
    t.invoke = &Invoke;
    t.invokeDefault = &InvokeDefault;
    t.evaluate = &Evaluate;
    t.getproperty = &GetProperty;
    t.setproperty = &SetProperty;
    t.removeproperty = &RemoveProperty;
    t.hasproperty = &HasProperty;
    t.hasmethod = &HasMethod;
    t.releasevariantvalue = &ReleaseVariantValue;
    t.setexception = &SetException;
    t.pushpopupsenabledstate = [](NPP, NPBool) {};
    t.poppopupsenabledstate = [](NPP) {};
    t.enumerate = &Enumerate;
    t.pluginthreadasynccall = &PluginThreadAsyncCall;
    t.construct = &Construct;
    t.getvalueforurl = [](NPP, NPNURLVariable, const char*, char** value, uint32_t* len) -> NPError {
        if (value != nullptr) *value = nullptr;
        if (len != nullptr) *len = 0;
        return NPERR_GENERIC_ERROR;
    };
    t.setvalueforurl = [](NPP, NPNURLVariable, const char*, const char*, uint32_t) -> NPError {
        return NPERR_GENERIC_ERROR;
    };
    t.getauthenticationinfo = [](NPP, const char*, const char*, int32_t, const char*, const char*, char**,
                                 uint32_t*, char**, uint32_t*) -> NPError { return NPERR_GENERIC_ERROR; };
    t.scheduletimer = [](NPP, uint32_t, NPBool, void (*)(NPP, uint32_t)) -> uint32_t { return 0; };
    t.unscheduletimer = [](NPP, uint32_t) {};
    t.popupcontextmenu = [](NPP, NPMenu*) -> NPError { return NPERR_GENERIC_ERROR; };
    t.convertpoint = [](NPP, double, double, NPCoordinateSpace, double*, double*,
                        NPCoordinateSpace) -> NPBool { return false; };
    t.handleevent = [](NPP, void*, NPBool) -> NPBool { return false; };
    t.unfocusinstance = [](NPP, NPFocusDirection) -> NPBool { return false; };
    return t;
}
