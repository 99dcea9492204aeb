#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "bridge/ObjectHandles.h"
#include "npbrowser/Browser.h"
#include "npbrowser/EmbeddedInstance.h"
#include "npbrowser/Page.h"
#include "npbrowser/PluginLibrary.h"

// One page's connection: the plug-in library with its one instance, the
// objects the page holds by handle, and the page's origin, which the first
// hello fixes and which is the address the plug-in sees in the window's
// location. Each message is answered as a JSON text (see Handle).
//
// Requests: {"id": int, "op": name, "origin": "https://host:port", ...}.
// Answers: {"id": id, "ok": true, "value": V} or {"id": id or null, "ok":
// false, "error": text}. Values: JSON null, booleans, numbers (integers in
// the int32 range as int32, other numbers as double), strings,
// {"$object": handle} and {"$void": true}.
//   hello {}                           -> {"plugin": {"$object": H}, "version": text}
//   get {object, name}                 -> V ({"$void": true} for no such property)
//   set {object, name, value}          -> true
//   invoke {object, name, args: [V]}   -> V
//   release {object}                   -> true
//   feed {object, data: Base64 text of at most 4 MiB; "" ends the feed}
//                                      -> what feedBase64Data answers
//   read {object, offset?, size?}      -> {"data": Base64 without line breaks, "done": bool}
//       The signed copy's text from character `offset` on: exactly `size`
//       characters (a multiple of 4, at most and by default 768 KiB) but at
//       the end, so that reads sent ahead of the answers know where they
//       start. Reads go in order; an offset at or past the end answers ""
//       and done, offset 0 starts again from the first character, and
//       without an offset the next piece comes (after the end, the first).
//   cancel {}                          -> true (closes an open modal window)
class BridgeSession : private Page {
public:
    // Base64 text of one feed message, and of one read answer (which keeps
    // the whole answer under the browser's 1 MiB).
    static constexpr std::size_t kMaxFeed = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxRead = 768 * 1024;

    explicit BridgeSession(std::string pluginPath);
    ~BridgeSession() override;
    BridgeSession(const BridgeSession&) = delete;
    BridgeSession& operator=(const BridgeSession&) = delete;

    // Loads and initialises the plug-in. A failure is kept and answered to
    // every request; false then.
    bool Start();

    // Answers one message. While a call into the plug-in runs (a modal
    // window's loop handles messages meanwhile) only cancel is served; the
    // others are answered "busy".
    std::string Handle(const std::string& message);
    // An error answer without an id (a frame that held no message).
    static std::string ErrorAnswer(const std::string& error);

    bool InCall() const { return _callDepth > 0; }
    // What cancel does: closes the plug-in's open modal windows.
    void SetCancel(std::function<void()> cancel) { _cancel = std::move(cancel); }
    // Closes the plug-in's modal windows while a call runs, as cancel does.
    void CancelWindows() {
        if (InCall() && _cancel) _cancel();
    }

    // Gives every object back, destroys the instance and shuts the plug-in
    // down; with `reportLeaks` the objects still alive are counted on stderr.
    void Close(bool reportLeaks = false);
    // Writes to stderr how long parsing the messages and answering them took.
    void ReportTimes() const;

private:
    using Json = nlohmann::json;
    using Op = Json (BridgeSession::*)(const Json& request);

    NPObject* WindowObject() override;

    Json Hello(const Json& request);
    Json Get(const Json& request);
    Json Set(const Json& request);
    Json Invoke(const Json& request);
    Json Release(const Json& request);
    Json Feed(const Json& request);
    Json Read(const Json& request);
    Json Cancel(const Json& request);

    // Request fields; a missing or mistyped one raises an error naming it.
    NPObject* ObjectField(const Json& request, std::int64_t* handle = nullptr) const;
    static const std::string& StringField(const Json& request, const char* name);
    // Calls `method` of `object`; a refusal raises the plug-in's exception
    // text or a message naming the method.
    Json CallMethod(NPObject* object, const std::string& name, const NPVariant* args, uint32_t count);
    // The same, with the result as the plug-in gave it (the caller releases it).
    void CallVariant(NPObject* object, NPIdentifier id, const std::string& name, const NPVariant* args,
                     uint32_t count, NPVariant& result);
    // Appends the next piece of a result's Base64 text, without its line
    // breaks, to `data`; false at the end (the plug-in answered no text).
    bool ReadPiece(NPObject* object, NPIdentifier id, std::string& data);

    static std::string Answer(const Json& id, const Json& value);

    std::string _pluginPath;
    std::string _loadError;
    std::unique_ptr<PluginLibrary> _library;  // unloaded last
    Browser _browser;
    std::unique_ptr<EmbeddedInstance> _instance;
    ObjectHandles _handles;
    NPObject* _window = nullptr;
    bool _initialised = false;
    std::string _origin;
    std::string _version;
    int _callDepth = 0;
    std::function<void()> _cancel;
    // How far the page has read a result's signed copy: the characters
    // answered, those read from the plug-in but not yet answered, and
    // whether the plug-in came to the end (its next piece is the first).
    struct ReadState {
        std::uint64_t position = 0;
        std::string pending;
        bool ended = false;
    };
    std::map<NPObject*, ReadState> _reads;
    // For ReportTimes.
    std::size_t _messages = 0;
    std::size_t _messageBytes = 0;
    double _parseSeconds = 0;
    double _answerSeconds = 0;

    friend class CallScope;
};
