#include "crypto/PublicKeyDSS.h"

namespace Crypto {

PublicKeyDSS::PublicKeyDSS(const BigInteger& p, const BigInteger& q, const BigInteger& g, const BigInteger& y)
    : PublicKey(DSS), _p(p), _q(q), _g(g), _y(y) {}

bool PublicKeyDSS::IsEqual(const PublicKey* other) const {
    if (other == nullptr || other->Type() != Type()) return false;
    const auto* dss = dynamic_cast<const PublicKeyDSS*>(other);
    return dss != nullptr && dss->_p == _p && dss->_q == _q && dss->_g == _g && dss->_y == _y;
}

}  // namespace Crypto
