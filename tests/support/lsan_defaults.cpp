// lsan_defaults.cpp --
//
//     The leak checker's built-in suppressions for every test program
//     linked with the test support library (the sanitizer runtime asks
//     the program for them at start; file suppressions add to them).
//
//     glibc keeps a thread's last dlerror text in a block of its own,
//     freed as the thread ends. A pool worker whose Tcl interpreter
//     looked up optional entry points with `load` leaves such a block;
//     when the process ends while that worker is still on its way out,
//     the block is no longer reachable from any live thread and is
//     reported, although nothing of ours leaked.

extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:_dlerror_run\n";
}
