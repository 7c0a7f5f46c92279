// Leaving the process while a pass runs on another thread of the host.
#pragma once

// Registers the exit handler that cancels a running pass and lets the
// process leave only once every call into the library has returned (or at
// once, with the host's status, when they do not return in time). Exit
// handlers run last-registered first, and the libraries a pass uses register
// handlers of their own on first use (OpenCV's codecs, GDAL behind them, its
// thread pool and video reader; the OpenGL driver for a drawing pass): the
// first call of a kind uses them once, then registers the handler after
// theirs. One or two registrations a call.
void GuardExitDuringPass(bool drawing);

// Uses those libraries once a process, for drawing passes the driver too.
// True when it used any of them for the first time. GetThemeLimitInfo, the
// host's first call, uses OpenCV so, before any pass.
bool UseLibrariesOnce(bool drawing);
