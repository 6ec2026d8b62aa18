// core_hooks.h --
//
//     Controls of kiv_core for the project's tests (offered by the
//     library at load, host_offer.h; nothing of this is exported by the
//     library). They drive the clocks behind the core's deadlines (10 s
//     pool hand-over, 300 s idle workers, stopping threads, the shut-down
//     wait) and the cached seconds clock, make thread starts fail, and
//     read counters that are otherwise internal.

#ifndef KIV_TEST_CORE_HOOKS_H
#define KIV_TEST_CORE_HOOKS_H

// Replaces (true) the monotonic and wall clocks with a driven pair that
// starts at the real values and moves only through kiv_test_clock_advance;
// false returns to the real clocks. Waiters are woken either way. Driving
// clocks that are driven already leaves their time as it is.
void kiv_test_clock_drive(bool on);
// Moves both driven clocks forward and wakes every deadline wait.
// Does nothing while the clocks are real.
void kiv_test_clock_advance(unsigned milliseconds);

// Makes the next `count` thread starts (owner threads and pool workers)
// fail as if the system refused to create a thread.
void kiv_test_fail_thread_starts(unsigned count);

// Returns: the number of live threads started through the core (owner
//     threads and pool workers together).
int kiv_test_threads_count();
// Returns: the current limit on that number.
int kiv_test_worker_limit();
// Returns: the number of pool workers waiting idle for a task.
int kiv_test_idle_workers();

// Opens a shared library by a path holding "/" (never closed), for tests
// of what the script service does with a loaded library.
// Returns: the module handle, or null.
void* kiv_test_open_library(const char* path);

#endif
