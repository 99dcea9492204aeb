#pragma once

#include <functional>
#include <string>

namespace Crypto {

class Certificate;

// What a store saw of one file or token object while it enumerated, for
// listings: where it lives, the certificate when one could be read, and
// whether the store offers it; `note` says why not, or for an offered
// identity how its key opens.
struct StoreEntry {
    std::string where;                         // file path, or the token and its slot
    const Certificate* certificate = nullptr;  // valid during the report only
    bool offered = false;
    std::string note;
};

using StoreObserver = std::function<void(const StoreEntry&)>;

}  // namespace Crypto
