#pragma once

#include <memory>
#include <string>

// Looks up user-visible texts by message id in the current language: the
// texts of language index k (1 to 6) live under id + 1000 * k.
class MsgLoaderBase {
public:
    virtual ~MsgLoaderBase() = default;

    void LoadMessage(int id, std::string& text);
    void SetLanguage(int index) { _language = index; }
    int Language() const { return _language; }

    // Destroys the process-wide loader; the next Instance() reads the file anew.
    static void Release();

    static int ApplyLanguage(int id, int language);

protected:
    virtual void DoLoad(int id, std::string& text) = 0;

    static std::unique_ptr<MsgLoaderBase> _instance;

private:
    int _language = 0;
};
