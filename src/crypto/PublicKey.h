#pragma once

namespace Crypto {

// A public key as a value: a type tag and the key's numbers.
class PublicKey {
public:
    enum KeyType { RSA = 1, DSS = 2 };

    virtual ~PublicKey() = default;
    // True when other is present, of the same type and holds the same numbers.
    virtual bool IsEqual(const PublicKey* other) const = 0;

    int Type() const { return _type; }

protected:
    explicit PublicKey(int type) : _type(type) {}
    PublicKey(const PublicKey&) = default;
    PublicKey& operator=(const PublicKey&) = default;

private:
    int _type;
};

}  // namespace Crypto
