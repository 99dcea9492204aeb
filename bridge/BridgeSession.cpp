#include "bridge/BridgeSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "bridge/JsonVariant.h"
#include "bridge/MessageParser.h"
#include "npbrowser/LocationWindow.h"
#include "npbrowser/OwnedVariants.h"
#include "npbrowser/ProgramName.h"

namespace {

// A request the bridge refuses: the text goes to the page.
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Arguments of a call: strings point into the request, nothing to release.
struct Arguments {
    std::vector<NPVariant> values;
};

const char* const kReadMethod = "readStreamData";

// An error text as it goes into an answer: names and values the page sent
// may be long, and an answer must stay small.
std::string Clipped(const std::string& text) {
    constexpr std::size_t kMax = 2048;
    if (text.size() <= kMax) return text;
    std::size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // a whole character
    return text.substr(0, cut) + "...";
}

}  // namespace

// Marks a call into the plug-in for its whole duration.
class CallScope {
public:
    explicit CallScope(BridgeSession& session) : _session(session) { ++_session._callDepth; }
    ~CallScope() { --_session._callDepth; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    BridgeSession& _session;
};

BridgeSession::BridgeSession(std::string pluginPath)
    : _pluginPath(std::move(pluginPath)), _browser(BrowserOptions{}), _handles(_browser.Objects()) {
    _browser.SetPage(this);
}

BridgeSession::~BridgeSession() {
    Close();
    _browser.SetPage(nullptr);
}

bool BridgeSession::Start() {
    auto library = std::make_unique<PluginLibrary>();
    std::string error;
    if (!library->Load(_pluginPath, error)) {
        _loadError = error;
        return false;
    }
    NPNetscapeFuncs table = Browser::FunctionTable();
    const NPError rc = library->Initialize(&table);
    if (rc != NPERR_NO_ERROR) {
        _loadError = "NP_Initialize answered " + std::to_string(rc);
        return false;
    }
    _library = std::move(library);
    _initialised = true;
    return true;
}

void BridgeSession::Close(bool reportLeaks) {
    _reads.clear();
    _handles.ReleaseAll();
    if (_window != nullptr) {
        _browser.Objects().Release(_window);
        _window = nullptr;
    }
    _browser.RunAsyncCalls();
    if (_instance) {
        _instance->Destroy();
        _instance.reset();
    }
    if (_initialised) {
        _library->Shutdown();
        _initialised = false;
    }
    if (reportLeaks) {
        const auto leaks = _browser.Objects().Leaks();
        for (const auto& leak : leaks) {
            std::fprintf(stderr, "%s: leaked object %p, reference count %u\n", ProgramName::Get(),
                         static_cast<const void*>(leak.object), leak.count);
        }
        std::fprintf(stderr, "%s: %zu leaked object(s)\n", ProgramName::Get(), leaks.size());
    }
}

void BridgeSession::ReportTimes() const {
    std::fprintf(
        stderr,
        "%s: time parsing %zu messages (%.1f MB): %.3f s; in the plug-in's calls and the answers: %.3f s\n",
        ProgramName::Get(), _messages, static_cast<double>(_messageBytes) / 1e6, _parseSeconds,
        _answerSeconds);
}

NPObject* BridgeSession::WindowObject() {
    if (_window == nullptr)
        _window = LocationWindow::Create(_browser.Objects(), _browser.Instance(), _origin);
    return _window != nullptr ? _browser.Objects().Retain(_window) : nullptr;
}

std::string BridgeSession::Answer(const Json& id, const Json& value) {
    Json answer = {{"id", id}, {"ok", true}, {"value", value}};
    // Text from the plug-in that is not UTF-8 is written with U+FFFD.
    std::string text = answer.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() > 1024 * 1024) {
        Json refused = {{"id", id}, {"ok", false}, {"error", "the answer would be larger than 1 MiB"}};
        return refused.dump();
    }
    return text;
}

std::string BridgeSession::ErrorAnswer(const std::string& error) {
    return Json{{"id", nullptr}, {"ok", false}, {"error", Clipped(error)}}.dump(
        -1, ' ', false, Json::error_handler_t::replace);
}

