#pragma once

#include <string>
#include <vector>

#include "common/posix/FilePtr.h"

namespace PDF {

// Names the working files in the temporary folder ("PDFF%04d.pdf"), keeps a
// registry of the names its callers register, and at its creation removes
// stale working files of earlier runs.
class FileManager {
public:
    // The process-wide manager over TempDirectory(); created (and sweeping)
    // on first use, never destroyed.
    static FileManager* Instance();

    // A manager over another folder (tests). Sweeps it at once.
    explicit FileManager(const std::string& directory);
    // Deletes every registered file.
    virtual ~FileManager();
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    // The first free name, or empty when all are taken. Neither creates nor
    // registers the file: create it through CreateNew.
    // Virtual so that a test can take a name away between choosing and creating it.
    virtual std::string GenerateFileName() const;
    void Register(const std::string& path) { _files.push_back(path); }
    const std::vector<std::string>& Files() const { return _files; }
    const std::string& Directory() const { return _dir; }

    // The only way a working file is created: exclusive creation, no link
    // following, mode 0600, open for reading and writing (the sign operation
    // reads back the bytes it signs). Null if the path exists in any form (a planted
    // file or link is never written through) or cannot be created.
    static Util::FilePtr CreateNew(const std::string& path);

    // $TMPDIR when set, else "/tmp/"; always ends in '/'.
    static std::string TempDirectory();

    static constexpr int kHighestCounter = 100000;
    static constexpr long kMaxAgeSeconds = 36000;

private:
    void Sweep() const;

    std::string _dir;
    std::vector<std::string> _files;
    static FileManager* _inst;
};

}  // namespace PDF
