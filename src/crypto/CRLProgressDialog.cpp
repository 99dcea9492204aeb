#include "crypto/CRLProgressDialog.h"

#include "common/InstalledFactory.h"
#include "common/Logger.h"

namespace Crypto {

namespace {

InstalledFactory<CRLProgressDialog::Factory>& Installed() {
    static InstalledFactory<CRLProgressDialog::Factory> factory;
    return factory;
}

}  // namespace

void CRLProgressDialog::SetFactory(Factory factory) {
    Installed().Set(std::move(factory));
}

std::unique_ptr<CRLProgressDialog> CRLProgressDialog::Create(CRLFuture& future, int language,
                                                            const std::string& origin) {
    const Factory factory = Installed().Get();
    std::unique_ptr<CRLProgressDialog> dialog;
    if (factory) dialog = factory(future);
    if (!dialog) dialog = std::make_unique<CRLProgressWait>(future);
    dialog->SetLanguage(language);
    dialog->SetOrigin(origin);
    return dialog;
}

bool CRLProgressWait::ShowDialog() {
    Logger::Get()->SetFunc("ShowDialog");
    Logger::Get()->Log("Waiting for the CRL download without a window");
    _future.wait();
    return _future.has_value();
}

}  // namespace Crypto