std::string BridgeSession::Handle(const std::string& message) {
    Json id = nullptr;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    ++_messages;
    _messageBytes += message.size();
    try {
        Json request = MessageParser::Parse(message);
        const Clock::time_point parsed = Clock::now();
        _parseSeconds += std::chrono::duration<double>(parsed - start).count();
        // The time of the answer, however it ends.
        struct Timer {
            double& total;
            Clock::time_point from;
            ~Timer() { total += std::chrono::duration<double>(Clock::now() - from).count(); }
        } timer{_answerSeconds, parsed};
        if (request.is_discarded()) return ErrorAnswer("the message is not valid JSON");
        if (!request.is_object()) return ErrorAnswer("a message must be a JSON object");
        const auto idField = request.find("id");
        if (idField == request.end() || !idField->is_number_integer())
            return ErrorAnswer("a message needs an integer id");
        id = *idField;
        const std::string& op = StringField(request, "op");
        const std::string& origin = StringField(request, "origin");
        if (origin.empty()) throw Refused("a message needs an origin");
        if (_origin.empty()) {
            if (op != "hello") throw Refused("the first message must be hello");
            _origin = origin;
        } else if (origin != _origin) {
            throw Refused("refused: this connection belongs to " + _origin + ", not " + origin);
        }
        static const std::map<std::string, Op> ops = {
            {"hello", &BridgeSession::Hello},     {"get", &BridgeSession::Get},
            {"set", &BridgeSession::Set},         {"invoke", &BridgeSession::Invoke},
            {"release", &BridgeSession::Release}, {"feed", &BridgeSession::Feed},
            {"read", &BridgeSession::Read},       {"cancel", &BridgeSession::Cancel},
        };
        const auto found = ops.find(op);
        if (found == ops.end()) throw Refused("unknown op \"" + op + "\"");
        // A modal window of the plug-in is open: its loop is what runs this.
        if (InCall() && op != "cancel") throw Refused("busy");
        const Json value = (this->*(found->second))(request);
        _browser.RunAsyncCalls();
        return Answer(id, value);
    } catch (const std::exception& e) {
        return Json{{"id", id}, {"ok", false}, {"error", Clipped(e.what())}}.dump(
            -1, ' ', false, Json::error_handler_t::replace);
    }
}

const std::string& BridgeSession::StringField(const Json& request, const char* name) {
    const auto field = request.find(name);
    if (field == request.end() || !field->is_string())
        throw Refused(std::string("the message needs a string \"") + name + "\"");
    return field->get_ref<const std::string&>();
}

NPObject* BridgeSession::ObjectField(const Json& request, std::int64_t* handle) const {
    const auto field = request.find("object");
    if (field == request.end() || !field->is_number_integer())
        throw Refused("the message needs an integer \"object\"");
    NPObject* object = _handles.Find(field->get<std::int64_t>());
    if (object == nullptr) throw Refused("no object " + field->dump());
    if (handle != nullptr) *handle = field->get<std::int64_t>();
    return object;
}

void BridgeSession::CallVariant(NPObject* object, NPIdentifier id, const std::string& name,
                                const NPVariant* args, uint32_t count, NPVariant& result) {
    std::string stale;  // an exception set outside any call is not this call's
    _browser.TakeException(stale);
    VOID_TO_NPVARIANT(result);
    bool ok = false;
    {
        const CallScope call(*this);
        ok = object->_class->invoke != nullptr && object->_class->invoke(object, id, args, count, &result);
    }
    if (const std::string failure = _browser.CallFailure(ok, "calling method", name); !failure.empty()) {
        Browser::ReleaseVariant(result);
        throw Refused(failure);
    }
}

BridgeSession::Json BridgeSession::CallMethod(NPObject* object, const std::string& name,
                                              const NPVariant* args, uint32_t count) {
    NPVariant result;
    CallVariant(object, _browser.Identifiers().ForKey(name), name, args, count, result);
    return JsonVariant::FromVariant(result, _handles);
}

