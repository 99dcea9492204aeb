#include "common/MsgLoaderBase.h"

std::unique_ptr<MsgLoaderBase> MsgLoaderBase::_instance;

int MsgLoaderBase::ApplyLanguage(int id, int language) {
    return (language >= 1 && language <= 6) ? id + 1000 * language : id;
}

void MsgLoaderBase::LoadMessage(int id, int language, std::string& text) {
    DoLoad(ApplyLanguage(id, language), text);
}

void MsgLoaderBase::Release() {
    _instance.reset();
}
