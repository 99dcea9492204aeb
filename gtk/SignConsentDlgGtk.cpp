#include "gtk/SignConsentDlgGtk.h"

#include "common/Logger.h"
#include "gtk/SignConsentWindow.h"

SignConsentDlgGtk::SignConsentDlgGtk() {
    Logger::Get()->SetFunc("SignConsentDlgGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

SignConsentDlgGtk::~SignConsentDlgGtk() {
    Logger::Get()->SetFunc("~SignConsentDlgGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

SignConsentDlg::Answer SignConsentDlgGtk::Show() {
    SignConsentWindow::Request request;
    request.origin = Origin();
    request.documentName = DocumentName();
    request.documentSize = DocumentSize();
    request.certificate = Certificate();
    request.rememberable = Rememberable();
    request.language = Language();
    return SignConsentWindow(request).Run();
}
