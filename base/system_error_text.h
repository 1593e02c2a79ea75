// The system's own words for an error code, for status lines.
#ifndef BASE_SYSTEM_ERROR_TEXT_H_
#define BASE_SYSTEM_ERROR_TEXT_H_

#include <string>

namespace duzavide {

// "<the system's message> (error <code>)" in UTF-8, on one line without a final
// full stop; "error <code>" alone when the system has no message for it. Works
// for the codes of GetLastError and of Windows Sockets.
std::string SystemErrorText(unsigned long code);

// SystemErrorText of the calling thread's last error (GetLastError).
std::string LastSystemErrorText();

}  // namespace duzavide

#endif  // BASE_SYSTEM_ERROR_TEXT_H_
