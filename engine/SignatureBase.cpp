#include "engine/SignatureBase.h"

#include "common/Logger.h"
#include "pdf/Signature.h"

SignatureBase::SignatureBase() {
    Logger::Get()->SetFunc("SignatureBase");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

SignatureBase::~SignatureBase() {
    Logger::Get()->SetFunc("~SignatureBase");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

void SignatureBase::AddSignature(const std::string& sigId, const PDF::Signature* signature, short error,
                                 const std::string& status, FactoryPtr<CertInfoBase> certificate) {
    auto record = std::make_unique<SigInfo>();
    record->sigId = sigId;
    record->error = error;
    record->status = status;
    // Kept with or without a signature.
    record->certificate = std::move(certificate);
    if (signature != nullptr) {
        record->signingTime = static_cast<std::int64_t>(signature->GetTime());
        record->location = signature->GetLocation();
        record->reason = signature->GetReason();
        record->docRevision = static_cast<short>(signature->GetRevision());
        record->contact = signature->GetContact();
    }
    _records.push_back(std::move(record));
}

void SignatureBase::LoadSignature(std::int64_t index) {
    if (index >= 0 && static_cast<std::size_t>(index) < _records.size()) _current = index;
}

const SignatureBase::SigInfo* SignatureBase::Current() const {
    if (_current < 0 || static_cast<std::size_t>(_current) >= _records.size()) return nullptr;
    return _records[static_cast<std::size_t>(_current)].get();
}
