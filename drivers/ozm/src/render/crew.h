// crew.h --
//
//     Pool workers that draw with one thread's images. The images' styles
//     hand the crew shares of work (lanes to fill, blocks of rows to
//     sweep); at a share the crew asks workers to join until it has one
//     per further CPU, and they stay for the shares that follow, waiting
//     between them spinning for a short while and then asleep. A member
//     that sees no share for a while (images of a view drawn one after
//     another keep their members), whose crew ends, or whose core shuts
//     down, goes back to the pool. Images without a large share (the caller decides what is
//     large) never wake a worker.
//
//     The caller of share takes items too and returns once every item is
//     done; it never waits for a member to join or to leave, so a crew
//     without members (no pool, the thread limit reached) is the caller
//     alone. Members hold the crew's state by reference count, so a
//     member that wakes after the image ended finds the end and leaves.

#ifndef KIV_OZM_SRC_RENDER_CREW_H
#define KIV_OZM_SRC_RENDER_CREW_H

#include <functional>
#include <memory>

namespace kiv {
namespace ozm {

// Returns: the CPUs this process may run on (kiv_usable_cpus), taken
//     once.
unsigned cpu_count();

class crew {
public:
    // A crew of up to `helpers` pool workers, asked at shares.
    explicit crew(unsigned helpers);
    // Lets the members go (it does not wait for them).
    ~crew();
    crew(const crew&) = delete;
    crew& operator=(const crew&) = delete;

    // Runs item(0..items-1), each once, on the caller and the members
    // present. `item` may run on several threads at once. One thread
    // shares at a time.
    void share(int items, const std::function<void(int)>& item);

    struct state;

private:
    std::shared_ptr<state> state_;
    unsigned helpers_;  // members wanted
};

}  // namespace ozm
}  // namespace kiv

#endif
