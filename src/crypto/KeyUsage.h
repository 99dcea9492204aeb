#pragma once

namespace Crypto {
namespace KeyUsage {

// Key usages a certificate may carry; the values are part of the page's
// policy interface, so they never change.
enum Usages {
    AnyUsage = 0,  // every certificate has it
    DataEncipherment = 1,
    DigitalSignature = 2,
    KeyAgreement = 3,
    KeyCertSign = 4,
    KeyEncipherment = 5,
    NonRepudiation = 6,
    CRLSign = 7,
};

}  // namespace KeyUsage
}  // namespace Crypto
