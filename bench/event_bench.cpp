// event_bench.cpp --
//
//     Latency of a queued event, from kiv_generate_event(..., false) to
//     the start of its handler on a pool worker, against the least a
//     hand-over to another thread costs: a condition-variable ping-pong
//     between two threads. An event passes two hand-overs (caller to
//     queue thread, queue thread to a pool worker, which may have to be
//     woken from sleep), so it cannot come near 1; a queue polled every
//     millisecond would add about half a millisecond on average, a ratio
//     in the hundreds. Also synchronous delivery to one handler against a
//     direct call through a member-function pointer. First each side must
//     call its handler exactly once per event.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/object.h>

#include <benchmark/benchmark.h>

#include "ratio_main.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using steady = std::chrono::steady_clock;

std::atomic<int64_t> started_at{0};
std::atomic<long> handler_calls{0};  // callbacks of stamp_handler and wake-ups of the reference, in all

int64_t now_ticks() {
    return steady::now().time_since_epoch().count();
}

// Notes when its callback began.
class stamp_handler : public kiv::object {
public:
    bool on_event(kiv::i_event*) {
        handler_calls.fetch_add(1, std::memory_order_relaxed);
        started_at.store(now_ticks(), std::memory_order_release);
        return true;
    }
    static kiv::kiv_event_function callback() {
        return static_cast<kiv::kiv_event_function>(&stamp_handler::on_event);
    }
};

// The reference: a thread that waits on a condition variable and notes
// when it was woken.
class ping_pong {
public:
    ping_pong() : thread_([this] { serve(); }) {}
    ~ping_pong() {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stop_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }
    void ping() {
        {
            std::lock_guard<std::mutex> lock(lock_);
            pinged_ = true;
        }
        ready_.notify_one();
    }

private:
    void serve() {
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            ready_.wait(lock, [this] { return stop_ || pinged_; });
            if (stop_)
                return;
            pinged_ = false;
            handler_calls.fetch_add(1, std::memory_order_relaxed);
            started_at.store(now_ticks(), std::memory_order_release);
        }
    }

    std::mutex lock_;
    std::condition_variable ready_;
    bool pinged_ = false;
    bool stop_ = false;
    std::thread thread_;
};

template <class Send>
void measure_latency(benchmark::State& state, Send send) {
    for (auto _ : state) {
        started_at.store(0);
        int64_t sent = now_ticks();
        send();
        int64_t start;
        while ((start = started_at.load(std::memory_order_acquire)) == 0)
            std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(steady::duration(start - sent)).count());
    }
}

void bm_queued_event_latency(benchmark::State& state) {
    measure_latency(state, [] { kiv_generate_event("BENCH_EVT_QUEUED", 0, nullptr, false); });
}

void bm_ping_pong_latency(benchmark::State& state) {
    ping_pong reference;
    measure_latency(state, [&] { reference.ping(); });
}

void bm_sync_event(benchmark::State& state) {
    for (auto _ : state)
        kiv_generate_event("BENCH_EVT_SYNC", 0, nullptr, true);
}

void bm_direct_call(benchmark::State& state) {
    stamp_handler handler;
    kiv::i_event_handler* target = &handler;
    kiv::kiv_event_function callback = stamp_handler::callback();
    benchmark::DoNotOptimize(target);
    for (auto _ : state)
        benchmark::DoNotOptimize((target->*callback)(nullptr));
}

BENCHMARK(bm_queued_event_latency)->UseManualTime()->Iterations(5000);
BENCHMARK(bm_ping_pong_latency)->UseManualTime()->Iterations(5000);
BENCHMARK(bm_sync_event);
BENCHMARK(bm_direct_call);

// Returns: the handler calls that `send` caused when called `count`
//     times, each waited for as the latency benchmarks wait.
template <class Send>
long calls_caused(int count, Send send) {
    long before = handler_calls.load();
    for (int i = 0; i < count; ++i) {
        started_at.store(0);
        send();
        // A safety net only: one hand-over takes microseconds.
        auto give_up = steady::now() + std::chrono::seconds(30);
        while (started_at.load(std::memory_order_acquire) == 0 && steady::now() < give_up)
            std::this_thread::yield();
    }
    return handler_calls.load() - before;
}

// Each side calls its handler once per event or ping, no more, no less.
void check_results() {
    const int count = 1000;
    stamp_handler handler;
    kiv::i_event_handler* target = &handler;
    kiv::kiv_event_function callback = stamp_handler::callback();
    long direct = calls_caused(count, [&] { (target->*callback)(nullptr); });
    long sync = calls_caused(count, [] { kiv_generate_event("BENCH_EVT_SYNC", 0, nullptr, true); });
    kiv_bench::check(sync == count && direct == count, "handler calls, synchronous events and direct calls");
    long queued = calls_caused(count, [] { kiv_generate_event("BENCH_EVT_QUEUED", 0, nullptr, false); });
    long pinged;
    {
        ping_pong reference;
        pinged = calls_caused(count, [&] { reference.ping(); });
    }
    kiv_bench::check(queued == count && pinged == count, "handler calls, queued events and pings");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kiv_bench::run_folder root("kiv_event_bench_");
    if (root.path().empty() || !kiv_set_env("KIV_ROOT_PATH", root.path().c_str()) || !kiv_initialize())
        return 1;
    kiv_library_entry();
    stamp_handler handler;
    kiv_install_handler("BENCH_EVT_QUEUED", 0, &handler, stamp_handler::callback());
    kiv_install_handler("BENCH_EVT_SYNC", 0, &handler, stamp_handler::callback());
    check_results();
    if (kiv_bench::exit_code() == 0) {
        kiv_bench::ratio_reporter reporter(
            {{"queued event latency vs condition-variable ping-pong", "bm_queued_event_latency",
              "bm_ping_pong_latency"},
             {"synchronous event vs direct callback", "bm_sync_event", "bm_direct_call"}});
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    kiv_uninstall_handler("BENCH_EVT_QUEUED", 0, &handler, stamp_handler::callback());
    kiv_uninstall_handler("BENCH_EVT_SYNC", 0, &handler, stamp_handler::callback());
    kiv_terminate();
    benchmark::Shutdown();
    return kiv_bench::exit_code();
}
