#pragma once

#include <memory>
#include <string>

// Looks up user-visible texts by message id in the language that the
// request asking for them carries: the texts of language index k (1 to 6)
// live under id + 1000 * k.
class MsgLoaderBase {
public:
    virtual ~MsgLoaderBase() = default;

    void LoadMessage(int id, int language, std::string& text);

    // Destroys the process-wide loader; the next Instance() reads the file anew.
    static void Release();

    static int ApplyLanguage(int id, int language);

protected:
    virtual void DoLoad(int id, std::string& text) = 0;

    static std::unique_ptr<MsgLoaderBase> _instance;
};
