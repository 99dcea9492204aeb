#include "gtk/ViewFactory.h"

#include "common/Util.h"
#include "crypto/Certificate.h"

CertView ViewFactory::Cert(const Crypto::Certificate& certificate, int language) {
    Crypto::CertificateDetails details = certificate.Details();
    CertView view;
    // The list columns come from the certificate object itself, so that they
    // show even when no encoding could be read.
    view.subject = certificate.Subject();
    view.issuer = certificate.Issuer();
    view.serialDecimal = certificate.SerialNumber().str();
    view.notAfter = certificate.NotAfter();
    view.subjectDN = std::move(details.subjectDN);
    view.issuerDN = std::move(details.issuerDN);
    view.serialHex = std::move(details.serialHex);
    view.notBefore = details.notBefore;
    if (details.notAfter != -1) view.notAfter = details.notAfter;
    view.sha1 = std::move(details.sha1);
    view.sha256 = std::move(details.sha256);
    view.keyType = std::move(details.keyType);
    view.keyBits = details.keyBits;
    view.keyUsage = std::move(details.keyUsage);
    view.crlDistributionPoints = std::move(details.crlDistributionPoints);
    const std::string token = certificate.TokenLabel();
    view.storedIn = !token.empty()                ? token
                    : certificate.HasPrivateKey() ? Util::LoadString(181, language)
                                                  : std::string();
    return view;
}

SignatureView ViewFactory::Signature(const StatusDlg::SigItem& item, const Crypto::Certificate* signer,
                                     int language) {
    SignatureView view;
    view.name = item.name;
    view.code = static_cast<int>(item.code);
    view.hasSignature = item.signature != nullptr;
    view.hasSignerCert = view.hasSignature && signer != nullptr;
    if (!view.hasSignerCert) return view;
    const PDF::Signature& signature = *item.signature;
    view.signer = signature.GetName();
    view.reason = Util::WtoA(signature.GetReason());
    view.location = Util::WtoA(signature.GetLocation());
    view.contact = Util::WtoA(signature.GetContact());
    view.signingTime = signature.GetTime();
    view.certStatus = signer->Status();
    view.cert = Cert(*signer, language);
    return view;
}
