#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/BaseDialog.h"
#include "crypto/CRLFuture.h"

namespace Crypto {

// Shown on the calling thread while a revocation list downloads on a worker:
// returns true once the download's future holds a result, false when the
// user cancelled (or the task ended without a result).
class CRLProgressDialog : public BaseDialog {
public:
    explicit CRLProgressDialog(CRLFuture& future) : _future(future) {}
    virtual bool ShowDialog() = 0;

    using Factory = std::function<std::unique_ptr<CRLProgressDialog>(CRLFuture&)>;
    // The windows layer installs its dialog here; without one (and whenever
    // the factory answers null) the wait has no window.
    static void SetFactory(Factory factory);
    // The dialog shows in message language `language` and names the web
    // page's origin (empty for a local page).
    static std::unique_ptr<CRLProgressDialog> Create(CRLFuture& future, int language,
                                                     const std::string& origin = std::string());

protected:
    CRLFuture& _future;
};

// The wait without a window: blocks until the task has ended.
class CRLProgressWait final : public CRLProgressDialog {
public:
    using CRLProgressDialog::CRLProgressDialog;
    bool ShowDialog() override;
};

}  // namespace Crypto
