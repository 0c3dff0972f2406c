#pragma once

// Carries work from any thread to the GUI thread: a call from another thread
// is sent (SendMessage) to the runtime's call window, which the GUI thread
// owns, and returns once the GUI thread has run it. On the GUI thread, or
// before the call window exists, the work runs at once.

#include <type_traits>

// On the GUI thread, once: creates the message-only call window.
void CreateGuiCallWindow();

void RunOnGuiThread(void (*work)(void* context), void* context);

template <typename Work>
void RunOnGuiThread(Work&& work) {
  using WorkType = std::remove_reference_t<Work>;
  RunOnGuiThread([](void* context) { (*static_cast<WorkType*>(context))(); },
                 const_cast<void*>(static_cast<const void*>(&work)));
}

bool OnGuiThreadNow();
