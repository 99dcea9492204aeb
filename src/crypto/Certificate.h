#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "crypto/BigInteger.h"
#include "crypto/CertificateDetails.h"
#include "crypto/KeyUsage.h"
#include "crypto/PromptContext.h"

namespace Crypto {

class Hash;

// One X.509 certificate as the engine, the dialogs and the page see it, and
// the conversions between bytes, hexadecimal and Base64 text and big
// integers used for fingerprints and serial numbers.
class Certificate {
public:
    // Validity codes of TimeValidity, ChainValidity and CRLValidity.
    enum Validity { Valid = 0, Invalid = 1, NotDetermined = 2 };

    virtual ~Certificate() = default;
    // Copies another certificate of the same implementation into this one.
    virtual Certificate& operator=(const Certificate& other) = 0;
    // An independent copy of the same implementation: the certificate, its
    // private key (shared with this one) and the validation results so far.
    virtual std::unique_ptr<Certificate> Clone() const = 0;

    // Short display names.
    virtual std::string Subject() const = 0;
    virtual std::string Issuer() const = 0;
    // RFC 2253 distinguished names.
    virtual std::string SubjectDN() const = 0;
    virtual std::string IssuerDN() const = 0;
    virtual bool HasPrivateKey() const = 0;
    virtual BigInteger SerialNumber() const = 0;
    // SHA-1 fingerprint of the DER encoding.
    virtual std::vector<unsigned char> Hash() const = 0;
    // Subject key identifier.
    virtual std::vector<unsigned char> SKI() const = 0;
    virtual bool OutputDER(std::vector<unsigned char>& der) const = 0;
    virtual bool OutputCRL(std::vector<unsigned char>& crl) const = 0;
    // End of the validity period, 0 when unknown.
    virtual std::time_t NotAfter() const = 0;
    // Decides the three validity codes and the status text. A revocation
    // list download shows its progress window for `context`: in its
    // language, naming its origin (those of the request validating).
    virtual void Validate(bool checkCRL, const PromptContext& context) = 0;
    void Validate(bool checkCRL, int language) { Validate(checkCRL, PromptContext{std::string(), language}); }
    void Validate(bool checkCRL) { Validate(checkCRL, 0); }
    virtual int TimeValidity() const = 0;
    virtual int ChainValidity() const = 0;
    virtual int CRLValidity() const = 0;
    // Four characters: time, chain, (unused), revocation; '1' passed,
    // '0' failed, 'X' not determined.
    virtual std::string Status() const = 0;
    virtual int Error() const = 0;
    // True for a DSA key, false for RSA; raises Exception for anything else.
    virtual bool GetAlgorithm() const = 0;
    // Raw signature of a digest with the private key; empty on failure.
    virtual std::vector<unsigned char> SignHash(Crypto::Hash* hash) const = 0;
    // 0 valid, 1 signature does not match, 2 could not be checked.
    virtual int VerifyHash(Crypto::Hash* hash, const std::vector<unsigned char>* signature) const = 0;
    virtual std::set<KeyUsage::Usages> CertKeyUsage() const = 0;
    // The fields a certificate viewer lists.
    virtual CertificateDetails Details() const = 0;
    // Makes the private key ready to sign with: opens an encrypted key or
    // logs in to its token, asking for the passphrase or PIN when needed
    // (`context`: the page that asks and the prompt's language). Raises
    // Exception with a KeyAccess code when the key cannot be used; does
    // nothing for a key that is ready or a certificate without one.
    virtual void UnlockPrivateKey(const PromptContext& context);
    // The label of the token that holds the private key; empty for a key of
    // the keychain folder and for a certificate without one.
    virtual std::string TokenLabel() const;

    // "XXXX" with the characters of the three validity codes put in.
    void FormatStatus(std::string& out) const;
    static char ValidityChar(int code);

    // "0a ff": two lower-case digits per byte, separated by one space.
    static std::string ByteBufferToHex(const std::vector<unsigned char>& bytes);
    // Pairs of hex digits, each followed by one ' ' or ':' before the next;
    // anything else empties out. A lone trailing digit is dropped.
    static void HexToByteBuffer(const std::string& hex, std::vector<unsigned char>& out);
    // Standard Base64, a line feed after every 72 characters, none at the end.
    static void ByteBufferToBase64(const std::vector<unsigned char>& bytes, std::string& out);
    // Characters outside the alphabet are skipped; null text gives nothing.
    static void Base64ToByteBuffer(const char* text, std::vector<unsigned char>& out);
    static void Base64ToByteBuffer(const std::string& text, std::vector<unsigned char>& out);
    static BigInteger Base64ToBigInteger(const char* text);
    static BigInteger Base64ToBigInteger(const std::string& text);
    // Bytes least significant first: the positive integer they give, and back
    // (zero gives no bytes).
    static BigInteger ByteBufferToBigInteger(const std::vector<unsigned char>& leastSignificantFirst);
    static std::vector<unsigned char> BigIntegerToByteBuffer(const BigInteger& value);
    static void BigIntegerToBase64(const BigInteger& value, std::string& out);
    // Most significant byte first, leading zero bytes skipped: "01 2a".
    static std::string SerialNumToHex(const BigInteger& serial);
    // The inverse of SerialNumToHex; 0 for empty or unparsable text.
    static BigInteger HexToSerialNumber(const std::string& hex);
    // dst[len-1-i] = src[i].
    static unsigned char* ReverseData(unsigned char* dst, const unsigned char* src, std::size_t len);

protected:
    Certificate() = default;
    Certificate(const Certificate&) = default;
};

}  // namespace Crypto
