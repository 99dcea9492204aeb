#pragma once

#include <duktape.h>

#include <type_traits>

// Runs `fn` in Duktape's protected mode and answers whether it succeeded. `fn`
// may make throwing Duktape calls but must create no object with a
// destructor: an error jumps (longjmp) straight back to here. On failure the
// error value takes the first of the `nrets` result slots.
template <typename Fn>
bool DukSafeCall(duk_context* ctx, Fn&& fn, duk_idx_t nargs, duk_idx_t nrets) {
    using F = std::remove_reference_t<Fn>;
    const auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
        return (*static_cast<F*>(udata))(c);
    };
    return duk_safe_call(ctx, trampoline, &fn, nargs, nrets) == DUK_EXEC_SUCCESS;
}
