#include "pdf/Visual.h"

#include "common/Logger.h"
#include "pdf/AppearanceObjects.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/Output.h"
#include "pdf/PageGeometry.h"
#include "pdf/Surface.h"
#include "pdf/XRefs.h"

namespace PDF {

namespace {

// Turns a failed compression into the exception the sign operation reports.
void Check(const AppearanceObjects::Stream& stream, const char* function) {
    switch (stream.status) {
        case AppearanceObjects::Status::Ok:
            return;
        case AppearanceObjects::Status::NoPixels:
            throw Exception(Code::kNoWatermark);
        case AppearanceObjects::Status::EncodingFailed:
            throw Exception(Code::kEncodingFailed);
        case AppearanceObjects::Status::LibraryError:
            break;
    }
    throw Exception(Code::kLibraryCall,
                    std::string("PDF Error in ") + function + ", pdf/Visual: " + stream.message);
}

}  // namespace

Visual::Visual(Env* env) : _env(env), _out(env != nullptr ? env->GetOutput() : nullptr) {
    Logger::Get()->SetFunc("Visual");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

Visual::~Visual() {
    Logger::Get()->SetFunc("~Visual");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

std::string Visual::GetTransformationMatrix(int degrees) {
    return AppearanceObjects::MatrixForRotation(degrees);
}

std::string Visual::Matrix() const {
    if (_rotation) return GetTransformationMatrix(*_rotation);
    const File* const file = _env->GetFile();
    return GetTransformationMatrix(
        file != nullptr ? PageGeometry::NormalizeRotation(file->GetPageRotationDegrees(1)) : 0);
}

int Visual::StartObject(const char* function) {
    if (_env == nullptr || _env->GetOutput() == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(Code::kNoOutput, std::string("Visual::") + function + " - output file not set");
    const int num = _env->NewOid();
    _env->GetXRefs()->AddRef(num, 0, Output::Position(_env->GetOutput()));
    return num;
}

void Visual::WriteOut() {
    if (_surface == nullptr) throw Exception(Code::kNoSurface, "Visual::WriteOut - no surface");
    if (_env == nullptr || _env->GetOutput() == nullptr)
        throw Exception(Code::kNoOutput, "Visual::WriteOut - output file not set");
    const std::string matrix = Matrix();

    AppearanceObjects::Stream raster = AppearanceObjects::CompressRaster(*_surface);
    Check(raster, "WriteOut");
    Logger::Get()->SetFunc("WriteOut");
    Logger::Get()->Log("Size of the buffer %d", static_cast<int>(raster.flate.size()));

    const AppearanceObjects::Stream content =
        AppearanceObjects::CompressContent(AppearanceObjects::ImageContent(raster.width, raster.height));
    Check(content, "WriteOut");

    const int image = StartObject("WriteOut");
    Output::Write(_env->GetOutput(),
                  AppearanceObjects::ImageObject(image, raster.width, raster.height, raster.flate));
    raster.flate = {};

    const int form = StartObject("WriteOut");
    Logger::Get()->SetFunc("WriteOut");
    Logger::Get()->Log("Size of the FORM buffer %d", static_cast<int>(content.flate.size()));
    Output::Write(_env->GetOutput(), AppearanceObjects::FormObject(form, image, raster.width, raster.height,
                                                                   matrix, content.flate));
    _oid = form;
}

void Visual::WriteOutEmpty() {
    if (_env == nullptr || _env->GetOutput() == nullptr)
        throw Exception(Code::kNoOutput, "Visual::WriteOutEmpty - output file not set");
    const std::string matrix = Matrix();
    const AppearanceObjects::Stream content =
        AppearanceObjects::CompressContent(AppearanceObjects::EmptyContent());
    Check(content, "WriteOutEmpty");
    const int form = StartObject("WriteOutEmpty");
    Logger::Get()->SetFunc("WriteOutEmpty");
    Logger::Get()->Log("Size of the FORM buffer %d", static_cast<int>(content.flate.size()));
    Output::Write(_env->GetOutput(), AppearanceObjects::EmptyFormObject(form, matrix, content.flate));
    _oid = form;
}

}  // namespace PDF
