#include "host/ScriptEngine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "host/DukSafeCall.h"
#include "host/ScriptObjectClass.h"
#include "host/TextCodec.h"
#include "npbrowser/Browser.h"
#include "npbrowser/CallGuard.h"
#include "npbrowser/OwnedVariants.h"

namespace {

// Hidden keys (Duktape hides keys starting with 0xFF from scripts). No hex
// digit follows the escape, so each is one byte 0xFF and the name.
const char kObjectKey[] = "\xFFnpobject";  // on a wrapper's target: the plug-in object
const char kDoubleKey[] = "\xFFnpdouble";  // on an npDouble value: the number
const char kTargetKey[] = "\xFFtarget";    // on a method function: the wrapper's target
const char kNameKey[] = "\xFFname";        // on a method function: the member name
const char kHandlerKey[] = "handler";      // in the stash: the proxy handler

// Internal answers of the C++ bodies of natives (never returned to Duktape).
constexpr duk_ret_t kThrow = -1000;     // an error value is on the stack top
constexpr duk_ret_t kFallback = -1001;  // not a plug-in member: use the proxy's target

// readHead: bytes read without a count, and at most.
constexpr duk_int_t kHeadDefault = 1024;
constexpr duk_int_t kHeadLimit = 1 << 20;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    const FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    out.clear();
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) out.append(buffer, n);
    if (std::ferror(file.get())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// The cause of a failed file access in the words of other command-line tools.
std::string Reason(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return "no such file";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EISDIR:
            return "is a folder";
        default: {
            std::string text = std::strerror(error);
            if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
            return text;
        }
    }
}

// The first `count` bytes of a regular file. A folder, a device or a pipe is
// refused without reading (a pipe would block).
bool ReadHead(const std::string& path, std::size_t count, std::string& out, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = Reason(errno);
        return false;
    }
    const FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        reason = Reason(errno);
        ::close(fd);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = Reason(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        reason = Reason(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    out.assign(count, '\0');
    const std::size_t got = std::fread(out.data(), 1, count, file.get());
    if (std::ferror(file.get())) {
        reason = Reason(errno);
        return false;
    }
    out.resize(got);
    return true;
}

// Writes through a temporary file in the same folder and renames it over the
// target, so that a failed write leaves no half-written file behind.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; give it the mode a plain create would
    // (or the mode of the file it replaces).
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        error = std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    std::FILE* raw = file.release();
    const bool closed = std::fclose(raw) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool IsInt32(double d) {
    return std::isfinite(d) && d >= INT32_MIN && d <= INT32_MAX && std::trunc(d) == d &&
           !(d == 0 && std::signbit(d));
}

}  // namespace

