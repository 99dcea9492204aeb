#include "gtk/ChooseCertDlgGtk.h"

#include "common/Logger.h"
#include "gtk/ChooseCertWindow.h"
#include "gtk/ViewFactory.h"

ChooseCertDlgGtk::ChooseCertDlgGtk() {
    Logger::Get()->SetFunc("ChooseCertDlgGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

ChooseCertDlgGtk::~ChooseCertDlgGtk() {
    Logger::Get()->SetFunc("~ChooseCertDlgGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool ChooseCertDlgGtk::Show() {
    BuildCandidates();  // once per dialog: later showings keep the list
    // The views are made anew: their texts follow the current language.
    _views.clear();
    for (const Crypto::Certificate* cert : Candidates()) _views.push_back(ViewFactory::Cert(*cert, Language()));
    const long row = ChooseCertWindow(_views, Language(), Origin()).Run();
    Logger::Get()->SetFunc("ChooseCertDlgGtk::Show");
    if (row < 0 || static_cast<size_t>(row) >= Candidates().size()) {
        Logger::Get()->Log("No certificate chosen");
        return false;
    }
    SetSelectedIndex(row);
    Logger::Get()->Log("Certificate %ld chosen", row);
    return true;
}
