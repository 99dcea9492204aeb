#include "crypto/CRLProgressDialog.h"

#include <mutex>

#include "common/Logger.h"

namespace Crypto {

namespace {

std::mutex& FactoryMutex() {
    static std::mutex mutex;
    return mutex;
}

CRLProgressDialog::Factory& InstalledFactory() {
    static CRLProgressDialog::Factory factory;
    return factory;
}

}  // namespace

void CRLProgressDialog::SetFactory(Factory factory) {
    const std::lock_guard<std::mutex> lock(FactoryMutex());
    InstalledFactory() = std::move(factory);
}

std::unique_ptr<CRLProgressDialog> CRLProgressDialog::Create(CRLFuture& future, int language) {
    Factory factory;
    {
        const std::lock_guard<std::mutex> lock(FactoryMutex());
        factory = InstalledFactory();
    }
    std::unique_ptr<CRLProgressDialog> dialog;
    if (factory) dialog = factory(future);
    if (!dialog) dialog = std::make_unique<CRLProgressWait>(future);
    dialog->SetLanguage(language);
    return dialog;
}

bool CRLProgressWait::ShowDialog() {
    Logger::Get()->SetFunc("ShowDialog");
    Logger::Get()->Log("Waiting for the CRL download without a window");
    _future.wait();
    return _future.has_value();
}

}  // namespace Crypto