ScriptEngine::ScriptEngine(Browser& browser, const std::vector<std::string>& args,
                           const std::string& location)
    : _browser(browser) {
    _ctx = duk_create_heap_default();
    if (_ctx == nullptr) return;
    std::vector<std::string> scriptArgs;
    for (const std::string& arg : args) scriptArgs.push_back(TextCodec::Utf8ToScript(arg));
    const std::string href = TextCodec::Utf8ToScript(location);
    const bool ok = DukSafeCall(
        _ctx,
        [&scriptArgs, &href](duk_context* ctx) -> duk_ret_t {
            const struct {
                const char* name;
                duk_c_function fn;
                duk_idx_t nargs;
            } natives[] = {
                {"print", &NativePrint, DUK_VARARGS},
                {"printError", &NativePrintError, DUK_VARARGS},
                {"readFileBase64", &NativeReadFileBase64, 1},
                {"readText", &NativeReadText, 1},
                {"readHead", &NativeReadHead, 2},
                {"writeText", &NativeWriteText, 2},
                {"npDouble", &NativeNpDouble, 1},
                {"exit", &NativeExit, 1},
            };
            for (const auto& native : natives) {
                duk_push_c_function(ctx, native.fn, native.nargs);
                duk_put_global_string(ctx, native.name);
            }
            const duk_idx_t array = duk_push_array(ctx);
            for (size_t i = 0; i < scriptArgs.size(); ++i) {
                duk_push_lstring(ctx, scriptArgs[i].data(), scriptArgs[i].size());
                duk_put_prop_index(ctx, array, static_cast<duk_uarridx_t>(i));
            }
            duk_put_global_string(ctx, "args");
            duk_push_object(ctx);
            duk_push_lstring(ctx, href.data(), href.size());
            duk_put_prop_string(ctx, -2, "href");
            duk_put_global_string(ctx, "location");
            duk_push_null(ctx);
            duk_put_global_string(ctx, "plugin");

            duk_push_global_stash(ctx);
            const duk_idx_t handler = duk_push_object(ctx);
            const struct {
                const char* name;
                duk_c_function fn;
                duk_idx_t nargs;
            } traps[] = {{"get", &TrapGet, 3},
                         {"set", &TrapSet, 4},
                         {"has", &TrapHas, 2},
                         {"deleteProperty", &TrapDelete, 2},
                         {"ownKeys", &TrapOwnKeys, 1}};
            for (const auto& trap : traps) {
                duk_push_c_function(ctx, trap.fn, trap.nargs);
                duk_put_prop_string(ctx, handler, trap.name);
            }
            duk_put_prop_string(ctx, -2, kHandlerKey);
            duk_push_object(ctx);
            duk_put_prop_string(ctx, -2, ScriptObjectClass::kStashKey);
            duk_pop(ctx);
            return 0;
        },
        0, 1);
    duk_pop(_ctx);
    if (!ok) {
        duk_destroy_heap(_ctx);
        _ctx = nullptr;
        return;
    }
    _browser.SetPage(this);
}

ScriptEngine::~ScriptEngine() {
    Close();
    if (_browser.CurrentPage() == this) _browser.SetPage(nullptr);
}

ScriptEngine* ScriptEngine::Self() {
    Browser* browser = Browser::Current();
    return browser != nullptr ? dynamic_cast<ScriptEngine*>(browser->CurrentPage()) : nullptr;
}

void ScriptEngine::Close() {
    if (_ctx == nullptr) return;
    _closing = true;
    duk_context* ctx = _ctx;
    duk_destroy_heap(ctx);  // runs the finalizers: wrappers release their objects
    _ctx = nullptr;
}

bool ScriptEngine::SetPlugin(NPObject* object) {
    if (!Ready()) return false;
    const bool pushed = PushWrapper(object);
    const bool ok = pushed && DukSafeCall(
                                  _ctx,
                                  [](duk_context* ctx) -> duk_ret_t {
                                      duk_put_global_string(ctx, "plugin");
                                      return 0;
                                  },
                                  1, 0);
    if (!pushed) duk_pop(_ctx);
    return ok;
}

