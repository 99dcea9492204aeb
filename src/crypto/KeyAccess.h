#pragma once

namespace Crypto {

// Result codes of opening a private key for signing: an encrypted keychain
// key or a key on a token. They travel as Exception codes into the result's
// error and clash with no other code of the system.
struct KeyAccess {
    // The key needs a passphrase or PIN, and none could be asked for (no
    // window) nor was set in the environment.
    static constexpr int kSecretUnavailable = -70;
    // The user cancelled the passphrase or PIN window.
    static constexpr int kCancelled = -71;
    // The passphrase does not open the key.
    static constexpr int kWrongPassphrase = -72;
    // The token refused the PIN.
    static constexpr int kWrongPin = -73;
    // The token's PIN is locked after too many wrong tries.
    static constexpr int kPinLocked = -74;
    // The token, or the key on it, is no longer there (removed since the
    // certificate was chosen).
    static constexpr int kTokenUnavailable = -75;
    // The key cannot be used: it does not belong to the certificate, or the
    // token failed otherwise.
    static constexpr int kKeyUnusable = -76;
};

}  // namespace Crypto
