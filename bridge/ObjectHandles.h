#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "npapi/npruntime.h"

class ObjectRegistry;

// The plug-in objects the page holds, by handle. Each handle owns one
// reference; a handle is never given out twice, so that one proxy of the page
// releasing its object leaves the others working.
class ObjectHandles {
public:
    explicit ObjectHandles(ObjectRegistry& objects) : _objects(objects) {}
    ~ObjectHandles() { ReleaseAll(); }
    ObjectHandles(const ObjectHandles&) = delete;
    ObjectHandles& operator=(const ObjectHandles&) = delete;

    // Takes over one reference to `object`; answers its new handle.
    std::int64_t Adopt(NPObject* object);
    // The object behind a handle, or null.
    NPObject* Find(std::int64_t handle) const;
    // Gives the handle's reference back; false for an unknown handle.
    bool Release(std::int64_t handle);
    void ReleaseAll();
    std::size_t Count() const { return _handles.size(); }

private:
    ObjectRegistry& _objects;
    std::map<std::int64_t, NPObject*> _handles;
    std::int64_t _next = 1;
};
