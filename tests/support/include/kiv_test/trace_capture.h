// trace_capture.h --
//
//     The trace channel (which carries every kiv_log line) sent to a file
//     for a test's scope, so the test can check the reason a library gave
//     for a failure. Used by the tests of several libraries; headers only.

#ifndef KIV_TEST_TRACE_CAPTURE_H
#define KIV_TEST_TRACE_CAPTURE_H

#include <kiv/core/log.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kiv_test {

// Sends the trace to `path` (trace on) while it lives, then back to stdout.
class trace_capture {
public:
    explicit trace_capture(const std::string& path) : path_(path) {
        kiv_enable_trace(true);
        kiv_set_trace_facility(path.c_str());
    }
    ~trace_capture() { kiv_set_trace_facility("stdout"); }
    trace_capture(const trace_capture&) = delete;
    trace_capture& operator=(const trace_capture&) = delete;

    // Returns: what the trace holds so far (written out first).
    std::string text() const {
        kiv::log_flush_files();
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;  // the file the trace goes to
};

}  // namespace kiv_test

#endif
