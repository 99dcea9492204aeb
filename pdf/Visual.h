#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace PDF {

class Env;
class Surface;

// Writes the appearance of a signature widget into the update: the raster of
// a visible signature as an image XObject with the form XObject that paints
// it, or the empty form of an invisible signature.
class Visual {
public:
    explicit Visual(Env* env);
    ~Visual();
    Visual(const Visual&) = delete;
    Visual& operator=(const Visual&) = delete;

    // The raster to write; not owned. Null for an invisible signature.
    void SetSurface(Surface* surface) { _surface = surface; }
    Surface* GetSurface() const { return _surface; }
    // The turn of the page the appearance is shown on (0, 90, 180, 270);
    // without it, the document's first page's.
    void SetPageRotation(int degrees) { _rotation = degrees; }

    // Image and form objects of the surface; raises PDF::Exception (Code::kNoWatermark no
    // pixels, Code::kEncodingFailed the raster does not compress below its
    // size, Code::kNoOutput or Code::kNoSurface, Code::kLibraryCall a
    // compression failure).
    void WriteOut();
    // The empty form; raises as WriteOut.
    void WriteOutEmpty();
    // Object number of the form XObject; 0 before it is written.
    int GetOid() const { return _oid; }

    // /Matrix text of the forms for a page turned by `degrees`.
    static std::string GetTransformationMatrix(int degrees);

private:
    // Records the current position for a new object number and answers it.
    int StartObject(const char* function);
    std::string Matrix() const;

    Env* _env;
    std::FILE* _out;
    int _oid = 0;
    Surface* _surface = nullptr;  // not owned
    std::optional<int> _rotation;
};

}  // namespace PDF
