#pragma once

#include <string>
#include <vector>

// The web origins the user allowed to sign for good: one origin a line in
// the file (by default ~/.config/Pendrel/allowed-origins; blank lines and
// lines starting with '#' are skipped). PENDREL_ALLOWED_ORIGINS, when set,
// takes the file's place for reading (origins separated by blanks or line
// breaks); PENDREL_ALLOWED_ORIGINS_FILE names another file. Entries are
// compared as origins ("HTTPS://Shop.Example:443" is "https://shop.example");
// only http and https origins can be allowed.
class AllowedOrigins {
public:
    static bool Contains(const std::string& origin);
    // Adds the origin to the file: the new list is written whole beside it
    // (mode 0600, the folder made when missing) and renamed over it, so the
    // file is never left half-written. False, and nothing changed, when the
    // origin cannot be allowed or the file cannot be written.
    static bool Add(const std::string& origin);
    static std::string FilePath();
    // The origins listed in text, in order, each normalised; unusable
    // entries are dropped.
    static std::vector<std::string> Parse(const std::string& text);
};
