#pragma once

#include "crypto/BigInteger.h"
#include "crypto/PublicKey.h"

namespace Crypto {

// A DSA public key: the domain parameters p, q, g and the public value y.
class PublicKeyDSS : public PublicKey {
public:
    PublicKeyDSS(const BigInteger& p, const BigInteger& q, const BigInteger& g, const BigInteger& y);

    bool IsEqual(const PublicKey* other) const override;

    const BigInteger& P() const { return _p; }
    const BigInteger& Q() const { return _q; }
    const BigInteger& G() const { return _g; }
    const BigInteger& Y() const { return _y; }

private:
    BigInteger _p;
    BigInteger _q;
    BigInteger _g;
    BigInteger _y;
};

}  // namespace Crypto
