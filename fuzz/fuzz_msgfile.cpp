// The message file: read from a file in blocks it gives what the same bytes
// give parsed at once, and every text is one line of bounded length.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "common/MsgLoaderFile.h"
#include "common/ResLoader.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* const text = reinterpret_cast<const char*>(data);
    ResLoader inMemory;
    inMemory.Parse(text, size);
    const std::string path = Fuzz::WriteInput(data, size, "Pendrel.msg");
    ResLoader fromFile;
    FUZZ_CHECK(fromFile.Load(path) == 1);
    MsgLoaderFile loader(path);
    FUZZ_CHECK(loader.Loaded());

    // The ids and keys the lines could define.
    std::set<int> ids;
    std::set<std::string> keys;
    std::size_t start = 0;
    while (start <= size) {
        std::size_t end = start;
        while (end < size && text[end] != '\n' && text[end] != '\r') ++end;
        const std::string line(text + start, end - start);
        int id = 0;
        if (std::sscanf(line.c_str(), "%d", &id) == 1) ids.insert(id);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            std::string key = line.substr(0, eq);
            const std::size_t first = key.find_first_not_of(" \t\r\n");
            key = first == std::string::npos ? std::string() : key.substr(first);
            while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
            keys.insert(key);
        }
        start = end + 1;
    }

    for (const int id : ids) {
        std::string a, b, c;
        inMemory.Get(id, a);
        fromFile.Get(id, b);
        FUZZ_CHECK(a == b);
        FUZZ_CHECK(a.size() < ResLoader::kLineBufferSize);
        FUZZ_CHECK(a.find_first_of("\r\n") == std::string::npos);
        loader.LoadMessage(id, 0, c);
        FUZZ_CHECK(c == (a.empty() ? "??? " : a));
    }
    for (const std::string& key : keys) {
        std::string a, b;
        inMemory.Get(key.c_str(), a);
        fromFile.Get(key.c_str(), b);
        FUZZ_CHECK(a == b);
    }
    std::remove(path.c_str());
    return 0;
}
