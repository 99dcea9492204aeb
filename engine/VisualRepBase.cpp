#include "engine/VisualRepBase.h"

#include "common/Logger.h"
#include "crypto/Certificate.h"
#include "pdf/SurfaceCairo.h"

VisualRepBase::VisualRepBase() {
    Logger::Get()->SetFunc("VisualRepBase");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

VisualRepBase::~VisualRepBase() {
    Logger::Get()->SetFunc("~VisualRepBase");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

void VisualRepBase::Initialize(int page, int x, int y, int width, int height, unsigned char r,
                               unsigned char g, unsigned char b, Crypto::Certificate* certificate) {
    _surface =
        std::make_unique<PDF::SurfaceCairo>(static_cast<float>(x), static_cast<float>(y),
                                            static_cast<float>(width), static_cast<float>(height), r, g, b);
    if (certificate != nullptr) {
        PDF::SignerTexts texts;
        texts.subject = certificate->Subject();
        texts.issuer = certificate->Issuer();
        texts.serial = Crypto::Certificate::SerialNumToHex(certificate->SerialNumber());
        texts.notAfter = certificate->NotAfter();
        _surface->SetSigner(texts);
    }
    _page = page;
}
