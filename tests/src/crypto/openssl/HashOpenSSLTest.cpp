#include <gtest/gtest.h>

#include <algorithm>

#include "crypto/Certificate.h"
#include "crypto/openssl/HashOpenSSL.h"
#include "crypto/openssl/PlatformOpenSSL.h"

namespace {

using Crypto::Hash;

void Feed(Hash& hash, const std::string& text) {
    hash.FeedData(reinterpret_cast<const unsigned char*>(text.data()),
                  static_cast<unsigned int>(text.size()));
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::string hex = Crypto::Certificate::ByteBufferToHex(bytes);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return hex;
}

struct DigestCase {
    Hash::HashType type;
    std::string input;
    std::string hex;
};
const DigestCase kDigestCases[] = {
    // published vectors
    {Hash::MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {Hash::MD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {Hash::SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {Hash::SHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {Hash::SHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {Hash::SHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {Hash::SHA384, "abc",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {Hash::SHA512, "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d442"
     "3643ce8"
     "0e2a9ac94fa54ca49f"},
    {static_cast<Hash::HashType>(7), "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},  // outside: SHA-1
};

TEST(HashOpenSSL, MatchesPublishedDigestsWholeOrByteByByte) {
    const Crypto::PlatformOpenSSL platform;
    for (const DigestCase& c : kDigestCases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", input \"" + c.input + "\"");
        const auto hash = platform.CreateHash(c.type);
        Feed(*hash, c.input);
        EXPECT_EQ(Hex(hash->GetData()), c.hex);
        hash->Reset();
        for (char ch : c.input) Feed(*hash, std::string(1, ch));
        EXPECT_EQ(Hex(hash->GetData()), c.hex);
    }
}

TEST(HashOpenSSL, MillionAsInUnevenPieces) {
    Crypto::HashOpenSSL hash(Hash::SHA256);
    const std::string block(997, 'a');
    std::size_t fed = 0;
    while (fed < 1000000) {
        const std::size_t piece = std::min<std::size_t>(block.size(), 1000000 - fed);
        Feed(hash, block.substr(0, piece));
        fed += piece;
    }
    EXPECT_EQ(Hex(hash.GetData()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(HashOpenSSL, ReadingTwiceNeedsAReset) {
    Crypto::HashOpenSSL hash(Hash::SHA1);
    Feed(hash, "abc");
    EXPECT_EQ(hash.GetData().size(), 20u);
    EXPECT_TRUE(hash.GetData().empty());
    Feed(hash, "ignored");  // no digest is open
    hash.Reset();
    Feed(hash, "abc");
    EXPECT_EQ(Hex(hash.GetData()), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
