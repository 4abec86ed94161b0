// A module of its own for the handle-verifier tests: it carries its own copy
// of the verifier code, as the installer's DLL does, and must use the
// verifier that the main executable exports rather than one of its own.

#include <windows.h>

#include "base/win/handle_verifier.h"
#include "base/win/scoped_handle.h"

namespace {

// Owned here, so that its handle is registered by this module's code.
base::win::ScopedHandle* g_owned_event = nullptr;

}  // namespace

extern "C" __declspec(dllexport) void* GetModuleActiveVerifier() {
  return base::win::GetActiveHandleVerifier();
}

// Opens an event owned by a scoped handle of this module; returns the raw
// handle, which stays owned here until CloseModuleOwnedEvent.
extern "C" __declspec(dllexport) HANDLE OpenModuleOwnedEvent() {
  if (!g_owned_event)
    g_owned_event = new base::win::ScopedHandle();
  g_owned_event->Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return g_owned_event->Get();
}

extern "C" __declspec(dllexport) void CloseModuleOwnedEvent() {
  if (g_owned_event)
    g_owned_event->Close();
}

// The scoped handle that owns the event, as registered with the verifier.
extern "C" __declspec(dllexport) const void* GetModuleEventOwner() {
  return g_owned_event;
}
