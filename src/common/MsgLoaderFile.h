#pragma once

#include <string>

#include "common/MsgLoaderBase.h"
#include "common/ResLoader.h"

// The message loader over the message file "Pendrel.msg" of the resource folder.
class MsgLoaderFile : public MsgLoaderBase {
public:
    explicit MsgLoaderFile(const std::string& path);

    // The process-wide loader, reading the file on first use.
    static MsgLoaderBase* Instance();

    bool Loaded() const { return _loaded; }

protected:
    void DoLoad(int id, std::string& text) override;

private:
    ResLoader _resources;
    bool _loaded = false;
};