int ScriptEngine::Run(const std::string& path) {
    if (!Ready()) return 1;
    std::string source;
    std::string error;
    if (!ReadWholeFile(path, source, error)) {
        std::fprintf(stderr, "pendrel-host: cannot read script %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) source.erase(0, 3);
    if (source.compare(0, 2, "#!") == 0) source.replace(0, 2, "//");
    const std::string fileName = TextCodec::Utf8ToScript(path);

    const duk_idx_t top = duk_get_top(_ctx);
    bool failed = false;
    DukSafeCall(
        _ctx,
        [&](duk_context* ctx) -> duk_ret_t {
            // The script's own path, as a page knows its address.
            duk_push_lstring(ctx, fileName.data(), fileName.size());
            duk_put_global_string(ctx, "scriptPath");
            duk_push_lstring(ctx, source.data(), source.size());
            duk_push_lstring(ctx, fileName.data(), fileName.size());
            failed = duk_pcompile(ctx, 0) != 0 || duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS;
            return 1;
        },
        0, 1);
    int status = 0;
    if (_exitRequested) {
        status = _exitCode;
    } else if (failed) {
        std::string text;
        DukSafeCall(
            _ctx,
            [](duk_context* ctx) -> duk_ret_t {
                if (duk_is_error(ctx, -1)) {
                    duk_get_prop_string(ctx, -1, "stack");
                    if (!duk_is_string(ctx, -1)) {
                        duk_pop(ctx);
                        duk_dup(ctx, -1);
                    }
                } else {
                    duk_dup(ctx, -1);
                }
                duk_safe_to_string(ctx, -1);
                return 1;
            },
            0, 1);
        duk_size_t length = 0;
        const char* message = duk_get_lstring(_ctx, -1, &length);
        text = message != nullptr ? TextCodec::ScriptToUtf8(message, length) : "unknown error";
        std::fprintf(stderr, "pendrel-host: uncaught error: %s\n", text.c_str());
        status = 1;
    }
    duk_set_top(_ctx, top);
    std::fflush(stdout);
    return status;
}

// --- natives -------------------------------------------------------------

duk_ret_t ScriptEngine::NativePrint(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->PrintImpl(stdout);
    return rc == kThrow ? duk_throw(ctx) : rc;
}

duk_ret_t ScriptEngine::NativePrintError(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->PrintImpl(stderr);
    return rc == kThrow ? duk_throw(ctx) : rc;
}

int ScriptEngine::PrintImpl(std::FILE* out) {
    return Guarded(out == stdout ? "print" : "printError", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        std::string line;
        const duk_idx_t count = duk_get_top(_ctx);
        for (duk_idx_t i = 0; i < count; ++i) {
            duk_size_t length = 0;
            const char* text = duk_safe_to_lstring(_ctx, i, &length);
            if (i > 0) line += ' ';
            line += TextCodec::ScriptToUtf8(text, length);
        }
        line += '\n';
        std::fflush(stdout);  // the two streams keep their order on a terminal
        std::fwrite(line.data(), 1, line.size(), out);
        std::fflush(out);
        return 0;
    });
}

duk_ret_t ScriptEngine::NativeReadHead(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->ReadHeadImpl();
    return rc == kThrow ? duk_throw(ctx) : rc;
}

int ScriptEngine::ReadHeadImpl() {
    return Guarded("readHead", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        if (!duk_is_string(_ctx, 0)) return Fail("readHead: the path must be a string");
        const duk_int_t wanted = duk_is_undefined(_ctx, 1) ? kHeadDefault : duk_to_int(_ctx, 1);
        const std::size_t count = static_cast<std::size_t>(std::clamp<duk_int_t>(wanted, 0, kHeadLimit));
        std::string bytes;
        std::string reason;
        if (!ReadHead(KeyText(0), count, bytes, reason)) return Fail(reason);
        std::string utf8;  // one character per byte
        for (const unsigned char byte : bytes) {
            if (byte < 0x80) {
                utf8 += static_cast<char>(byte);
            } else {
                utf8 += static_cast<char>(0xC0 | (byte >> 6));
                utf8 += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return PushString(TextCodec::Utf8ToScript(utf8)) ? 1 : kThrow;
    });
}

duk_ret_t ScriptEngine::NativeReadFileBase64(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->ReadFileImpl(true);
    return rc == kThrow ? duk_throw(ctx) : rc;
}

duk_ret_t ScriptEngine::NativeReadText(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->ReadFileImpl(false);
    return rc == kThrow ? duk_throw(ctx) : rc;
}

int ScriptEngine::ReadFileImpl(bool base64) {
    const char* name = base64 ? "readFileBase64" : "readText";
    return Guarded(name, [&]() -> int {
        if (_exitRequested) return Fail("exit");
        if (!duk_is_string(_ctx, 0)) return Fail(std::string(name) + ": the path must be a string");
        const std::string path = KeyText(0);
        std::string bytes;
        std::string error;
        if (!ReadWholeFile(path, bytes, error))
            return Fail(std::string(name) + ": cannot read " + path + ": " + error);
        const std::string text = base64 ? TextCodec::Base64(bytes) : TextCodec::Utf8ToScript(bytes);
        return PushString(text) ? 1 : kThrow;
    });
}

duk_ret_t ScriptEngine::NativeWriteText(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return 0;
    const duk_ret_t rc = self->WriteTextImpl();
    return rc == kThrow ? duk_throw(ctx) : rc;
}

int ScriptEngine::WriteTextImpl() {
    return Guarded("writeText", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        if (!duk_is_string(_ctx, 0)) return Fail("writeText: the path must be a string");
        if (duk_is_undefined(_ctx, 1)) return Fail("writeText: no text given");
        const std::string path = KeyText(0);
        duk_size_t length = 0;
        const char* text = duk_safe_to_lstring(_ctx, 1, &length);
        std::string error;
        if (!WriteWholeFile(path, TextCodec::ScriptToUtf8(text, length), error)) {
            return Fail("writeText: cannot write " + path + ": " + error);
        }
        return 0;
    });
}

// npDouble(x): an object that carries x as a number and reaches the plug-in
// as a double variant; it behaves as the number in arithmetic.
duk_ret_t ScriptEngine::NativeNpDouble(duk_context* ctx) {
    const duk_double_t value = duk_to_number(ctx, 0);
    duk_push_object(ctx);
    duk_push_number(ctx, value);
    duk_put_prop_string(ctx, -2, kDoubleKey);
    duk_push_c_function(ctx, &NativeNpDoubleValue, 0);
    duk_put_prop_string(ctx, -2, "valueOf");
    return 1;
}

duk_ret_t ScriptEngine::NativeNpDoubleValue(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kDoubleKey);
    return 1;
}

