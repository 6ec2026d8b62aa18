// pool_bench.cpp --
//
//     The worker pool (kiv_bg_thread) against a plain queue guarded by a
//     mutex and a condition variable, served by the same number of
//     threads: hand-over latency (from the call to the start of the task)
//     and throughput (short tasks per second). Both sides copy the task's
//     data as the pool does. The ratio lines compare ours over the
//     reference (below 1 means ours is faster), once both ran every task
//     of a batch with its data. Last, the CPU time that 150 idle workers
//     (plus the core's own threads, counted at start) use per second,
//     which should be near zero.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv_test/core_hooks.h>
#include <kiv/core/threads.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <time.h>

namespace {

const int workers = 8;
const int throughput_tasks = 20000;

using steady = std::chrono::steady_clock;

// The reference: N threads taking tasks from one queue.
class cv_queue {
public:
    explicit cv_queue(int threads) {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] { serve(); });
    }
    ~cv_queue() {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stop_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    void submit(kiv_task_function task, const void* data, unsigned size) {
        void* copy = nullptr;
        if (data != nullptr) {
            copy = std::malloc(size);
            std::memcpy(copy, data, size);
        }
        {
            std::lock_guard<std::mutex> lock(lock_);
            queue_.push_back({task, copy, size});
        }
        ready_.notify_one();
    }

private:
    struct job {
        kiv_task_function task;
        void* data;
        unsigned size;
    };
    void serve() {
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            job j = queue_.front();
            queue_.pop_front();
            lock.unlock();
            j.task(true, j.data, j.size);
            std::free(j.data);
            lock.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<job> queue_;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

cv_queue* reference = nullptr;

// Latency: the task notes when it started; the caller waits for it.
std::atomic<int64_t> started_at{0};
std::atomic<int> wrong_payloads{0};  // tasks that got another payload than their caller's copy

void expect_payload(void* data, unsigned size, int expected) {
    int got = 0;
    if (data == nullptr || size != sizeof got)
        ++wrong_payloads;
    else if (std::memcpy(&got, data, sizeof got), got != expected)
        ++wrong_payloads;
}

void note_start(bool, void* data, unsigned size) {
    expect_payload(data, size, 42);
    started_at.store(steady::now().time_since_epoch().count(), std::memory_order_release);
}

template <class Submit>
void measure_latency(benchmark::State& state, Submit submit) {
    for (auto _ : state) {
        started_at.store(0);
        steady::time_point sent = steady::now();
        submit();
        int64_t start;
        while ((start = started_at.load(std::memory_order_acquire)) == 0)
            std::this_thread::yield();
        double seconds = std::chrono::duration<double>(steady::duration(start) - sent.time_since_epoch()).count();
        state.SetIterationTime(seconds);
    }
}

void bm_pool_latency(benchmark::State& state) {
    int payload = 42;
    measure_latency(state, [&] { kiv_bg_thread(note_start, &payload, sizeof payload); });
}

void bm_queue_latency(benchmark::State& state) {
    int payload = 42;
    measure_latency(state, [&] { reference->submit(note_start, &payload, sizeof payload); });
}

// Throughput: many short tasks, then wait for the last one.
std::atomic<int> done{0};

void short_task(bool, void* data, unsigned size) {
    expect_payload(data, size, 7);
    done.fetch_add(1, std::memory_order_release);
}

template <class Submit>
void measure_throughput(benchmark::State& state, Submit submit) {
    int payload = 7;
    for (auto _ : state) {
        done.store(0);
        for (int i = 0; i < throughput_tasks; ++i)
            submit(&payload);
        while (done.load(std::memory_order_acquire) < throughput_tasks)
            std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * throughput_tasks);
}

void bm_pool_throughput(benchmark::State& state) {
    measure_throughput(state, [](int* p) { kiv_bg_thread(short_task, p, sizeof *p); });
}

void bm_queue_throughput(benchmark::State& state) {
    measure_throughput(state, [](int* p) { reference->submit(short_task, p, sizeof *p); });
}

// Returns: the tasks that ran with their payload intact out of one batch
//     of `count` handed to `submit` (waiting at most a minute for them).
template <class Submit>
int tasks_run(int count, Submit submit) {
    int payload = 7;
    done.store(0);
    wrong_payloads.store(0);
    for (int i = 0; i < count; ++i)
        submit(&payload);
    steady::time_point give_up = steady::now() + std::chrono::seconds(60);
    while (done.load(std::memory_order_acquire) < count && steady::now() < give_up)
        std::this_thread::yield();
    return done.load() - wrong_payloads.load();
}

// Both sides run every task once with the caller's data.
void check_results() {
    int ours = tasks_run(throughput_tasks, [](int* p) { kiv_bg_thread(short_task, p, sizeof *p); });
    int theirs = tasks_run(throughput_tasks, [](int* p) { reference->submit(short_task, p, sizeof *p); });
    kiv_bench::check(ours == throughput_tasks && theirs == throughput_tasks,
                     "every task ran once with its data (" + std::to_string(ours) + ", " + std::to_string(theirs) +
                         " of " + std::to_string(throughput_tasks) + ")");
}

BENCHMARK(bm_pool_latency)->UseManualTime()->Iterations(5000);
BENCHMARK(bm_queue_latency)->UseManualTime()->Iterations(5000);
BENCHMARK(bm_pool_throughput)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bm_queue_throughput)->UseRealTime()->Unit(benchmark::kMillisecond);

double process_cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Sets the thread limit to `workers` pool workers beside the threads the
// core runs of its own (counted, not assumed: the core's services start
// their own threads).
void set_worker_limit(int workers, int core_threads) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", std::to_string(workers + core_threads).c_str());
    kiv_library_entry();  // reads the new limit; the core threads run already
}

