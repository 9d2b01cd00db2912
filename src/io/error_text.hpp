#pragma once

#include <cstring>
#include <string>

namespace asfinspect::io {

// The system's text for an errno value, as strerror gives it, but safe to
// call from any thread: strerror may hand every caller the same buffer.
// strerror_r comes in two forms (GNU returns the text, POSIX fills the
// buffer); the overloads take whichever the C library declares.
inline std::string error_text(int errnum) {
    char buffer[256] = {};
    struct Pick {
        static const char* text(const char* gnu, const char* /*buffer*/) { return gnu; }
        static const char* text(int /*posix*/, const char* buffer) { return buffer; }
    };
    const char* text = Pick::text(::strerror_r(errnum, buffer, sizeof buffer), buffer);
    return text != nullptr && *text != '\0' ? std::string(text) : "error " + std::to_string(errnum);
}

}  // namespace asfinspect::io
