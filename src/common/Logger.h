#pragma once

#include <cstdarg>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The diagnostic trace: one plain-text file in the user's preferences folder.
// Callers name themselves with SetFunc and log at once; each thread keeps its
// own function name, so a worker thread's SetFunc/Log pair never labels the
// main thread's entry (and the other way round).
class Logger {
public:
    // The process-wide instance over the user's preferences folder.
    static Logger* Get();
    static void Init();
    static void Release();
    // Replaces the process-wide instance with one over another folder (test
    // programs keep their log out of the user's preferences this way).
    static void UseFolder(const std::string& folder);

    // A logger over another folder (tests); it trims and checks the flag
    // file exactly like the process-wide one.
    explicit Logger(const std::string& folder);
    ~Logger() = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void SetFunc(const char* name);
    int Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int LogV(const char* format, va_list args);

    const std::string& FileName() const { return _fileName; }
    bool Enabled() const { return _logFunction == &Logger::DoLog; }

    // home directory (password database) + "/.config/Pendrel/"
    static std::string PreferencesFolder();

    static constexpr long kTrimThreshold = 100000;
    static constexpr long kTrimKeep = 20000;

private:
    using LogFunction = int (Logger::*)(const char*, va_list);
    int DoLog(const char* format, va_list args);
    int DoNotLog(const char* format, va_list args);
    void Trim();
    std::string CurrentFunc();

    LogFunction _logFunction = &Logger::DoLog;
    std::string _fileName;
    std::mutex _mutex;
    std::map<std::thread::id, std::string> _funcs;

    static std::unique_ptr<Logger> _instance;
    static std::mutex _instanceMutex;
};