BridgeSession::Json BridgeSession::Hello(const Json&) {
    if (!_initialised) throw Refused("the plug-in cannot be used: " + _loadError);
    if (!_instance) {
        auto instance = std::make_unique<EmbeddedInstance>(*_library, _browser);
        const CallScope call(*this);
        const NPError rc = instance->Create("application/pendrelpdf");
        if (rc != NPERR_NO_ERROR) throw Refused("NPP_New answered " + std::to_string(rc));
        _instance = std::move(instance);
    }
    NPError rc = NPERR_NO_ERROR;
    NPObject* scriptable = nullptr;
    {
        const CallScope call(*this);
        scriptable = _instance->Scriptable(rc);
    }
    if (scriptable == nullptr)
        throw Refused("the plug-in offers no scriptable object (NPP_GetValue answered " + std::to_string(rc) +
                      ")");
    const std::int64_t handle = _handles.Adopt(scriptable);
    if (_version.empty()) {
        const NPIdentifier id = _browser.Identifiers().String("versionNumber");
        NPVariant version;
        VOID_TO_NPVARIANT(version);
        const CallScope call(*this);
        NPClass* cls = scriptable->_class;
        if (cls->hasProperty != nullptr && cls->hasProperty(scriptable, id) && cls->getProperty != nullptr &&
            cls->getProperty(scriptable, id, &version) && NPVARIANT_IS_STRING(version)) {
            _version.assign(version.value.stringValue.UTF8Characters, version.value.stringValue.UTF8Length);
        }
        Browser::ReleaseVariant(version);
        std::string ignored;
        _browser.TakeException(ignored);
    }
    return Json{{"plugin", {{"$object", handle}}}, {"version", _version}};
}

BridgeSession::Json BridgeSession::Get(const Json& request) {
    NPObject* object = ObjectField(request);
    const std::string& name = StringField(request, "name");
    const NPIdentifier id = _browser.Identifiers().ForKey(name);
    std::string ignored;
    _browser.TakeException(ignored);
    NPClass* cls = object->_class;
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    bool has = false;
    bool ok = false;
    {
        const CallScope call(*this);
        has = cls->hasProperty != nullptr && cls->hasProperty(object, id);
        ok = has && cls->getProperty != nullptr && cls->getProperty(object, id, &result);
    }
    if (!has) {
        // As a page's script sees it: a name the object has no property for is undefined.
        _browser.TakeException(ignored);
        return Json{{"$void", true}};
    }
    if (const std::string failure = _browser.CallFailure(ok, "reading property", name); !failure.empty()) {
        Browser::ReleaseVariant(result);
        throw Refused(failure);
    }
    return JsonVariant::FromVariant(result, _handles);
}

BridgeSession::Json BridgeSession::Set(const Json& request) {
    NPObject* object = ObjectField(request);
    const std::string& name = StringField(request, "name");
    const auto field = request.find("value");
    if (field == request.end()) throw Refused("the message needs a \"value\"");
    NPVariant value;
    std::string error;
    if (!JsonVariant::ToVariant(*field, _handles, value, error))
        throw Refused("setting property '" + name + "': " + error);
    const NPIdentifier id = _browser.Identifiers().ForKey(name);
    std::string ignored;
    _browser.TakeException(ignored);
    NPClass* cls = object->_class;
    bool has = false;
    bool ok = false;
    {
        const CallScope call(*this);
        has = cls->hasProperty != nullptr && cls->hasProperty(object, id);
        ok = has && cls->setProperty != nullptr && cls->setProperty(object, id, &value);
    }
    if (!has) {
        _browser.TakeException(ignored);
        throw Refused("a plug-in object has no property '" + name + "' to set");
    }
    if (const std::string failure = _browser.CallFailure(ok, "setting property", name); !failure.empty())
        throw Refused(failure);
    return true;
}

BridgeSession::Json BridgeSession::Invoke(const Json& request) {
    NPObject* object = ObjectField(request);
    const std::string& name = StringField(request, "name");
    static const Json kNoArgs = Json::array();
    const auto field = request.find("args");
    const Json& args = field != request.end() ? *field : kNoArgs;
    if (!args.is_array()) throw Refused("\"args\" must be an array");
    std::vector<NPVariant> values(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (!JsonVariant::ToVariant(args[i], _handles, values[i], error))
            throw Refused("calling method '" + name + "': argument " + std::to_string(i + 1) + ": " + error);
    }
    return CallMethod(object, name, values.data(), static_cast<uint32_t>(values.size()));
}