// exit(code): ends the script. The error it throws cannot be caught for
// good: every later call into the host throws again.
duk_ret_t ScriptEngine::NativeExit(duk_context* ctx) {
    const duk_int_t code = duk_is_undefined(ctx, 0) ? 0 : duk_to_int(ctx, 0);
    if (ScriptEngine* self = Self()) {
        if (!self->_exitRequested) self->_exitCode = code;
        self->_exitRequested = true;
    }
    return duk_error(ctx, DUK_ERR_ERROR, "exit(%ld)", static_cast<long>(code));
}

// --- plug-in object wrappers -------------------------------------------

bool ScriptEngine::PushWrapper(NPObject* object) {
    ObjectRegistry& objects = _browser.Objects();
    return DukSafeCall(
        _ctx,
        [object, &objects](duk_context* ctx) -> duk_ret_t {
            duk_push_object(ctx);
            duk_push_c_function(ctx, &FinalizeWrapper, 2);
            duk_set_finalizer(ctx, -2);
            duk_push_pointer(ctx, object);
            duk_put_prop_string(ctx, -2, kObjectKey);
            objects.Retain(object);  // released by the finalizer
            duk_push_global_stash(ctx);
            duk_get_prop_string(ctx, -1, kHandlerKey);
            duk_remove(ctx, -2);
            duk_push_proxy(ctx, 0);
            return 1;
        },
        0, 1);
}

duk_ret_t ScriptEngine::FinalizeWrapper(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kObjectKey);
    auto* object = static_cast<NPObject*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    if (object == nullptr) return 0;
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kObjectKey);
    // Deallocation runs plug-in code; nothing may unwind through Duktape.
    CallGuard("releasing a plug-in object", false, [object] {
        if (Browser* browser = Browser::Current()) browser->Objects().Release(object);
        return true;
    });
    return 0;
}

void* ScriptEngine::HiddenPointer(duk_idx_t index, const char* key) {
    if (duk_get_type(_ctx, index) != DUK_TYPE_OBJECT) return nullptr;
    const duk_idx_t at = duk_normalize_index(_ctx, index);
    void* result = nullptr;
    DukSafeCall(
        _ctx,
        [at, key, &result](duk_context* ctx) -> duk_ret_t {
            duk_get_prop_string(ctx, at, key);
            result = duk_get_pointer(ctx, -1);
            return 0;
        },
        0, 0);
    return result;
}

NPObject* ScriptEngine::WrappedObject(duk_idx_t index) {
    return static_cast<NPObject*>(HiddenPointer(index, kObjectKey));
}

