#include "gtk/StatusDlgGtk.h"

#include <vector>

#include "common/Logger.h"
#include "gtk/StatusWindow.h"
#include "gtk/ViewFactory.h"
#include "pdf/Versions.h"

StatusDlgGtk::StatusDlgGtk(SignerLookup signerOf) : _signerOf(std::move(signerOf)) {
    Logger::Get()->SetFunc("StatusDlgGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

StatusDlgGtk::~StatusDlgGtk() {
    Logger::Get()->SetFunc("~StatusDlgGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

std::string StatusDlgGtk::VersionFile(size_t index) const {
    const PDF::Versions* versions = GetVersions();
    if (versions == nullptr || index >= Signatures().size()) return std::string();
    const PDF::Signature* signature = Signatures()[index].signature;
    if (signature == nullptr) return std::string();
    const std::string path = versions->Output(signature->GetRevision());
    Logger::Get()->SetFunc("StatusDlgGtk::VersionFile");
    Logger::Get()->Log("Revision %d of signature %zu: '%s'", signature->GetRevision(), index, path.c_str());
    return path;
}

void StatusDlgGtk::Show() {
    std::vector<SignatureView> views;
    views.reserve(Signatures().size());
    for (const SigItem& item : Signatures()) {
        const Crypto::Certificate* signer =
            item.signature != nullptr && _signerOf ? _signerOf(*item.signature) : nullptr;
        views.push_back(ViewFactory::Signature(item, signer, Language()));
    }
    StatusWindow::VersionFile versionFile;
    if (GetVersions() != nullptr) versionFile = [this](size_t index) { return VersionFile(index); };
    StatusWindow(views, versionFile, Language(), Origin()).Run();
}
