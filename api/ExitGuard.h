// Leaving the process while a pass runs on another thread of the host.
#pragma once

// Registers the exit handler that cancels a running pass and lets the
// process leave only once every call into the library has returned (or at
// once, with the host's status, when they do not return in time). Exit
// handlers run last-registered first: call it as a pass begins and again
// once the OpenGL driver, which registers handlers of its own on first use,
// is up.
void GuardExitDuringPass();
