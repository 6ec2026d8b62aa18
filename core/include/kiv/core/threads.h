// threads.h --
//
//     Threads of the framework. Long-lived threads belong to an owner
//     object derived from thread_creator (the core, the event service,
//     the socket service, ...); short tasks run on the pool of background
//     workers through kiv_bg_thread. All of them are Tcl threads, so each
//     may own a script engine, and all of them count towards one
//     process-wide number that kiv_terminate waits for. Pool workers are
//     started only while that number is below KIV_MAX_THREADS_COUNT
//     (default 150; 10 or less is ignored).
//
//     No thread starts before the core's library entry has run.

#ifndef KIV_CORE_THREADS_H
#define KIV_CORE_THREADS_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class KIV_EXPORT thread_creator : public virtual i_object {
public:
    // A member function of the owner that a thread runs; it should
    // return once thread_running() turns false.
    typedef void (thread_creator::*thread_function)(void* arg);

    // The record handed to a new thread; made by create_thread, freed by
    // the thread.
    struct thread_info {
        thread_creator* owner;     // runs `function`; not owned
        thread_function function;
        void* arg;                 // passed through; not owned
    };

    thread_creator();
    thread_creator(const thread_creator&) = delete;
    thread_creator& operator=(const thread_creator&) = delete;
    // Does not stop threads: an owner stops them (stop_threads) before
    // it goes away.
    virtual ~thread_creator();

    // Starts a Tcl thread running owner->*function(arg) and clears the
    // owner's stop flag (a null owner means this object).
    // Returns: false before the core's library entry has run, or when the
    //     system refused the thread (nothing is left counted then).
    // Any thread.
    bool create_thread(thread_creator* owner, thread_function function, void* arg);
    // Returns: true until stop_threads or enable_auto_delete_thread is
    //     called. Owner threads test it on every pass.
    bool thread_running();
    // Asks this owner's threads to stop and waits until none runs, at
    // most `timeout` seconds on the monotonic clock.
    // Returns: true when none runs; false when some are still running
    //     (they go on). Must not be called from one of those threads.
    bool stop_threads(unsigned timeout);
    // Returns: the number of this owner's threads still running.
    unsigned get_threads_count();
    // From now on thread_running() is false; when the thread whose system
    // id is `thread_id` ends, it stops the others and deletes the owner.
    void enable_auto_delete_thread(unsigned long thread_id);

protected:
    // Sleeps up to `ms` milliseconds, ending early when a stop is asked.
    // Returns: thread_running() afterwards. For the loops of owner threads.
    bool pause_thread(unsigned ms);

private:
    struct state;
    // Runs the thread's function; `presence` is the thread's place on the
    // process-wide count (thread_start.h), given up before the owner
    // learns that the thread is done.
    static void start_thread(thread_info* info, void* presence);
    static void thread_main(void* info);

    state* state_;  // owned; counts, stop flag and their lock
};

}  // namespace kiv

// A pool task: `running` is false when the task runs on the caller's
// thread instead of a worker (the core is not running, or no worker
// could take it); `data` is then the caller's own buffer, which the task
// must leave to the caller. On a worker, `data` is a private copy the
// pool frees after the task (null when the caller passed null).
typedef void (*kiv_task_function)(bool running, void* data, unsigned size);

// Runs `task` on a pool worker with a private copy of `size` bytes at
// `data`. An idle worker is reused first (the one idle longest); else a
// new worker starts while the thread limit allows; else the caller waits
// up to 10 seconds for a worker and then runs the task itself with
// running false. Never loses a task: before the core's library entry,
// after shut-down began, or when memory or the system fail, the task runs
// at once on the caller with running false. A null task does nothing.
// Any thread.
KIV_EXTERN_C void kiv_bg_thread(kiv_task_function task, void* data, unsigned size);

// Like kiv_bg_thread, but never waits and never runs the task on the
// caller: true when `task` went to a worker (an idle one, else a new one
// while the thread limit allows) with its private copy of the data;
// false when it did not run and never will (no worker idle at the thread
// limit, a null task, before the core's library entry, after shut-down
// began, or when memory or the system fail); the caller then still owns
// what `data` points to. For threads that must not block, such as one
// serving many sockets. Any thread.
KIV_EXTERN_C bool kiv_bg_thread_try(kiv_task_function task, void* data, unsigned size);

#endif
