#include <process.h>

#include <memory>
#include <utility>

#include "base/thread.h"

namespace duzavide {
namespace {

unsigned __stdcall ThreadMain(void* body) {
  std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return 0;
}

}  // namespace

UniqueHandle StartThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  const uintptr_t thread = ::_beginthreadex(nullptr, 0, &ThreadMain, owned.get(), 0, nullptr);
  if (thread == 0) return UniqueHandle();
  owned.release();  // the thread owns it now
  return UniqueHandle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace duzavide