// Starts 150 workers (each task waits until all 150 run, so none is
// reused), lets them go idle, and measures the process's CPU time over
// two seconds of idleness.
// Returns: false when the workers did not all start and go idle.
bool report_idle_cpu(int core_threads) {
    const int idle_workers = 150;
    set_worker_limit(idle_workers, core_threads);
    static std::atomic<int> running_tasks{0};
    running_tasks = 0;
    for (int i = 0; i < idle_workers; ++i)
        kiv_bg_thread(
            [](bool, void*, unsigned) {
                running_tasks.fetch_add(1);
                while (running_tasks.load() < idle_workers)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            },
            nullptr, 0);
    // A safety net only: a slow machine starts 150 threads in well under
    // a minute.
    steady::time_point give_up = steady::now() + std::chrono::seconds(60);
    while (kiv_test_idle_workers() < idle_workers) {
        if (steady::now() > give_up) {
            std::printf("FAILED: only %d of %d workers went idle (%d threads, limit %d)\n", kiv_test_idle_workers(),
                        idle_workers, kiv_test_threads_count(), kiv_test_worker_limit());
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    double cpu_before = process_cpu_seconds();
    steady::time_point wall_before = steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    double cpu = process_cpu_seconds() - cpu_before;
    double wall = std::chrono::duration<double>(steady::now() - wall_before).count();
    std::printf("idle CPU of %d idle workers and the core threads: %.2f ms per second (%.3f%% of one core)\n",
                kiv_test_idle_workers(), 1000 * cpu / wall, 100 * cpu / wall);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kiv_bench::run_folder root("kiv_pool_bench_");
    if (root.path().empty() || !kiv_set_env("KIV_ROOT_PATH", root.path().c_str()) || !kiv_initialize())
        return 1;
    kiv_library_entry();
    // No task ran yet: every thread counted now is one of the core's own.
    const int core_threads = kiv_test_threads_count();
    set_worker_limit(workers, core_threads);
    reference = new cv_queue(workers);
    std::string threads = ", pool vs condition-variable queue, " + std::to_string(workers) + " threads";
    check_results();
    if (kiv_bench::exit_code() == 0) {
        kiv_bench::ratio_reporter reporter({{"hand-over latency" + threads, "bm_pool_latency", "bm_queue_latency"},
                                            {"time per batch of short tasks" + threads, "bm_pool_throughput",
                                             "bm_queue_throughput"}});
        benchmark::RunSpecifiedBenchmarks(&reporter);
        if (wrong_payloads.load() != 0)
            kiv_bench::fail("tasks saw another payload than their caller's");
    }
    delete reference;
    bool idle_measured = report_idle_cpu(core_threads);
    kiv_terminate();
    benchmark::Shutdown();
    return idle_measured ? kiv_bench::exit_code() : 1;
}
