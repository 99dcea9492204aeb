#pragma once

#include <string>

namespace TestSupport {

// A scratch folder under $TMPDIR (or /tmp), removed with its contents when
// the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return _path; }
    // Path of a file inside the folder.
    std::string File(const std::string& name) const { return _path + "/" + name; }

private:
    std::string _path;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Sets a file's modification time to `secondsAgo` before now.
void SetAge(const std::string& path, long secondsAgo);

}  // namespace TestSupport
