// The path of this process's executable file.
#ifndef BASE_EXECUTABLE_PATH_H_
#define BASE_EXECUTABLE_PATH_H_

#include <string>

namespace duzavide {

// The full path the system loaded this process's executable from; "" when it
// cannot be read. Any thread.
std::wstring ExecutablePath();

}  // namespace duzavide

#endif  // BASE_EXECUTABLE_PATH_H_
