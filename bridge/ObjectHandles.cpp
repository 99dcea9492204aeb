#include "bridge/ObjectHandles.h"

#include "npbrowser/ObjectRegistry.h"

std::int64_t ObjectHandles::Adopt(NPObject* object) {
    const std::int64_t handle = _next++;
    _handles.emplace(handle, object);
    return handle;
}

NPObject* ObjectHandles::Find(std::int64_t handle) const {
    const auto found = _handles.find(handle);
    return found != _handles.end() ? found->second : nullptr;
}

bool ObjectHandles::Release(std::int64_t handle) {
    const auto found = _handles.find(handle);
    if (found == _handles.end()) return false;
    NPObject* const object = found->second;
    _handles.erase(found);  // first: deallocation may run plug-in code
    _objects.Release(object);
    return true;
}

void ObjectHandles::ReleaseAll() {
    // Newest first: an object made later may depend on an earlier one.
    while (!_handles.empty()) Release(_handles.rbegin()->first);
}
