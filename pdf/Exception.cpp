#include "pdf/Exception.h"

#include "common/Logger.h"

namespace PDF {

Exception::Exception(int code, const char* text) : std::runtime_error(text ? text : ""), _code(code) {
    Logger::Get()->SetFunc("Exception");
    Logger::Get()->Log("PDF Exception %d (%s)", code, what());
}

Exception::Exception(int code) : Exception(code, Code::TextOf(code)) {}

Exception::Exception(const char* text) : std::runtime_error(text ? text : ""), _code(Code::kLibraryCall) {
    Logger::Get()->SetFunc("Exception");
    Logger::Get()->Log("PDF Exception %s ", what());
}

}  // namespace PDF
