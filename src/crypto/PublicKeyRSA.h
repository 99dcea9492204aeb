#pragma once

#include "crypto/BigInteger.h"
#include "crypto/PublicKey.h"

namespace Crypto {

// An RSA public key: modulus and public exponent.
class PublicKeyRSA : public PublicKey {
public:
    PublicKeyRSA(const BigInteger& modulus, const BigInteger& exponent);

    bool IsEqual(const PublicKey* other) const override;

    const BigInteger& Modulus() const { return _modulus; }
    const BigInteger& Exponent() const { return _exponent; }

private:
    BigInteger _modulus;
    BigInteger _exponent;
};

}  // namespace Crypto
