#include "gtk/StatusSigDlgGtk.h"

#include <optional>

#include "common/Logger.h"
#include "crypto/Certificate.h"
#include "gtk/StatusSigWindow.h"

StatusSigDlgGtk::StatusSigDlgGtk() {
    Logger::Get()->SetFunc("StatusSigDlgGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

StatusSigDlgGtk::~StatusSigDlgGtk() {
    Logger::Get()->SetFunc("~StatusSigDlgGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

void StatusSigDlgGtk::Show() {
    std::optional<StatusSigWindow::Codes> codes;
    if (const Crypto::Certificate* cert = GetCertificate())
        codes = StatusSigWindow::Codes{cert->TimeValidity(), cert->ChainValidity(), cert->CRLValidity()};
    StatusSigWindow(codes, Language(), Origin()).Run();
}
