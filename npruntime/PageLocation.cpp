#include "npruntime/PageLocation.h"

#include <string>

#include "common/Logger.h"
#include "npapi/npruntime.h"
#include "npruntime/NPObjectPtr.h"

namespace {

// A variant that the browser filled, released on every way out.
class BrowserVariant {
public:
    BrowserVariant() { VOID_TO_NPVARIANT(_value); }
    ~BrowserVariant() { NPN_ReleaseVariantValue(&_value); }
    BrowserVariant(const BrowserVariant&) = delete;
    BrowserVariant& operator=(const BrowserVariant&) = delete;
    NPVariant* Get() { return &_value; }
    const NPVariant& Value() const { return _value; }

private:
    NPVariant _value;
};

void Log(const char* format, const char* text) {
    Logger::Get()->SetFunc("PageLocation");
    Logger::Get()->Log(format, text);
}

// The object property `name` of object, or null.
NPObjectPtr ObjectProperty(NPP npp, NPObject* object, const char* name) {
    const NPIdentifier id = NPN_GetStringIdentifier(name);
    BrowserVariant value;
    if (id == nullptr || !NPN_GetProperty(npp, object, id, value.Get()) || !NPVARIANT_IS_OBJECT(value.Value()) ||
        NPVARIANT_TO_OBJECT(value.Value()) == nullptr)
        return NPObjectPtr();
    return NPObjectPtr::Retain(NPVARIANT_TO_OBJECT(value.Value()));
}

}  // namespace

PageOrigin PageLocation::Origin(NPP npp) {
    NPObject* window = nullptr;
    if (npp == nullptr || NPN_GetValue(npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR ||
        window == nullptr) {
        Log("%s", "No window object: a local page");
        return PageOrigin();
    }
    // The browser hands the window object with a reference for us.
    const NPObjectPtr owned = NPObjectPtr::Adopt(window);
    const NPObjectPtr location = ObjectProperty(npp, owned.Get(), "location");
    if (!location) {
        Log("%s", "The window has no location object: an opaque origin");
        return PageOrigin::MakeOpaque();
    }
    const NPIdentifier hrefId = NPN_GetStringIdentifier("href");
    BrowserVariant href;
    if (hrefId == nullptr || !NPN_GetProperty(npp, location.Get(), hrefId, href.Get()) ||
        !NPVARIANT_IS_STRING(href.Value())) {
        Log("%s", "The location has no href text: an opaque origin");
        return PageOrigin::MakeOpaque();
    }
    const NPString& text = NPVARIANT_TO_STRING(href.Value());
    const std::string url = text.UTF8Characters != nullptr ? std::string(text.UTF8Characters, text.UTF8Length)
                                                           : std::string();
    const PageOrigin origin = PageOrigin::FromLocation(url);
    Log("Page origin: %s", origin.IsWeb() ? origin.Text().c_str() : "local");
    return origin;
}
