#include "npruntime/NPVisualRep.h"

#include <string>

#include "common/Logger.h"
#include "common/Util.h"
#include "common/npruntime/NPUtils.h"
#include "pdf/Surface.h"

NPClass sNPVisualRep_NPClass = Base::MakeClass(&AllocateNPVisualRepObject);

NPObject* AllocateNPVisualRepObject(NPP npp, NPClass*) {
    return Base::Allocate<NPVisualRep>(npp, "AllocateNPVisualRepObject");
}

namespace {

// Text of the page as wide text for the surface. Malformed UTF-8 is not
// drawn at all (the page gets a failure rather than garbage), and characters
// beyond U+FFFF, which the surface cannot take, are left out.
bool ToSurfaceText(const std::string& utf8, std::wstring& out) {
    std::wstring wide;
    try {
        wide = Util::AtoW(utf8, true);
    } catch (...) {
        return false;
    }
    out.clear();
    for (const wchar_t c : wide) {
        const auto code = static_cast<unsigned long>(c);
        if (code >= 0xD800 && code <= 0xDFFF) continue;  // halves of a pair
        if (code > 0xFFFF) continue;
        out.push_back(c);
    }
    return true;
}

void LogBadParameter(const char* func) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("Incorrect parameter specified.");
}

}  // namespace

NPVisualRep::NPVisualRep(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPVisualRep");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    Properties().AddInt("posX", &_posX);
    Properties().AddInt("posY", &_posY);
    AddMethod("loadImage", &NPVisualRep::LoadImageNP);
    AddMethod("setFont", &NPVisualRep::SetFontNP);
    AddMethod("putImage", &NPVisualRep::PutImageNP);
    AddMethod("putText", &NPVisualRep::PutTextNP);
}

NPVisualRep::~NPVisualRep() {
    Logger::Get()->SetFunc("~NPVisualRep");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool NPVisualRep::LoadImageNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 1 || !NPUtils::IsString(&args[0])) return false;
    bool loaded = false;
    if (_surface) {
        std::string data;
        NPUtils::VariantToString(&args[0], data);
        loaded = _surface->LoadImage(data.c_str());
    }
    BOOLEAN_TO_NPVARIANT(loaded, *result);
    return true;
}

bool NPVisualRep::SetFontNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 3) return false;
    int size = 0;
    int style = 0;
    if (!NPUtils::IsString(&args[0]) || !NPUtils::VariantToInt(&args[1], size) ||
        !NPUtils::VariantToInt(&args[2], style)) {
        LogBadParameter("setFont");
        return false;
    }
    bool set = false;
    if (_surface) {
        std::string face;
        NPUtils::VariantToString(&args[0], face);
        set = _surface->SetFont(face.c_str(), size, style);
    }
    BOOLEAN_TO_NPVARIANT(set, *result);
    return true;
}

bool NPVisualRep::PutImageNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 2) return false;
    int width = 0;
    int height = 0;
    if (!NPUtils::VariantToInt(&args[0], width) || !NPUtils::VariantToInt(&args[1], height)) {
        LogBadParameter("putImage");
        return false;
    }
    if (!_surface) {
        BOOLEAN_TO_NPVARIANT(false, *result);
        return true;
    }
    _surface->SetPos(_posX, _posY);
    // Nothing drawn (no raster, no picture) is the page's to know.
    if (!_surface->WriteImage(width, height)) BOOLEAN_TO_NPVARIANT(false, *result);
    return true;
}

bool NPVisualRep::PutTextNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 1 || !NPUtils::IsString(&args[0])) return false;
    if (!_surface) {
        BOOLEAN_TO_NPVARIANT(false, *result);
        return true;
    }
    std::string utf8;
    NPUtils::VariantToString(&args[0], utf8);
    std::wstring text;
    if (!ToSurfaceText(utf8, text)) return false;
    _surface->SetPos(_posX, _posY);
    if (!_surface->WriteString(text.c_str())) BOOLEAN_TO_NPVARIANT(false, *result);
    return true;
}
