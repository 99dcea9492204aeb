#pragma once

#include <boost/multiprecision/cpp_int.hpp>

namespace Crypto {

// Arbitrary-precision signed integer: serial numbers and public-key values.
using BigInteger = boost::multiprecision::cpp_int;

}  // namespace Crypto
