// The shared library's static objects are never destroyed. A host may leave
// the process with exit() while a pass runs on another of its threads; exit
// handlers would otherwise destroy the log, the encoder thread's objects and
// the effect tables under that pass. Every static object of the library
// registers its destructor through this function, which binds here (it is
// hidden) rather than in the C library, and drops it: the process's end
// frees the memory anyway.
extern "C" int __cxa_atexit(void (*)(void*), void*, void*) { return 0; }