std::string ScriptEngine::KeyText(duk_idx_t index) {
    duk_size_t length = 0;
    if (const char* text = duk_get_lstring(_ctx, index, &length))
        return TextCodec::ScriptToUtf8(text, length);
    // A number key (plugin[3]) arrives as a number: use its string form.
    const duk_idx_t at = duk_normalize_index(_ctx, index);
    std::string key;
    if (DukSafeCall(
            _ctx,
            [at](duk_context* ctx) -> duk_ret_t {
                duk_dup(ctx, at);
                duk_to_string(ctx, -1);
                return 1;
            },
            0, 1)) {
        const char* text = duk_get_lstring(_ctx, -1, &length);
        if (text != nullptr) key = TextCodec::ScriptToUtf8(text, length);
    }
    duk_pop(_ctx);
    return key;
}

bool ScriptEngine::PushString(const std::string& scriptText) {
    return DukSafeCall(
        _ctx,
        [&scriptText](duk_context* ctx) -> duk_ret_t {
            duk_push_lstring(ctx, scriptText.data(), scriptText.size());
            return 1;
        },
        0, 1);
}

int ScriptEngine::Fail(const std::string& utf8Message) {
    const std::string message = TextCodec::Utf8ToScript(utf8Message);
    DukSafeCall(
        _ctx,
        [&message](duk_context* ctx) -> duk_ret_t {
            duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", message.c_str());
            return 1;
        },
        0, 1);
    return kThrow;
}

// After a call into the plug-in: an exception it set wins; a call it
// answered with false becomes an error naming what failed.
int ScriptEngine::FailAfterCall(bool ok, const char* what, const std::string& key) {
    const std::string failure = _browser.CallFailure(ok, what, key);
    return failure.empty() ? 0 : Fail(failure);
}

duk_ret_t ScriptEngine::TrapGet(duk_context* ctx) {
    ScriptEngine* self = Self();
    const duk_ret_t rc = self != nullptr ? self->GetImpl() : kFallback;
    if (rc == kThrow) return duk_throw(ctx);
    if (rc == kFallback) {
        duk_dup(ctx, 1);
        duk_get_prop(ctx, 0);
        return 1;
    }
    return rc;
}

NPObject* ScriptEngine::TrapTarget() {
    if (duk_is_symbol(_ctx, 1)) return nullptr;
    NPObject* object = WrappedObject(0);
    if (object == nullptr || !_browser.Objects().IsLive(object)) return nullptr;
    std::string stale;  // an exception set outside any call is not this call's
    _browser.TakeException(stale);
    return object;
}

int ScriptEngine::GetImpl() {
    return Guarded("reading a property of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        NPObject* object = TrapTarget();
        if (object == nullptr) return kFallback;
        const std::string key = KeyText(1);
        const NPIdentifier id = _browser.Identifiers().ForKey(key);
        NPClass* cls = object->_class;
        if (cls->hasProperty != nullptr && cls->hasProperty(object, id)) {
            OwnedVariants result(1);
            const bool ok = cls->getProperty != nullptr && cls->getProperty(object, id, &result[0]);
            if (FailAfterCall(ok, "reading property", key) == kThrow) return kThrow;
            return PushVariant(result[0]) ? 1 : kThrow;
        }
        std::string ignored;
        _browser.TakeException(ignored);
        if (cls->hasMethod != nullptr && cls->hasMethod(object, id)) {
            _browser.TakeException(ignored);
            const bool ok = DukSafeCall(
                _ctx,
                [](duk_context* ctx) -> duk_ret_t {
                    duk_push_c_function(ctx, &MethodCall, DUK_VARARGS);
                    duk_dup(ctx, 0);
                    duk_put_prop_string(ctx, -2, kTargetKey);
                    duk_dup(ctx, 1);
                    duk_put_prop_string(ctx, -2, kNameKey);
                    return 1;
                },
                0, 1);
            return ok ? 1 : kThrow;
        }
        _browser.TakeException(ignored);
        return kFallback;
    });
}

