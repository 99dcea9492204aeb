#include "host/ScriptObjectClass.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "npbrowser/Browser.h"
#include "npbrowser/CallGuard.h"
#include "host/DukSafeCall.h"
#include "host/ScriptEngine.h"
#include "host/TextCodec.h"

namespace {

// On a script object: its object of this class while the plug-in holds one.
const char kObjectKey[] = "\xFFhostobject";

}  // namespace

// A script value held by the plug-in. The browser's reference count owns it:
// allocate creates it and deallocate destroys it.
struct ScriptObjectClass::Object : NPObject {
    unsigned key = 0;  // index in the stash's table of held script values
};

NPObject* ScriptObjectClass::ObjectFor(ScriptEngine& e, duk_idx_t index) {
    if (!e.Alive()) return nullptr;
    auto* known = static_cast<Object*>(e.HiddenPointer(index, kObjectKey));
    if (known != nullptr && e._browser.Objects().IsLive(known)) return e._browser.Objects().Retain(known);
    auto* host = static_cast<Object*>(e._browser.Objects().Create(e._browser.Instance(), Class()));
    if (host == nullptr) return nullptr;
    host->key = e._nextHostKey++;
    const duk_idx_t at = duk_normalize_index(e._ctx, index);
    const bool stored = DukSafeCall(
        e._ctx,
        [at, host](duk_context* ctx) -> duk_ret_t {
            duk_push_global_stash(ctx);
            duk_get_prop_string(ctx, -1, kStashKey);
            duk_dup(ctx, at);
            duk_put_prop_index(ctx, -2, host->key);
            duk_pop_2(ctx);
            // Remembered on the object so that it is passed as the same
            // object again; a sealed object simply gets a new one each time.
            duk_push_pointer(ctx, host);
            duk_put_prop_string(ctx, at, kObjectKey);
            return 0;
        },
        0, 0);
    (void)stored;
    return host;
}

bool ScriptObjectClass::Push(ScriptEngine& e, const NPObject* npobject) {
    const auto* object = static_cast<const Object*>(npobject);
    if (!e.Alive()) {
        duk_push_undefined(e._ctx);
        return true;
    }
    const unsigned key = object->key;
    return DukSafeCall(
        e._ctx,
        [key](duk_context* ctx) -> duk_ret_t {
            duk_push_global_stash(ctx);
            duk_get_prop_string(ctx, -1, kStashKey);
            duk_get_prop_index(ctx, -1, key);
            return 1;
        },
        0, 1);
}

void ScriptObjectClass::Forget(ScriptEngine& e, Object* object) {
    if (!e.Alive()) return;
    const unsigned key = object->key;
    const duk_idx_t top = duk_get_top(e._ctx);
    DukSafeCall(
        e._ctx,
        [key, object](duk_context* ctx) -> duk_ret_t {
            duk_push_global_stash(ctx);
            duk_get_prop_string(ctx, -1, kStashKey);
            duk_get_prop_index(ctx, -1, key);
            if (duk_is_object(ctx, -1)) {
                duk_get_prop_string(ctx, -1, kObjectKey);
                const bool same = duk_get_pointer(ctx, -1) == object;
                duk_pop(ctx);
                if (same) duk_del_prop_string(ctx, -1, kObjectKey);
            }
            duk_pop(ctx);
            duk_del_prop_index(ctx, -1, key);
            return 0;
        },
        0, 0);
    duk_set_top(e._ctx, top);
}

bool ScriptObjectClass::PushKey(ScriptEngine& e, NPIdentifier id) {
    if (!IdentifierTable::IsString(id)) {
        duk_push_int(e._ctx, IdentifierTable::Number(id));
        return true;
    }
    return e.PushString(TextCodec::Utf8ToScript(IdentifierTable::Name(id)));
}

