#include "crypto/PublicKeyRSA.h"

namespace Crypto {

PublicKeyRSA::PublicKeyRSA(const BigInteger& modulus, const BigInteger& exponent)
    : PublicKey(RSA), _modulus(modulus), _exponent(exponent) {}

bool PublicKeyRSA::IsEqual(const PublicKey* other) const {
    if (other == nullptr || other->Type() != Type()) return false;
    const auto* rsa = dynamic_cast<const PublicKeyRSA*>(other);
    return rsa != nullptr && rsa->_modulus == _modulus && rsa->_exponent == _exponent;
}

}  // namespace Crypto
