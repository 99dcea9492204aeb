#pragma once

#include <map>
#include <string>
#include <vector>

// Line-oriented key/value parser of the message file. The first non-blank
// line is a header and is never loaded; '#' starts a comment line; a line is
// "key = value", the key numeric when it starts with a decimal integer.
class ResLoader {
public:
    // 1 if the file could be opened (and was parsed), 0 if not.
    int Load(const std::string& path);
    // Parses bytes already in memory, exactly as Load parses a file.
    void Parse(const char* data, size_t size);

    void Get(int id, std::string& text) const;
    void Get(const char* key, std::string& text) const;

    static constexpr size_t kLineBufferSize = 4096;
    static constexpr size_t kBlockSize = 513;

private:
    void Begin();
    void Feed(const char* data, size_t size);
    void End();
    void ProcessLine();

    std::vector<char> _line;
    size_t _length = 0;
    bool _skipping = true;
    std::map<std::string, std::string> _strings;
    std::map<int, std::string> _numbers;
};
