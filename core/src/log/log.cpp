// log.cpp --
//
//     The trace and log channels. One mutex (created on first use, never
//     destroyed, so traces during process exit stay safe) guards the
//     facility names and streams: every write and every facility change
//     happens wholly under it. Numbers in the lines are written as the
//     "C" locale has them, whatever locale the host set.

#include <kiv/core/absolute_path.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>
#include <kiv/core/mutex.h>

#include "log/last_log_error.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const size_t line_size = 1024;
const size_t max_facility = 1023;

struct channel {
    char facility[max_facility + 1];  // "stdout", "stderr", an absolute file name or ""
    FILE* stream;                     // null: lines are dropped
    bool is_file() const { return stream != nullptr && stream != stdout && stream != stderr; }
};

struct log_state {
    kiv::mutex lock;
    channel trace{"stdout", stdout};
    channel log{"", nullptr};
};

std::atomic<bool> trace_enabled{true};
// The last level-0 message of this thread, without its time stamp: why
// the last thing it tried failed, for a host to show its user.
thread_local char last_error[line_size];
thread_local uint64_t last_error_count = 0;  // level-0 messages this thread wrote
std::atomic<unsigned> log_level{0};

log_state& state() {
    static log_state* s = new log_state;
    return *s;
}

// Writes one line to the given targets (either may be null). Caller holds
// no lock.
void write_line(bool to_trace, bool to_log, const char* format, va_list args) {
    log_state& s = state();
    kiv::mutex_locker lock(&s.lock);
    FILE* trace = to_trace ? s.trace.stream : nullptr;
    FILE* log = to_log ? s.log.stream : nullptr;
    if (trace == nullptr && log == nullptr)
        return;
    char line[line_size];
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    size_t len = strftime(line, sizeof line, "%Y/%m/%d %H:%M:%S: ", &local);
    // Room for the message such that the line, its line feed and the
    // terminating zero fit the buffer.
    int n = kiv::c_vsnprintf(line + len, line_size - 1 - len, format, args);
    if (n > 0)
        len += static_cast<size_t>(n) < line_size - 2 - len ? static_cast<size_t>(n) : line_size - 2 - len;
    line[len++] = '\n';
    line[len] = '\0';
    if (trace != nullptr)
        fwrite(line, 1, len, trace);
    if (log != nullptr)
        fwrite(line, 1, len, log);
}

void close_stream(channel& c) {
    if (c.is_file())
        fclose(c.stream);
    c.stream = nullptr;
}

void set_facility(channel& c, const char* facility) {
    if (facility == nullptr)
        return;
    char name[max_facility + 1];
    if (*facility == '\0' || std::strcmp(facility, "stdout") == 0 || std::strcmp(facility, "stderr") == 0) {
        std::strcpy(name, facility);
    } else {
        std::string absolute = kiv::absolute_path(facility);
        if (absolute.empty() || absolute.size() > max_facility)
            return;
        std::memcpy(name, absolute.c_str(), absolute.size() + 1);
    }
    log_state& s = state();
    kiv::mutex_locker lock(&s.lock);
    std::strcpy(c.facility, name);
    close_stream(c);
    if (std::strcmp(name, "stdout") == 0)
        c.stream = stdout;
    else if (std::strcmp(name, "stderr") == 0)
        c.stream = stderr;
    else if (*name != '\0')
        c.stream = fopen(name, "a");
}

}  // namespace

void kiv_vtrace(const char* format, va_list args) {
    if (trace_enabled.load(std::memory_order_relaxed))
        write_line(true, false, format, args);
}

void kiv_trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    kiv_vtrace(format, args);
    va_end(args);
}

void kiv_vlog(unsigned level, const char* format, va_list args) {
    if (level == 0) {
        va_list copy;
        va_copy(copy, args);
        if (kiv::c_vsnprintf(last_error, sizeof last_error, format, copy) < 0)
            last_error[0] = '\0';
        ++last_error_count;
        va_end(copy);
    }
    bool to_trace = trace_enabled.load(std::memory_order_relaxed);
    bool to_log = level <= log_level.load(std::memory_order_relaxed);
    if (to_trace || to_log)
        write_line(to_trace, to_log, format, args);
}

void kiv_log(unsigned level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    kiv_vlog(level, format, args);
    va_end(args);
}

void kiv::clear_last_log_error() {
    last_error[0] = '\0';
}

uint64_t kiv::last_log_error_count() {
    return last_error_count;
}

const char* kiv_last_log_error() {
    return last_error;
}

void kiv_enable_trace(bool enable) {
    trace_enabled.store(enable);
}

void kiv_set_log_level(unsigned level) {
    log_level.store(level);
}

void kiv_set_log_facility(const char* facility) {
    set_facility(state().log, facility);
}

void kiv_set_trace_facility(const char* facility) {
    set_facility(state().trace, facility);
}

const char* kiv_get_log_facility() {
    return state().log.facility;
}

const char* kiv_get_trace_facility() {
    return state().trace.facility;
}

namespace kiv {

void log_flush_files() {
    log_state& s = state();
    mutex_locker lock(&s.lock);
    if (s.trace.is_file())
        fflush(s.trace.stream);
    if (s.log.is_file())
        fflush(s.log.stream);
}

void log_close_files() {
    log_state& s = state();
    mutex_locker lock(&s.lock);
    if (s.trace.is_file())
        close_stream(s.trace);
    if (s.log.is_file())
        close_stream(s.log);
}

}  // namespace kiv
