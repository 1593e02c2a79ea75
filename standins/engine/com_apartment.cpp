#include "standins/engine/com_apartment.h"

#include <objbase.h>
#include <windows.h>

namespace duzavide::standin {
namespace {

// The host's own entries into the calling thread's apartment minus its exits;
// meaningful once the thread is watched.
thread_local int t_host_entries = 0;
thread_local bool t_watched = false;

HMODULE ModuleAt(const void* address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCWSTR>(address), &module);
  return module;
}

// Whether the CoInitializeEx or CoUninitialize being reported was called by the
// executable's own code: the first caller on the stack outside this library and
// the COM libraries.
bool CalledByTheExecutable() {
  void* frames[48] = {};
  const WORD count = ::RtlCaptureStackBackTrace(0, 48, frames, nullptr);
  const HMODULE self = ModuleAt(reinterpret_cast<const void*>(&CalledByTheExecutable));
  const HMODULE combase = ::GetModuleHandleW(L"combase.dll");
  const HMODULE ole32 = ::GetModuleHandleW(L"ole32.dll");
  for (WORD i = 0; i < count; ++i) {
    const HMODULE module = ModuleAt(frames[i]);
    if (module == nullptr || module == self || module == combase || module == ole32) continue;
    return module == ::GetModuleHandleW(nullptr);
  }
  return false;
}

class HostApartmentSpy final : public IInitializeSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (id == __uuidof(IUnknown) || id == __uuidof(IInitializeSpy)) {
      *object = static_cast<IInitializeSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override {
    if (SUCCEEDED(result) && CalledByTheExecutable()) ++t_host_entries;
    return result;
  }
  HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD) override {
    if (CalledByTheExecutable()) --t_host_entries;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }
};

}  // namespace

void WatchHostApartment() {
  if (t_watched) return;
  static HostApartmentSpy spy;
  ULARGE_INTEGER cookie{};
  if (FAILED(::CoRegisterInitializeSpy(&spy, &cookie))) return;
  t_watched = true;
  t_host_entries = 1;
}

bool ThreadLacksApartment() {
  APTTYPE type = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  if (FAILED(::CoGetApartmentType(&type, &qualifier))) return true;
  if (qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA) return true;
  return t_watched && t_host_entries <= 0;
}

}  // namespace duzavide::standin
