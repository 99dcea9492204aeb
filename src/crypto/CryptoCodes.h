#pragma once

// The codes of the certificate and cryptography layer: a certificate's
// Error() after validation, and the codes Crypto::Exception carries. They
// reach the page as a result's or an entry's error, so their values never
// change. Some share a value (0, 1); each has a name of its own.

namespace Crypto::Code {

// Error() before a validation has completed a trust evaluation.
constexpr int kNotValidated = 0;
// Error() after a completed validation.
constexpr int kValidated = 1;
// Error() when every distribution point of the revocation list failed to
// deliver it (the download's code).
constexpr int kAllDownloadsFailed = 1;
// Error() when the certificate has no distribution-point extension; the sign
// operation passes over the revocation test then.
constexpr int kNoDistributionPoints = -34;
// Error() when the distribution points name no URI.
constexpr int kNoURI = -35;

// The certificate's public key is missing or of an unknown type.
constexpr int kUnknownKey = 0;

// Opening a private key for signing: an encrypted keychain key or a key on
// a token. They travel as Exception codes into the result's error and clash
// with no other code of the system.
// The key needs a passphrase or PIN, and none could be asked for (no
// window) nor was set in the environment.
constexpr int kSecretUnavailable = -70;
// The user cancelled the passphrase or PIN window.
constexpr int kCancelled = -71;
// The passphrase does not open the key.
constexpr int kWrongPassphrase = -72;
// The token refused the PIN.
constexpr int kWrongPin = -73;
// The token's PIN is locked after too many wrong tries.
constexpr int kPinLocked = -74;
// The token, or the key on it, is no longer there (removed since the
// certificate was chosen).
constexpr int kTokenUnavailable = -75;
// The key cannot be used: it does not belong to the certificate, or the
// token failed otherwise.
constexpr int kKeyUnusable = -76;

}  // namespace Crypto::Code
