#pragma once

#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "common/PageOrigin.h"
#include "common/posix/FilePtr.h"
#include "engine/FactoryPtr.h"

class SignatureBase;

// What one sign or verify operation hands back: its outcome code, the signed
// working copy (after a sign; the result deletes it when destroyed), read
// back as Base64 text in pieces or saved to a file, and the signature list.
class ResultBase {
public:
    ResultBase();
    virtual ~ResultBase();
    ResultBase(const ResultBase&) = delete;
    ResultBase& operator=(const ResultBase&) = delete;

    // Keeps the list (the scriptable result holds it; it releases one it held before).
    virtual void SetSignatures(FactoryPtr<SignatureBase> signatures) = 0;

    // The next piece of the signed copy as Base64 text with a line feed
    // after every 72 characters; the last piece ends with the final group and
    // a line feed, and the call after it answers empty text (the next one
    // starts again from the first byte). -8 and empty text when the file
    // cannot be read.
    const std::string& ReadStreamData();
    // Copies the signed copy to a path or file:// URL: 1 and true, or -8 and
    // false. A web page may not write the user's files: -78 and false (it
    // reads the copy with ReadStreamData).
    bool SaveFile(const std::string& destination);

    static constexpr int kSaveRefusedForOrigin = -78;

    // The page the result serves; local unless set.
    const PageOrigin& Origin() const { return _origin; }
    void SetOrigin(const PageOrigin& origin) { _origin = origin; }

    int Error() const { return _error; }
    void SetError(int error) { _error = error; }
    const std::string& File() const { return _file; }
    void SetFile(const std::string& file) { _file = file; }

    static constexpr int kChunkSize = 512;

private:
    int _error = 1;
    std::string _file;
    PageOrigin _origin;
    Util::FilePtr _readStream;
    Util::Base64Encoder _encoder;
    std::vector<char> _readBuffer;
    std::string _chunkText;
};
