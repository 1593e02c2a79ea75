// Whether the engine's platform thread is still in the COM apartment the host
// entered for it.
//
// The engine keeps COM objects on its platform thread, so the host must keep that
// thread in its apartment until it has ended the engine (and its view
// controller). CoGetApartmentType alone cannot always tell: system code on the
// thread (the input method, for one) may hold the apartment open after the
// host's own CoUninitialize, and a host that leaves too early would then pass
// here and break where nothing else holds it. The stand-in therefore also watches
// the platform thread's CoInitializeEx and CoUninitialize calls (an initialize
// spy) and counts those that the executable itself makes.
#ifndef STANDINS_ENGINE_COM_APARTMENT_H_
#define STANDINS_ENGINE_COM_APARTMENT_H_

namespace duzavide::standin {

// Starts watching the calling thread, once per thread. The host counts as having
// entered the apartment once, as it does before it creates an engine.
void WatchHostApartment();

// True when the calling thread has no COM apartment of its own: CoGetApartmentType
// fails, reports only the process's implicit multithreaded apartment, or the
// watched host has left the apartment it entered.
bool ThreadLacksApartment();

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_COM_APARTMENT_H_
