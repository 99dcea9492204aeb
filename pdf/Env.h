#pragma once

#include <cstdio>
#include <memory>

namespace Crypto {
class Platform;
}

namespace PDF {

class File;
class Versions;
class XRefs;

// The PDF side of one request: the open document with its revision list,
// the crypto factory, and, while a sign operation writes, the working copy,
// the object-number counter and the cross-reference collector.
class Env {
public:
    Env();
    ~Env();
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;

    // Attaches an opened document (the revision list is built at once, and a
    // PDF::Exception from it leaves nothing attached) or, with null, detaches.
    void SetFile(File* file);
    File* GetFile() const { return _file; }

    // The next object number of the update, then one more.
    int NewOid() { return _nextOid++; }
    // The document refers to object `num` although it has none (a signature
    // field's /V, say): the update's objects start above it, so that none of
    // them becomes what that reference names. Numbers far beyond what an
    // update adds stay unnamed anyway and are left alone.
    void AvoidOid(int num) {
        if (num >= _nextOid && num - _nextOid < kUpdateReach) _nextOid = num + 1;
    }
    static constexpr int kUpdateReach = 1024;

    // Not owned; set by the request.
    void SetPlatform(Crypto::Platform* platform) { _platform = platform; }
    Crypto::Platform* GetPlatform() const { return _platform; }

    // The working copy a sign operation writes; not owned.
    void SetOutput(std::FILE* out) { _out = out; }
    std::FILE* GetOutput() const { return _out; }

    XRefs* GetXRefs() const { return _xrefs.get(); }
    Versions* GetVersions() const { return _versions.get(); }

private:
    File* _file = nullptr;
    Crypto::Platform* _platform = nullptr;
    std::FILE* _out = nullptr;
    int _nextOid = 0;
    std::unique_ptr<XRefs> _xrefs;
    std::unique_ptr<Versions> _versions;
};

}  // namespace PDF
