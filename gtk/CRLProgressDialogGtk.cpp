#include "gtk/CRLProgressDialogGtk.h"

#include <memory>

#include "common/Logger.h"
#include "gtk/GtkUtil.h"
#include "gtk/ProgressWindow.h"

CRLProgressDialogGtk::CRLProgressDialogGtk(Crypto::CRLFuture& future) : CRLProgressDialog(future) {
    Logger::Get()->SetFunc("CRLProgressDialogGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

CRLProgressDialogGtk::~CRLProgressDialogGtk() {
    Logger::Get()->SetFunc("~CRLProgressDialogGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool CRLProgressDialogGtk::ShowDialog() {
    Crypto::CRLFuture& future = _future;
    const ProgressWindow window(
        [&future](std::chrono::milliseconds timeout) {
            return future.wait_for(boost::chrono::milliseconds(timeout.count())) ==
                   boost::future_status::ready;
        },
        [&future] { return future.has_value(); }, Language(), Origin());
    return window.Run();
}

void CRLProgressDialogGtk::Install() {
    Crypto::CRLProgressDialog::SetFactory(
        [](Crypto::CRLFuture& future) -> std::unique_ptr<Crypto::CRLProgressDialog> {
            // Without windows the caller falls back to the windowless wait.
            if (!GtkUtil::WindowsAvailable()) return nullptr;
            return std::make_unique<CRLProgressDialogGtk>(future);
        });
}