duk_ret_t ScriptEngine::TrapSet(duk_context* ctx) {
    ScriptEngine* self = Self();
    const duk_ret_t rc = self != nullptr ? self->SetImpl() : kFallback;
    if (rc == kThrow) return duk_throw(ctx);
    if (rc == kFallback) {
        duk_dup(ctx, 1);
        duk_dup(ctx, 2);
        duk_put_prop(ctx, 0);
    }
    duk_push_true(ctx);
    return 1;
}

int ScriptEngine::SetImpl() {
    return Guarded("setting a property of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        NPObject* object = TrapTarget();
        if (object == nullptr) return kFallback;
        const std::string key = KeyText(1);
        const NPIdentifier id = _browser.Identifiers().ForKey(key);
        NPClass* cls = object->_class;
        if (cls->hasProperty == nullptr || !cls->hasProperty(object, id)) {
            std::string ignored;
            _browser.TakeException(ignored);
            return Fail("a plug-in object has no property '" + key + "' to set");
        }
        OwnedVariants value(1);
        if (!ToVariant(2, value[0]))
            return Fail("setting property '" + key + "': the value cannot be passed");
        const bool ok = cls->setProperty != nullptr && cls->setProperty(object, id, &value[0]);
        return FailAfterCall(ok, "setting property", key);
    });
}

duk_ret_t ScriptEngine::TrapHas(duk_context* ctx) {
    ScriptEngine* self = Self();
    const duk_ret_t rc = self != nullptr ? self->HasImpl() : kFallback;
    if (rc == kThrow) return duk_throw(ctx);
    if (rc == kFallback) {
        duk_dup(ctx, 1);
        duk_push_boolean(ctx, duk_has_prop(ctx, 0));
    }
    return 1;
}

int ScriptEngine::HasImpl() {
    return Guarded("looking up a member of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        NPObject* object = TrapTarget();
        if (object == nullptr) return kFallback;
        const NPIdentifier id = _browser.Identifiers().ForKey(KeyText(1));
        NPClass* cls = object->_class;
        const bool has = (cls->hasProperty != nullptr && cls->hasProperty(object, id)) ||
                         (cls->hasMethod != nullptr && cls->hasMethod(object, id));
        std::string ignored;
        _browser.TakeException(ignored);
        if (!has) return kFallback;
        duk_push_true(_ctx);
        return 1;
    });
}

duk_ret_t ScriptEngine::TrapDelete(duk_context* ctx) {
    ScriptEngine* self = Self();
    const duk_ret_t rc = self != nullptr ? self->DeleteImpl() : kFallback;
    if (rc == kThrow) return duk_throw(ctx);
    if (rc == kFallback) {
        duk_dup(ctx, 1);
        duk_push_boolean(ctx, duk_del_prop(ctx, 0));
        return 1;
    }
    duk_push_true(ctx);
    return 1;
}

int ScriptEngine::DeleteImpl() {
    return Guarded("removing a property of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        NPObject* object = TrapTarget();
        if (object == nullptr) return kFallback;
        const std::string key = KeyText(1);
        const NPIdentifier id = _browser.Identifiers().ForKey(key);
        NPClass* cls = object->_class;
        const bool ok = cls->removeProperty != nullptr && cls->removeProperty(object, id);
        return FailAfterCall(ok, "removing property", key);
    });
}

duk_ret_t ScriptEngine::TrapOwnKeys(duk_context* ctx) {
    ScriptEngine* self = Self();
    const duk_ret_t rc = self != nullptr ? self->OwnKeysImpl() : kFallback;
    if (rc == kThrow) return duk_throw(ctx);
    if (rc == kFallback) {
        duk_push_array(ctx);
        return 1;
    }
    return rc;
}

