#include "common/MsgLoaderFile.h"

#include "common/Util.h"

MsgLoaderFile::MsgLoaderFile(const std::string& path) { _loaded = _resources.Load(path) == 1; }

MsgLoaderBase* MsgLoaderFile::Instance() {
    if (!_instance) _instance = std::make_unique<MsgLoaderFile>(Util::ResourcePath("Pendrel.msg"));
    return _instance.get();
}

void MsgLoaderFile::DoLoad(int id, std::string& text) {
    _resources.Get(id, text);
    if (text.empty()) text = "??? ";
}
