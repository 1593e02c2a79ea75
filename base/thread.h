// Starting a thread of the host's own: the one way every subsystem does it.
#ifndef BASE_THREAD_H_
#define BASE_THREAD_H_

#include <functional>

#include "base/win_handles.h"

namespace duzavide {

// Starts a thread that runs `body` (with the C runtime set up for it) and returns
// its handle, which the caller owns and may wait on. Whatever `body` captures is
// destroyed on that thread when `body` returns. An empty handle means no thread
// was started; `body` is then destroyed unrun, on the calling thread.
UniqueHandle StartThread(std::function<void()> body);

}  // namespace duzavide

#endif  // BASE_THREAD_H_
