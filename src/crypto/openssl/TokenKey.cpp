#include "crypto/openssl/TokenKey.h"

#include <p11-kit/pkcs11.h>

#include <algorithm>
#include <cstdio>

#include "common/Logger.h"
#include "crypto/CryptoCodes.h"
#include "crypto/Exception.h"
#include "crypto/Secret.h"
#include "crypto/SecretPrompt.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/Pkcs11Module.h"

namespace Crypto {

namespace {

std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

std::string Hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

}  // namespace

TokenKey::TokenKey(std::shared_ptr<KeySession> session, std::shared_ptr<Pkcs11Module> module,
                   unsigned int slot, std::vector<unsigned char> id, bool publicKey)
    : _session(std::move(session)),
      _module(std::move(module)),
      _slot(slot),
      _id(std::move(id)),
      _publicKey(publicKey) {
    const PKCS11_SLOT* const s = _module->Slot(_slot);
    if (s != nullptr && s->token != nullptr) {
        _label = Text(s->token->label);
        _serial = Text(s->token->serialnr);
        _needsLogin = s->token->loginRequired != 0;
        _secureLogin = s->token->secureLogin != 0;
    }
}

TokenKey::~TokenKey() = default;

std::string TokenKey::Place(const Pkcs11Module& module, unsigned int slot) {
    PKCS11_SLOT* const s = module.Slot(slot);
    const unsigned long slotId = s != nullptr ? PKCS11_get_slotid_from_slot(s) : 0;
    const std::string label = s != nullptr && s->token != nullptr ? Text(s->token->label) : "";
    return "token \"" + label + "\" (slot " + std::to_string(slotId) + " of " + module.Path() + ")";
}

std::string TokenKey::TokenId() const {
    return _module->Path() + '\n' + _serial + '\n' + _label;
}

int TokenKey::CodeOf(unsigned long ckr) {
    switch (ckr) {
        case CKR_PIN_INCORRECT:
        case CKR_PIN_INVALID:
        case CKR_PIN_LEN_RANGE:
            return Code::kWrongPin;
        case CKR_PIN_LOCKED:
            return Code::kPinLocked;
        case CKR_DEVICE_REMOVED:
        case CKR_TOKEN_NOT_PRESENT:
        case CKR_TOKEN_NOT_RECOGNIZED:
        case CKR_SLOT_ID_INVALID:
        case CKR_SESSION_CLOSED:
        case CKR_SESSION_HANDLE_INVALID:
            return Code::kTokenUnavailable;
        default:
            return Code::kKeyUnusable;
    }
}

unsigned long TokenKey::TakeTokenError() {
    unsigned long ckr = CKR_GENERAL_ERROR;
    // libp11 files the PKCS#11 return value as the reason of an error of its own library.
    const unsigned long error = ERR_peek_last_error();
    if (error != 0 && ERR_GET_LIB(error) == ERR_get_CKR_code()) ckr = ERR_GET_REASON(error);
    ERR_clear_error();
    return ckr;
}

bool TokenKey::TokenErrorPending() {
    const unsigned long error = ERR_peek_last_error();
    return error != 0 && ERR_GET_LIB(error) == ERR_get_CKR_code();
}

void TokenKey::Fail(int code, const std::string& what) const {
    Logger::Get()->SetFunc("TokenKey::Unlock");
    Logger::Get()->Log("%s: %s", Where().c_str(), what.c_str());
    // A token that shows none of the key's objects any more has been removed
    // (or emptied), whatever the module answered for the call that failed.
    if (code != Code::kWrongPin && code != Code::kPinLocked && !KeyObjectShown())
        code = Code::kTokenUnavailable;
    throw Exception(code, "Token \"" + _label + "\": " + what);
}

bool TokenKey::KeyObjectShown() const {
    PKCS11_TOKEN* const token = _module->Slot(_slot)->token;
    PKCS11_KEY* keys = nullptr;
    unsigned int count = 0;
    const int listed = _publicKey ? PKCS11_enumerate_public_keys(token, &keys, &count)
                                  : PKCS11_enumerate_keys(token, &keys, &count);
    ERR_clear_error();
    if (listed != 0) return false;
    for (unsigned int i = 0; i < count; ++i)
        if (keys[i].id_len == _id.size() && std::equal(_id.begin(), _id.end(), keys[i].id)) return true;
    return false;
}

void TokenKey::Unlock(const CertificateOpenSSL& certificate, const PromptContext& context) {
    if (_module->Slot(_slot) == nullptr || _module->Slot(_slot)->token == nullptr)
        throw Exception(Code::kTokenUnavailable, "The token is not in its slot");
    bool asked = false;
    if (_needsLogin && !_session->TokenUnlocked(TokenId())) {
        Login(certificate, context);
        asked = true;
    }
    if (FindKey(certificate)) return;
    if (_needsLogin && _module->LoggedIn(TokenId())) {
        // The token logged out by itself (a timeout, or it was pulled out
        // and put back): it is logged in to again.
        _module->ForgetLogin(TokenId());
        _session->SetTokenUnlocked(TokenId(), false);
        if (!asked) {
            Login(certificate, context);
            if (FindKey(certificate)) return;
        }
    }
    Fail(Code::kTokenUnavailable, "the private key is no longer on the token");
}

bool TokenKey::TryLogin(const char* pin) {
    const std::string token = TokenId();
    if (_module->LoggedIn(token)) {
        // Logged in for another page of the process: its PIN checks this one.
        if (_module->CheckPin(token, pin)) return true;
        Logger::Get()->SetFunc("TokenKey::Unlock");
        Logger::Get()->Log("%s: the PIN was refused", Where().c_str());
        return false;
    }
    if (PKCS11_login(_module->Slot(_slot), 0, pin) == 0) {
        _module->RememberLogin(token, pin);
        return true;
    }
    const unsigned long ckr = TakeTokenError();
    const int code = CodeOf(ckr);
    if (code == Code::kWrongPin) {
        Logger::Get()->SetFunc("TokenKey::Unlock");
        Logger::Get()->Log("%s: the PIN was refused", Where().c_str());
        return false;
    }
    Fail(code, "logging in failed (PKCS#11 error " + Hex(ckr) + ")");
}

void TokenKey::Login(const CertificateOpenSSL& certificate, const PromptContext& context) {
    const PKCS11_TOKEN* const token = _module->Slot(_slot)->token;
    if (token->userPinLocked)
        throw Exception(Code::kPinLocked, "The PIN of token \"" + _label + "\" is locked");
    if (_secureLogin) {
        // The reader asks for the PIN on its own keypad.
        if (!TryLogin(nullptr)) throw Exception(Code::kWrongPin, "The token refused the PIN");
        _session->SetTokenUnlocked(TokenId(), true);
        return;
    }
    SecretRequest request;
    request.kind = SecretRequest::Pin;
    request.certificate = certificate.Subject();
    request.token = _label;
    request.origin = context.origin;
    request.language = context.language;
    request.finalTry = token->userPinFinalTry != 0;
    const SecretPrompt::Outcome outcome =
        SecretPrompt::AskUntilAccepted(request, [this](const Secret& pin) { return TryLogin(pin.CStr()); });
    switch (outcome) {
        case SecretPrompt::Accepted:
            _session->SetTokenUnlocked(TokenId(), true);
            Logger::Get()->SetFunc("TokenKey::Unlock");
            Logger::Get()->Log("Logged in to %s", Where().c_str());
            return;
        case SecretPrompt::Refused:
            throw Exception(Code::kWrongPin, "The token \"" + _label + "\" refused the PIN");
        case SecretPrompt::Declined:
            throw Exception(Code::kCancelled, "The PIN was not given");
        case SecretPrompt::NoSecret:
            break;
    }
    throw Exception(Code::kSecretUnavailable,
                    std::string("No PIN for token \"") + _label + "\" (no window, " +
                        SecretPrompt::EnvironmentName(SecretRequest::Pin) + " not set)");
}

bool TokenKey::FindKey(const CertificateOpenSSL& certificate) {
    _key.reset();
    PKCS11_TOKEN* const token = _module->Slot(_slot)->token;
    PKCS11_KEY* keys = nullptr;
    unsigned int count = 0;
    if (PKCS11_enumerate_keys(token, &keys, &count) != 0) {
        const unsigned long ckr = TakeTokenError();
        Fail(CodeOf(ckr), "its keys cannot be listed (PKCS#11 error " + Hex(ckr) + ")");
    }
    for (unsigned int i = 0; i < count; ++i) {
        if (keys[i].id_len != _id.size() || !std::equal(_id.begin(), _id.end(), keys[i].id)) continue;
        EVPPKeyPtr key(PKCS11_get_private_key(&keys[i]));
        if (!key) {
            // A key the token listed whose attributes it no longer gives: the
            // token has gone (libp11 lists what it has seen before).
            const int code = CodeOf(TakeTokenError());
            Fail(code == Code::kKeyUnusable ? Code::kTokenUnavailable : code,
                 "the private key cannot be read");
        }
        if (certificate.X509Handle() == nullptr ||
            X509_check_private_key(certificate.X509Handle(), key.get()) != 1) {
            ERR_clear_error();
            Fail(Code::kKeyUnusable, "the key on the token does not belong to the certificate");
        }
        _key = std::move(key);
        return true;
    }
    return false;
}

}  // namespace Crypto