int ScriptEngine::OwnKeysImpl() {
    return Guarded("listing the members of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        NPObject* object = WrappedObject(0);
        if (object == nullptr || !_browser.Objects().IsLive(object)) return kFallback;
        std::string stale;  // an exception set outside any call is not this call's
        _browser.TakeException(stale);
        NPClass* cls = object->_class;
        NPIdentifier* ids = nullptr;
        uint32_t count = 0;
        const bool ok = NP_CLASS_STRUCT_VERSION_HAS_ENUM(cls) && cls->enumerate != nullptr &&
                        cls->enumerate(object, &ids, &count);
        std::string ignored;
        _browser.TakeException(ignored);
        std::vector<std::string> keys;
        if (ok && ids != nullptr) {
            for (uint32_t i = 0; i < count; ++i)
                keys.push_back(TextCodec::Utf8ToScript(IdentifierTable::Key(ids[i])));
        }
        std::free(ids);  // the plug-in allocated the list with NPN_MemAlloc
        const bool pushed = DukSafeCall(
            _ctx,
            [&keys](duk_context* ctx) -> duk_ret_t {
                const duk_idx_t array = duk_push_array(ctx);
                for (size_t i = 0; i < keys.size(); ++i) {
                    duk_push_lstring(ctx, keys[i].data(), keys[i].size());
                    duk_put_prop_index(ctx, array, static_cast<duk_uarridx_t>(i));
                }
                return 1;
            },
            0, 1);
        return pushed ? 1 : kThrow;
    });
}

duk_ret_t ScriptEngine::MethodCall(duk_context* ctx) {
    ScriptEngine* self = Self();
    if (self == nullptr) return duk_error(ctx, DUK_ERR_ERROR, "the page is closing");
    const duk_ret_t rc = self->MethodImpl();
    return rc == kThrow ? duk_throw(ctx) : rc;
}

int ScriptEngine::MethodImpl() {
    return Guarded("calling a method of a plug-in object", [&]() -> int {
        if (_exitRequested) return Fail("exit");
        const duk_idx_t argCount = duk_get_top(_ctx);
        if (!duk_check_stack(_ctx, 8)) return Fail("out of script stack");
        // The function object carries the wrapper's target and the name.
        const bool found = DukSafeCall(
            _ctx,
            [](duk_context* ctx) -> duk_ret_t {
                duk_push_current_function(ctx);
                duk_get_prop_string(ctx, -1, kTargetKey);
                duk_get_prop_string(ctx, -2, kNameKey);
                duk_remove(ctx, -3);
                return 2;
            },
            0, 2);
        if (!found) return kThrow;
        NPObject* object = WrappedObject(argCount);
        const std::string key = KeyText(argCount + 1);
        duk_pop_2(_ctx);
        if (object == nullptr || !_browser.Objects().IsLive(object)) {
            return Fail("calling method '" + key + "': the plug-in object no longer exists");
        }
        std::string stale;
        _browser.TakeException(stale);
        bool ok = false;
        OwnedVariants result(1);
        {
            OwnedVariants args(static_cast<size_t>(argCount));
            for (duk_idx_t i = 0; i < argCount; ++i) {
                if (!ToVariant(i, args[static_cast<size_t>(i)])) {
                    return Fail("calling method '" + key + "': an argument cannot be passed");
                }
            }
            const NPIdentifier id = _browser.Identifiers().ForKey(key);
            NPClass* cls = object->_class;
            ok = cls->invoke != nullptr && cls->invoke(object, id, args.Data(), args.Count(), &result[0]);
        }  // the arguments are released before the result reaches the script
        if (FailAfterCall(ok, "calling method", key) == kThrow) return kThrow;
        const bool pushed = PushVariant(result[0]);
        return pushed ? 1 : kThrow;
    });
}

// --- conversions ---------------------------------------------------------

bool ScriptEngine::PushVariant(const NPVariant& variant) {
    switch (variant.type) {
        case NPVariantType_Null:
            duk_push_null(_ctx);
            return true;
        case NPVariantType_Bool:
            duk_push_boolean(_ctx, variant.value.boolValue);
            return true;
        case NPVariantType_Int32:
            duk_push_int(_ctx, variant.value.intValue);
            return true;
        case NPVariantType_Double:
            duk_push_number(_ctx, variant.value.doubleValue);
            return true;
        case NPVariantType_String: {
            const NPString& s = variant.value.stringValue;
            return PushString(s.UTF8Characters != nullptr
                                  ? TextCodec::Utf8ToScript(s.UTF8Characters, s.UTF8Length)
                                  : std::string());
        }
        case NPVariantType_Object: {
            NPObject* object = variant.value.objectValue;
            if (object == nullptr) {
                duk_push_null(_ctx);
                return true;
            }
            if (object->_class == ScriptObjectClass::Class()) return ScriptObjectClass::Push(*this, object);
            return PushWrapper(object);
        }
        case NPVariantType_Void:
        default:
            duk_push_undefined(_ctx);
            return true;
    }
}

