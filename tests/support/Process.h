#pragma once

#include <string>
#include <vector>

namespace TestSupport {

// Runs a program (found on PATH, no shell) and waits for it. Its standard
// output and error are collected into output when given, else discarded.
// The exit status, or -1 when it could not run or was killed.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

}  // namespace TestSupport
