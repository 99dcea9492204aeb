#pragma once

#include <duktape.h>

#include <cstdio>
#include <string>
#include <vector>

#include "npapi/npruntime.h"
#include "npbrowser/Page.h"

class Browser;

// The page: a Duktape heap running one page script. Plug-in objects appear
// in it as Proxy objects whose property reads, writes and calls go to the
// object's class; script values reach the plug-in as variants, plain script
// objects as objects of the host's own class (ScriptObjectClass). Globals: plugin, args,
// print(...), printError(...) (a line on standard error), readFileBase64(path),
// readText(path), readHead(path, count) (the first bytes of a regular file, one
// character U+0000-U+00FF per byte; a failure throws an Error whose message says
// why in words: "no such file", "permission denied", "is a folder", ...),
// writeText(path, text), npDouble(x), exit(code), scriptPath (the running
// script's path) and location (an object whose href is the page's address).
//
// Duktape reports errors by longjmp. No C++ object with a destructor may be
// alive in a frame such a jump leaves, so every Duktape call that can throw
// is made either from a native function's own C frame or inside DukSafeCall.
class ScriptEngine : public Page {
public:
    // `location` is the page's address, the href of the global location.
    ScriptEngine(Browser& browser, const std::vector<std::string>& args, const std::string& location = "");
    ~ScriptEngine() override;
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    bool Ready() const { return _ctx != nullptr; }

    // Makes `object` the global `plugin` (the wrapper holds its own reference).
    bool SetPlugin(NPObject* object);

    // Runs a page script file. Returns the exit status: exit's code, 0 at a
    // normal end, 1 after an uncaught error (reported on stderr).
    int Run(const std::string& path);

    // Destroys the heap: finalizers release every plug-in object the script
    // held. Objects of the host's class kept by the plug-in answer false
    // from then on.
    void Close();

    // The global object as an object of the host's class (a new reference).
    NPObject* WindowObject() override;
    // Evaluates script text (UTF-8) in the global scope.
    bool Evaluate(const std::string& utf8, NPVariant& result) override;

private:
    friend class ScriptObjectClass;
    using Ctx = duk_context*;
    using Index = duk_idx_t;

    static ScriptEngine* Self();

    // Natives and proxy traps (C frames) and their C++ bodies.
    static duk_ret_t NativePrint(Ctx ctx);
    static duk_ret_t NativePrintError(Ctx ctx);
    static duk_ret_t NativeReadHead(Ctx ctx);
    static duk_ret_t NativeReadFileBase64(Ctx ctx);
    static duk_ret_t NativeReadText(Ctx ctx);
    static duk_ret_t NativeWriteText(Ctx ctx);
    static duk_ret_t NativeNpDouble(Ctx ctx);
    static duk_ret_t NativeNpDoubleValue(Ctx ctx);
    static duk_ret_t NativeExit(Ctx ctx);
    static duk_ret_t TrapGet(Ctx ctx);
    static duk_ret_t TrapSet(Ctx ctx);
    static duk_ret_t TrapHas(Ctx ctx);
    static duk_ret_t TrapDelete(Ctx ctx);
    static duk_ret_t TrapOwnKeys(Ctx ctx);
    static duk_ret_t MethodCall(Ctx ctx);
    static duk_ret_t FinalizeWrapper(Ctx ctx);

    int PrintImpl(std::FILE* out);
    int ReadHeadImpl();
    int ReadFileImpl(bool base64);
    int WriteTextImpl();
    int GetImpl();
    int SetImpl();
    int HasImpl();
    int DeleteImpl();
    int OwnKeysImpl();
    int MethodImpl();

    // Conversions. PushVariant leaves exactly one value (the error on
    // failure); ToVariant fills a variant the caller releases.
    bool PushVariant(const NPVariant& variant);
    bool PushWrapper(NPObject* object);
    bool PushString(const std::string& scriptText);
    bool ToVariant(Index index, NPVariant& out);
    void* HiddenPointer(Index index, const char* key);
    std::string KeyText(Index index);  // UTF-8
    NPObject* WrappedObject(Index index);

    // Error helpers: push an Error and answer kThrow.
    int Fail(const std::string& utf8Message);
    // The live plug-in object a property trap acts on (key at index 1,
    // target at 0), with a stale exception cleared; null when the trap falls
    // back to the script object itself.
    NPObject* TrapTarget();
    // Runs body; an exception becomes a script error "<what>: <reason>".
    template <typename Body>
    int Guarded(const std::string& what, Body&& body) {
        try {
            return body();
        } catch (const std::exception& e) {
            return Fail(what + ": " + e.what());
        } catch (...) {
            return Fail(what + ": unknown exception");
        }
    }
    int FailAfterCall(bool ok, const char* what, const std::string& key);

    bool Alive() const { return _ctx != nullptr && !_closing; }

    Browser& _browser;
    Ctx _ctx = nullptr;
    bool _closing = false;
    bool _exitRequested = false;
    int _exitCode = 0;
    unsigned _nextHostKey = 1;
};
