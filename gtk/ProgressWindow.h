#pragma once

#include <chrono>
#include <functional>
#include <string>

// The revocation-list download's progress window (window description
// "CRLProgressDialog"): a text, a moving progress bar and Cancel. It closes by
// itself as soon as the download has delivered a result.
class ProgressWindow {
public:
    // Waits at most the given time for the download to end (without a result
    // too); true once it has ended. Called with zero it only looks.
    using WaitEnded = std::function<bool(std::chrono::milliseconds)>;
    // True when the ended download delivered a result.
    using HasResult = std::function<bool()>;

    // Texts in message language `language`.
    // A web page's origin is named in the window.
    ProgressWindow(WaitEnded waitEnded, HasResult hasResult, int language, const std::string& origin = std::string())
        : _waitEnded(std::move(waitEnded)),
          _hasResult(std::move(hasResult)),
          _language(language),
          _origin(origin) {}

    // True when the download delivered a result, false when the user
    // cancelled. The window looks at the download on every pass of its loop
    // (a short timer wakes it) and stays open after a download that ended
    // without a result, until Cancel. Without windows it waits for the end
    // of the download and answers whether there is a result.
    bool Run() const;

    // How often the open window looks at the download.
    static constexpr std::chrono::milliseconds kPollInterval{25};

private:
    WaitEnded _waitEnded;
    HasResult _hasResult;
    int _language;
    std::string _origin;
};