BridgeSession::Json BridgeSession::Release(const Json& request) {
    std::int64_t handle = 0;
    NPObject* object = ObjectField(request, &handle);
    _reads.erase(object);
    _handles.Release(handle);
    return true;
}

BridgeSession::Json BridgeSession::Feed(const Json& request) {
    NPObject* object = ObjectField(request);
    const std::string& data = StringField(request, "data");
    if (data.size() > kMaxFeed) throw Refused("a feed message holds at most 4 MiB of Base64 text");
    NPVariant text;
    STRINGN_TO_NPVARIANT(data.data(), static_cast<uint32_t>(data.size()), text);
    return CallMethod(object, "feedBase64Data", &text, 1);
}

bool BridgeSession::ReadPiece(NPObject* object, NPIdentifier id, std::string& data) {
    OwnedVariants piece(1);
    CallVariant(object, id, kReadMethod, nullptr, 0, piece[0]);
    if (!NPVARIANT_IS_STRING(piece[0])) throw Refused("readStreamData did not answer text");
    const NPString& text = piece[0].value.stringValue;
    if (text.UTF8Length == 0) return false;
    // The pieces come with line breaks; the answer is plain Base64.
    const std::size_t at = data.size();
    data.resize(at + text.UTF8Length);
    const auto end = std::remove_copy_if(text.UTF8Characters, text.UTF8Characters + text.UTF8Length,
                                         data.begin() + static_cast<std::ptrdiff_t>(at),
                                         [](char c) { return c == '\n' || c == '\r'; });
    data.resize(static_cast<std::size_t>(end - data.begin()));
    return true;
}

BridgeSession::Json BridgeSession::Read(const Json& request) {
    NPObject* object = ObjectField(request);
    std::size_t size = kMaxRead;
    if (const auto field = request.find("size"); field != request.end()) {
        if (!field->is_number_integer() || field->get<std::int64_t>() < 4 ||
            field->get<std::int64_t>() > static_cast<std::int64_t>(kMaxRead) ||
            field->get<std::int64_t>() % 4 != 0)
            throw Refused("\"size\" must be a multiple of 4 from 4 to " + std::to_string(kMaxRead));
        size = field->get<std::size_t>();
    }
    const NPIdentifier id = _browser.Identifiers().ForKey(kReadMethod);
    ReadState& state = _reads[object];
    const std::uint64_t total = state.position + state.pending.size();  // the whole text once ended
    if (const auto field = request.find("offset"); field == request.end()) {
        // The next piece; after the end, the copy again from its start.
        if (state.ended && state.pending.empty()) state = ReadState{};
    } else {
        if (!field->is_number_integer() || field->get<std::int64_t>() < 0)
            throw Refused("\"offset\" must be a whole number of characters");
        const auto offset = field->get<std::uint64_t>();
        if (offset == 0 && state.position > 0) {
            // The copy again from its start: the plug-in starts over only after its end.
            try {
                std::string rest;
                while (!state.ended && ReadPiece(object, id, rest)) rest.clear();
            } catch (...) {
                _reads.erase(object);
                throw;
            }
            state = ReadState{};
        } else if (state.ended && offset >= total) {
            // Past the end, as reads sent ahead of the answers reach it.
            return Json{{"data", ""}, {"done", true}};
        } else if (offset != state.position) {
            throw Refused("the signed document is read in order: the next piece starts at character " +
                          std::to_string(state.position) + ", not " + std::to_string(offset));
        }
    }
    std::string data;
    data.swap(state.pending);
    try {
        data.reserve(size + 2048);
        while (!state.ended && data.size() < size) state.ended = !ReadPiece(object, id, data);
    } catch (...) {
        // What was read is lost with the call: the next read starts over.
        _reads.erase(object);
        throw;
    }
    // Whole groups of exactly `size` characters but at the end, so that
    // each answer decodes by itself and pieces read ahead know where they start.
    const bool done = state.ended && data.size() <= size;
    if (data.size() > size) {
        state.pending.assign(data, size, std::string::npos);
        data.resize(size);
    }
    state.position += data.size();
    return Json{{"data", std::move(data)}, {"done", done}};
}

BridgeSession::Json BridgeSession::Cancel(const Json&) {
    CancelWindows();
    return true;
}
