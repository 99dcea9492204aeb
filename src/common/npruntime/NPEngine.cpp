#include "common/npruntime/NPEngine.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/Logger.h"

static_assert(sizeof(NPNetscapeFuncs) >= NPEngine::kMaximumSize, "the browser table holds the 0.25 entries");

namespace {

std::unique_ptr<NPEngine>& Engine() {
    static std::unique_ptr<NPEngine> engine;
    return engine;
}

}  // namespace

NPEngine::NPEngine(const NPNetscapeFuncs& browserFuncs, uint16_t copied) {
    // The copy starts zeroed, so an entry beyond a short table reads as absent.
    std::memcpy(&_funcs, &browserFuncs, copied);
    // An entry cut by the end of the table is only part of a pointer: drop it.
    constexpr size_t kEntry = sizeof(void*);
    constexpr size_t kFirst = offsetof(NPNetscapeFuncs, geturl);
    if (copied > kFirst && (copied - kFirst) % kEntry != 0) {
        const size_t cut = kFirst + (copied - kFirst) / kEntry * kEntry;
        std::memset(reinterpret_cast<unsigned char*>(&_funcs) + cut, 0, kEntry);
    }
    _funcs.size = copied;
}

bool NPEngine::Init(const NPNetscapeFuncs* browserFuncs) {
    if (Engine()) return true;
    if (browserFuncs == nullptr) {
        Logger::Get()->SetFunc("NPEngine");
        Logger::Get()->Log("Supplied NPNetscapeFuncs is null");
        return false;
    }
    if (browserFuncs->size < kMinimumSize) {
        Logger::Get()->SetFunc("NPEngine");
        Logger::Get()->Log("NPNetscapeFuncs invalid function table size, needed at least %d got %d",
                           static_cast<int>(kMinimumSize), static_cast<int>(browserFuncs->size));
        return false;
    }
    if ((browserFuncs->version >> 8) != 0) return false;  // a major version other than 0
    const uint16_t copied = std::min<uint16_t>(browserFuncs->size, kMaximumSize);
    Engine() = std::make_unique<NPEngine>(*browserFuncs, copied);
    const NPNetscapeFuncs& funcs = Engine()->Funcs();
    const bool proxy = funcs.getvalueforurl != nullptr && funcs.setvalueforurl != nullptr;
    Logger::Get()->SetFunc("NPEngine");
    Logger::Get()->Log("NPRuntime proxy configuration is %s", proxy ? "PRESENT" : "ABSENT");
    return true;
}

NPEngine* NPEngine::Instance() {
    return Engine().get();
}

void NPEngine::ResetForTests() {
    Engine().reset();
}