bool ScriptEngine::ToVariant(duk_idx_t index, NPVariant& out) {
    VOID_TO_NPVARIANT(out);
    switch (duk_get_type(_ctx, index)) {
        case DUK_TYPE_NULL:
            NULL_TO_NPVARIANT(out);
            return true;
        case DUK_TYPE_BOOLEAN:
            BOOLEAN_TO_NPVARIANT(duk_get_boolean(_ctx, index), out);
            return true;
        case DUK_TYPE_NUMBER: {
            const double d = duk_get_number(_ctx, index);
            if (IsInt32(d)) {
                INT32_TO_NPVARIANT(static_cast<int32_t>(d), out);
            } else {
                DOUBLE_TO_NPVARIANT(d, out);
            }
            return true;
        }
        case DUK_TYPE_STRING: {
            if (duk_is_symbol(_ctx, index)) return true;
            const std::string text = KeyText(index);
            auto* copy = static_cast<NPUTF8*>(std::malloc(text.size() + 1));
            if (copy == nullptr) return false;
            std::memcpy(copy, text.c_str(), text.size() + 1);
            STRINGN_TO_NPVARIANT(copy, text.size(), out);
            return true;
        }
        case DUK_TYPE_OBJECT: {
            if (NPObject* wrapped = WrappedObject(index)) {
                OBJECT_TO_NPVARIANT(_browser.Objects().Retain(wrapped), out);
                return true;
            }
            const duk_idx_t at = duk_normalize_index(_ctx, index);
            bool isDouble = false;
            double number = 0;
            DukSafeCall(
                _ctx,
                [at, &isDouble, &number](duk_context* ctx) -> duk_ret_t {
                    duk_get_prop_string(ctx, at, kDoubleKey);
                    isDouble = duk_is_number(ctx, -1);
                    number = duk_get_number(ctx, -1);
                    return 0;
                },
                0, 0);
            if (isDouble) {
                DOUBLE_TO_NPVARIANT(number, out);
                return true;
            }
            NPObject* host = ScriptObjectClass::ObjectFor(*this, index);
            if (host == nullptr) return false;
            OBJECT_TO_NPVARIANT(host, out);
            return true;
        }
        default:  // undefined, and values a page cannot make (buffers, pointers)
            return true;
    }
}

NPObject* ScriptEngine::WindowObject() {
    if (!Alive()) return nullptr;
    const duk_idx_t top = duk_get_top(_ctx);
    NPObject* window = nullptr;
    if (duk_check_stack(_ctx, 2)) {
        duk_push_global_object(_ctx);
        window = ScriptObjectClass::ObjectFor(*this, -1);
    }
    duk_set_top(_ctx, top);
    return window;
}

bool ScriptEngine::Evaluate(const std::string& utf8, NPVariant& result) {
    VOID_TO_NPVARIANT(result);
    if (!Alive()) return false;
    const std::string source = TextCodec::Utf8ToScript(utf8);
    const duk_idx_t top = duk_get_top(_ctx);
    bool ok = duk_check_stack(_ctx, 4) && DukSafeCall(
                                              _ctx,
                                              [&source](duk_context* ctx) -> duk_ret_t {
                                                  duk_push_lstring(ctx, source.data(), source.size());
                                                  return 1;
                                              },
                                              0, 1);
    ok = ok && duk_peval(_ctx) == DUK_EXEC_SUCCESS && ToVariant(-1, result);
    duk_set_top(_ctx, top);
    return ok;
}
