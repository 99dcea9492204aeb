#include "common/ResLoader.h"

#include <cstdio>
#include <cstring>

#include "common/posix/FilePtr.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

}  // namespace

int ResLoader::Load(const std::string& path) {
    const Util::FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return 0;
    Begin();
    char block[kBlockSize];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) Feed(block, got);
    End();
    return 1;
}

void ResLoader::Parse(const char* data, size_t size) {
    Begin();
    Feed(data, size);
    End();
}

void ResLoader::Begin() {
    _line.assign(kLineBufferSize, '\0');
    _length = 0;
    _skipping = true;  // the first non-blank line is the header
}

void ResLoader::Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (_length == 0 && IsBlank(c)) continue;
        if (IsLineEnd(c)) {
            if (_skipping)
                _skipping = false;
            else
                ProcessLine();
            _length = 0;
            continue;
        }
        if (_length == 0 && c == '#') _skipping = true;
        if (_skipping) {
            // A skipped line still counts as started, so its blanks and a
            // later '#' are not taken for the start of a new line.
            _length = 1;
            continue;
        }
        if (_length < kLineBufferSize - 1)
            _line[_length++] = c;
        else
            _line[kLineBufferSize - 2] = c;  // cut at 4095, keeping the last byte read
    }
}

void ResLoader::End() {
    // A last line without a line end still counts.
    if (_length > 0 && !_skipping) ProcessLine();
    _length = 0;
    _skipping = true;
    std::vector<char>().swap(_line);
}

void ResLoader::ProcessLine() {
    // NUL bytes would cut the line short in C string handling: the line is
    // taken as the bytes collected, up to its first NUL.
    const std::string line(_line.data(), strnlen(_line.data(), _length));
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return;

    std::string key = line.substr(0, eq);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    size_t start = eq + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    const std::string value = line.substr(start);

    int id = 0;
    if (std::sscanf(line.c_str(), "%d", &id) == 1)
        _numbers.emplace(id, value);  // emplace keeps the first definition
    else
        _strings.emplace(key, value);
}

void ResLoader::Get(int id, std::string& text) const {
    const auto it = _numbers.find(id);
    text = it == _numbers.end() ? std::string() : it->second;
}

void ResLoader::Get(const char* key, std::string& text) const {
    const auto it = key ? _strings.find(key) : _strings.end();
    text = it == _strings.end() ? std::string() : it->second;
}
