// Starts detached worker threads for the monitors and the launcher.
#pragma once

#include <functional>

// Runs `body` on a new thread that nobody joins. The body owns whatever it
// captured (the monitors capture a shared reference to the plug-in state).
// False when the platform could not create the thread, or the thread could
// not hold this library; the body is then destroyed without running.
bool StartDetachedThread(std::function<void()> body);
