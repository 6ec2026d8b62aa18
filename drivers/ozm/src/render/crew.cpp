// crew.cpp --
//
//     The crew of an image. A share is a job object published under the
//     crew's mutex with a new generation number; members watch the number
//     (spinning, then on the condition variable), take the job by
//     reference and claim its items from a counter. The caller claims
//     items too, then waits (spinning, then on the job's own condition)
//     until the items it did not do are done. A member holding an older
//     job finds its counter past the end and claims nothing, so the
//     caller's function is only ever called for items of the current
//     share, before share returns.

#include "render/crew.h"

#include <kiv/core/i_core.h>
#include <kiv/core/process.h>
#include <kiv/core/threads.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>


namespace kiv {
namespace ozm {

unsigned cpu_count() {
    static const unsigned n = kiv_usable_cpus();
    return n;
}

namespace {

// How long a member or the caller spins before it sleeps: shares of one
// image follow each other closely, and waking a sleeping thread costs
// about as long as a share's work.
const std::chrono::microseconds spin_time(300);
// How long a member waits asleep for the next share before it goes back
// to the pool: the images of a view drawn one after another keep their
// members.
const std::chrono::milliseconds idle_time(50);

// A pause for a spinning loop: tells the CPU that the loop waits.
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

struct job {
    const std::function<void(int)>* item = nullptr;  // the caller's; only for claimed items
    int items = 0;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::mutex lock;
    std::condition_variable finished;
    bool sleeping = false;  // the caller waits on `finished`; under `lock`

    void work() {
        int mine = 0;
        for (int i; (i = next.fetch_add(1, std::memory_order_relaxed)) < items; ++mine)
            (*item)(i);
        if (mine == 0)
            return;
        if (done.fetch_add(mine, std::memory_order_acq_rel) + mine == items) {
            std::lock_guard<std::mutex> guard(lock);
            if (sleeping)
                finished.notify_all();
        }
    }
};

// Spins until pred() holds or spin_time passed: on the CPU at first
// (a pause between looks, no system call), then giving the CPU to other
// threads between looks, so a spinning member does not keep a busy
// machine's work waiting.
template <class Pred>
bool spin(Pred pred) {
    const auto start = std::chrono::steady_clock::now();
    const auto yield_from = start + spin_time / 6, until = start + spin_time;
    bool yielding = false;
    for (unsigned n = 1;; ++n) {
        if (pred())
            return true;
        if ((n & 63) == 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now > until)
                return pred();
            yielding = now > yield_from;
        }
        if (yielding)
            std::this_thread::yield();
        else
            relax();
    }
}

}  // namespace

struct crew::state {
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<uint64_t> generation{0};  // of `current`; changed under `lock`
    std::atomic<bool> ending{false};      // set under `lock`
    std::shared_ptr<job> current;         // under `lock`
    unsigned members = 0;                 // asked and not yet gone; under `lock`

    // A member's life: every new job until the end, or until none came
    // for idle_time.
    void serve() {
        uint64_t seen = 0;  // a member asked for a share takes it at once
        for (;;) {
            // Shut-down of the core sends members back too: kiv_terminate
            // waits for every pool worker.
            auto news = [&] {
                return ending.load(std::memory_order_acquire) || !kiv_is_running() ||
                       generation.load(std::memory_order_acquire) != seen;
            };
            std::shared_ptr<job> j;
            if (!spin(news)) {
                std::unique_lock<std::mutex> guard(lock);
                if (!changed.wait_for(guard, idle_time, news)) {
                    --members;
                    return;
                }
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                if (ending.load(std::memory_order_relaxed) || !kiv_is_running()) {
                    --members;
                    return;
                }
                seen = generation.load(std::memory_order_relaxed);
                j = current;
            }
            if (j)
                j->work();
        }
    }
};

namespace {

// The pool task of a member: `data` holds a pointer to its own reference
// to the crew's state.
void serve(bool running, void* data, unsigned) {
    std::unique_ptr<std::shared_ptr<crew::state>> s(*static_cast<std::shared_ptr<crew::state>**>(data));
    if (running) {
        (*s)->serve();
        return;
    }
    std::lock_guard<std::mutex> guard((*s)->lock);
    --(*s)->members;
}

}  // namespace

crew::crew(unsigned helpers) : state_(std::make_shared<state>()), helpers_(helpers) {}

crew::~crew() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->ending.store(true, std::memory_order_release);
        state_->current.reset();
    }
    state_->changed.notify_all();
}

void crew::share(int items, const std::function<void(int)>& item) {
    unsigned present = 0;
    if (items > 1) {
        std::lock_guard<std::mutex> guard(state_->lock);
        // Counted before they start, so a member leaving meanwhile is
        // asked for again only once.
        for (; state_->members < helpers_; ++state_->members) {
            auto* ref = new std::shared_ptr<state>(state_);
            if (!kiv_bg_thread_try(&serve, &ref, sizeof ref)) {
                delete ref;
                break;
            }
        }
        present = state_->members;
    }
    if (items <= 1 || present == 0) {
        for (int i = 0; i < items; ++i)
            item(i);
        return;
    }
    auto j = std::make_shared<job>();
    j->item = &item;
    j->items = items;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->current = j;
        state_->generation.fetch_add(1, std::memory_order_release);
    }
    state_->changed.notify_all();
    j->work();
    auto all_done = [&] { return j->done.load(std::memory_order_acquire) == items; };
    if (!spin(all_done)) {
        std::unique_lock<std::mutex> guard(j->lock);
        j->sleeping = true;
        j->finished.wait(guard, all_done);
    }
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->current.reset();
}

}  // namespace ozm
}  // namespace kiv
