// The library's static objects are never destroyed. A host may leave the
// process with exit() while a pass runs on another of its threads; exit
// handlers would otherwise destroy the log, the encoder thread's objects and
// the effect tables under that pass. Every static object of the library
// registers its destructor through this function, which drops it: the
// process's end frees the memory anyway. In the shared library it binds
// here (it is hidden) rather than in the C library; the static library's
// objects have their calls renamed to it when the archive is built.
#ifdef REELKA_BUILDING_SHARED
extern "C" int __cxa_atexit(void (*)(void*), void*, void*) { return 0; }
#else
extern "C" int reelka_keep_static_objects(void (*)(void*), void*, void*) { return 0; }
#endif