bool ScriptObjectClass::HasMethod(ScriptEngine& e, Object* object, NPIdentifier name) {
    if (!e.Alive() || name == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool callable = false;
    if (duk_check_stack(e._ctx, 4) && Push(e, object) && PushKey(e, name)) {
        DukSafeCall(
            e._ctx,
            [top, &callable](duk_context* ctx) -> duk_ret_t {
                duk_get_prop(ctx, top);
                callable = duk_is_callable(ctx, -1);
                return 0;
            },
            1, 0);
    }
    duk_set_top(e._ctx, top);
    return callable;
}

bool ScriptObjectClass::Invoke(ScriptEngine& e, Object* object, NPIdentifier name, const NPVariant* args,
                               uint32_t count, NPVariant* result, int mode) {
    if (!e.Alive() || result == nullptr || (mode == 0 && name == nullptr)) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool ok = duk_check_stack(e._ctx, static_cast<duk_idx_t>(count) + 8) && Push(e, object) &&
              (mode != 0 || PushKey(e, name));
    for (uint32_t i = 0; ok && i < count; ++i) ok = e.PushVariant(args[i]);
    if (ok) {
        const auto nargs = static_cast<duk_idx_t>(count);
        if (mode == 0) {
            ok = duk_pcall_prop(e._ctx, top, nargs) == DUK_EXEC_SUCCESS;
        } else if (mode == 1) {
            ok = duk_pcall(e._ctx, nargs) == DUK_EXEC_SUCCESS;
        } else {
            ok = duk_pnew(e._ctx, nargs) == DUK_EXEC_SUCCESS;
        }
    }
    ok = ok && e.ToVariant(-1, *result);
    duk_set_top(e._ctx, top);
    return ok;
}

bool ScriptObjectClass::HasProperty(ScriptEngine& e, Object* object, NPIdentifier name) {
    if (!e.Alive() || name == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool has = false;
    if (duk_check_stack(e._ctx, 4) && Push(e, object) && PushKey(e, name)) {
        DukSafeCall(
            e._ctx,
            [top, &has](duk_context* ctx) -> duk_ret_t {
                has = duk_has_prop(ctx, top);
                return 0;
            },
            1, 0);
    }
    duk_set_top(e._ctx, top);
    return has;
}

bool ScriptObjectClass::GetProperty(ScriptEngine& e, Object* object, NPIdentifier name, NPVariant* result) {
    if (!e.Alive() || name == nullptr || result == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool ok = duk_check_stack(e._ctx, 4) && Push(e, object) && PushKey(e, name) &&
              DukSafeCall(
                  e._ctx,
                  [top](duk_context* ctx) -> duk_ret_t {
                      duk_get_prop(ctx, top);
                      return 1;
                  },
                  1, 1);
    ok = ok && e.ToVariant(-1, *result);
    duk_set_top(e._ctx, top);
    return ok;
}

bool ScriptObjectClass::SetProperty(ScriptEngine& e, Object* object, NPIdentifier name,
                                    const NPVariant* value) {
    if (!e.Alive() || name == nullptr || value == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    const bool ok = duk_check_stack(e._ctx, 4) && Push(e, object) && PushKey(e, name) &&
                    e.PushVariant(*value) &&
                    DukSafeCall(
                        e._ctx,
                        [top](duk_context* ctx) -> duk_ret_t {
                            duk_put_prop(ctx, top);
                            return 0;
                        },
                        2, 0);
    duk_set_top(e._ctx, top);
    return ok;
}

bool ScriptObjectClass::RemoveProperty(ScriptEngine& e, Object* object, NPIdentifier name) {
    if (!e.Alive() || name == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool removed = false;
    if (duk_check_stack(e._ctx, 4) && Push(e, object) && PushKey(e, name)) {
        DukSafeCall(
            e._ctx,
            [top, &removed](duk_context* ctx) -> duk_ret_t {
                removed = duk_del_prop(ctx, top);
                return 0;
            },
            1, 0);
    }
    duk_set_top(e._ctx, top);
    return removed;
}

bool ScriptObjectClass::Enumerate(ScriptEngine& e, Object* object, NPIdentifier** ids, uint32_t* count) {
    if (!e.Alive() || ids == nullptr || count == nullptr) return false;
    const duk_idx_t top = duk_get_top(e._ctx);
    bool ok = duk_check_stack(e._ctx, 8) && Push(e, object) &&
              DukSafeCall(
                  e._ctx,
                  [top](duk_context* ctx) -> duk_ret_t {
                      const duk_idx_t keys = duk_push_array(ctx);
                      duk_enum(ctx, top, DUK_ENUM_OWN_PROPERTIES_ONLY);
                      duk_uarridx_t i = 0;
                      while (duk_next(ctx, -1, 0)) duk_put_prop_index(ctx, keys, i++);
                      duk_pop(ctx);
                      return 1;
                  },
                  0, 1);
    std::vector<NPIdentifier> names;
    if (ok) {
        const duk_idx_t keys = duk_get_top_index(e._ctx);
        const duk_size_t length = duk_get_length(e._ctx, keys);
        for (duk_size_t i = 0; ok && i < length; ++i) {
            ok = DukSafeCall(
                e._ctx,
                [keys, i](duk_context* ctx) -> duk_ret_t {
                    duk_get_prop_index(ctx, keys, static_cast<duk_uarridx_t>(i));
                    duk_to_string(ctx, -1);
                    return 1;
                },
                0, 1);
            if (ok) names.push_back(e._browser.Identifiers().ForKey(e.KeyText(-1)));
            duk_pop(e._ctx);
        }
    }
    duk_set_top(e._ctx, top);
    if (!ok) return false;
    auto* list = static_cast<NPIdentifier*>(std::malloc((names.size() + 1) * sizeof(NPIdentifier)));
    if (list == nullptr) return false;
    std::copy(names.begin(), names.end(), list);
    *ids = list;
    *count = static_cast<uint32_t>(names.size());
    return true;
}

NPClass* ScriptObjectClass::Class() {
    static NPClass hostClass = {
        NP_CLASS_STRUCT_VERSION,
        [](NPP, NPClass*) -> NPObject* { return new (std::nothrow) Object(); },
        [](NPObject* object) {
            auto* host = static_cast<Object*>(object);
            CallGuard("deallocate", false, [host] {
                if (ScriptEngine* self = ScriptEngine::Self()) Forget(*self, host);
                return true;
            });
            delete host;
        },
        [](NPObject*) {},
        [](NPObject* object, NPIdentifier name) -> bool {
            return CallGuard("hasMethod", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && HasMethod(*self, static_cast<Object*>(object), name);
            });
        },
        [](NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
           NPVariant* result) -> bool {
            return CallGuard("invoke", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr &&
                       Invoke(*self, static_cast<Object*>(object), name, args, count, result, 0);
            });
        },
        [](NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) -> bool {
            return CallGuard("invokeDefault", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr &&
                       Invoke(*self, static_cast<Object*>(object), nullptr, args, count, result, 1);
            });
        },
        [](NPObject* object, NPIdentifier name) -> bool {
            return CallGuard("hasProperty", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && HasProperty(*self, static_cast<Object*>(object), name);
            });
        },
        [](NPObject* object, NPIdentifier name, NPVariant* result) -> bool {
            return CallGuard("getProperty", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && GetProperty(*self, static_cast<Object*>(object), name, result);
            });
        },
        [](NPObject* object, NPIdentifier name, const NPVariant* value) -> bool {
            return CallGuard("setProperty", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && SetProperty(*self, static_cast<Object*>(object), name, value);
            });
        },
        [](NPObject* object, NPIdentifier name) -> bool {
            return CallGuard("removeProperty", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && RemoveProperty(*self, static_cast<Object*>(object), name);
            });
        },
        [](NPObject* object, NPIdentifier** ids, uint32_t* count) -> bool {
            return CallGuard("enumerate", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr && Enumerate(*self, static_cast<Object*>(object), ids, count);
            });
        },
        [](NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) -> bool {
            return CallGuard("construct", false, [&] {
                ScriptEngine* self = ScriptEngine::Self();
                return self != nullptr &&
                       Invoke(*self, static_cast<Object*>(object), nullptr, args, count, result, 2);
            });
        },
    };
    return &hostClass;
}
