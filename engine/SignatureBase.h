#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FactoryPtr.h"

class CertInfoBase;

namespace PDF {
class Signature;
}

// The signatures one sign or verify operation reports, one record each, and
// the record the page currently reads. Records copy what they show from the
// signature dictionary, so they never refer to it after it is added.
class SignatureBase {
public:
    struct SigInfo {
        std::string sigId;   // the signature field's name
        std::string status;  // four characters: time, chain, signature, revocation
        std::wstring reason;
        std::wstring location;
        std::wstring contact;
        std::int64_t signingTime = 0;  // seconds since 1970 UTC
        short docRevision = 0;         // -1: no revision matched (and after signing)
        short error = 0;               // the signer certificate's error code
        // The signer's certificate information, held for as long as the
        // record lives.
        FactoryPtr<CertInfoBase> certificate;
    };

    SignatureBase();
    virtual ~SignatureBase();
    SignatureBase(const SignatureBase&) = delete;
    SignatureBase& operator=(const SignatureBase&) = delete;

    // Appends a record. With a signature, its signing time, location, reason,
    // revision and contact are copied.
    void AddSignature(const std::string& sigId, const PDF::Signature* signature, short error,
                      const std::string& status, FactoryPtr<CertInfoBase> certificate);

    // Makes `index` current when it names a record; otherwise nothing changes.
    void LoadSignature(std::int64_t index);
    std::int64_t CurrentIndex() const { return _current; }
    // The current record, or null (empty list).
    const SigInfo* Current() const;
    std::size_t Count() const { return _records.size(); }
    const SigInfo& At(std::size_t index) const { return *_records.at(index); }

    // The number of revisions of the verified document, counting bytes
    // appended after its last end-of-file marker as one more; -1 when it has
    // none (and after signing). A record whose docRevision is below
    // RevisionCount() - 1 was followed by later changes.
    int RevisionCount() const { return _revisionCount; }
    void SetRevisionCount(int count) { _revisionCount = count; }

private:
    int _revisionCount = -1;
    std::int64_t _current = 0;
    std::vector<std::unique_ptr<SigInfo>> _records;
};
