// stream_test.cpp --
//
//     The reusable stream classes, driven by a scripted stream whose
//     source hands out chunks the test queues and whose sink takes a
//     budget of bytes the test sets. Pump passes are bg_task calls made by
//     the test, on a monotonic clock the test drives; one case lets the
//     core's real pump serve the stream.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/stream_impl.h>
#include <kiv/core/process.h>
#include <kiv_test/core_hooks.h>

#include "core_session.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using kiv_test::eventually;

namespace {

class scripted_stream : public i_stream_impl,
                        public i_input_stream_impl,
                        public i_output_stream_impl,
                        public virtual i_io_stream {
public:
    bool disconnect() override {
        connected = false;
        return true;
    }
    bool is_connected() override { return connected; }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_input_stream", static_cast<i_input_stream*>(this), out))
            return true;
        if (answer_interface(name, "i_output_stream", static_cast<i_output_stream*>(this), out))
            return true;
        return i_stream_impl::get_interface(name, out);
    }

    // Queues bytes for the source; each push is one chunk the source
    // hands out (split only when the reader's block is smaller).
    void push(const std::string& chunk) {
        std::lock_guard<std::mutex> lock(script_lock);
        chunks.push_back(chunk);
    }
    size_t source_left() {
        std::lock_guard<std::mutex> lock(script_lock);
        size_t n = 0;
        for (const std::string& c : chunks)
            n += c.size();
        return n;
    }
    // Bytes the sink takes from now on in total (-1: every write fails,
    // INT_MAX: no limit).
    void set_budget(int bytes) {
        std::lock_guard<std::mutex> lock(script_lock);
        budget = bytes;
    }
    std::vector<std::string> writes() {
        std::lock_guard<std::mutex> lock(script_lock);
        return written;
    }
    std::string sink() {
        std::string all;
        for (const std::string& w : writes())
            all += w;
        return all;
    }
    std::string take_text(const char* delim) {
        char* text = get_text(delim, true);
        std::string result = text != nullptr ? text : "<null>";
        free(text);
        return result;
    }

    using i_output_stream_impl::get_out_pending;
    using i_stream_impl::start_io;

    std::atomic<int> data_events{0};
    std::atomic<bool> connected{true};
    bool forward_events = false;  // also raise the real event

protected:
    unsigned read_impl(char* buffer, unsigned size) override {
        std::lock_guard<std::mutex> lock(script_lock);
        if (chunks.empty())
            return 0;
        std::string& front = chunks.front();
        unsigned n = front.size() < size ? static_cast<unsigned>(front.size()) : size;
        front.copy(buffer, n);
        front.erase(0, n);
        if (front.empty())
            chunks.pop_front();
        return n;
    }
    int write_impl(const char* data, unsigned size) override {
        std::lock_guard<std::mutex> lock(script_lock);
        if (budget < 0)
            return -1;
        unsigned n = size < static_cast<unsigned>(budget) ? size : static_cast<unsigned>(budget);
        if (n == 0)
            return 0;
        if (budget != INT_MAX)
            budget -= static_cast<int>(n);
        written.emplace_back(data, n);
        return static_cast<int>(n);
    }
    void fire_new_data_event() override {
        data_events.fetch_add(1);
        if (forward_events)
            i_input_stream_impl::fire_new_data_event();
    }

private:
    std::mutex script_lock;
    std::deque<std::string> chunks;
    int budget = INT_MAX;
    std::vector<std::string> written;
};

// A held reference to a new scripted stream.
auto_ptr_t<scripted_stream> make_stream() {
    scripted_stream* s = new scripted_stream;
    s->addref();
    return auto_ptr_t<scripted_stream>(s);
}

std::string pattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + seed + i / 251) & 0xff);
    return s;
}

std::string take_binary(scripted_stream& s, unsigned max_size) {
    auto_ptr_t<i_binary> block(s.get_binary(max_size, true));
    if (!block)
        return "<null>";
    return std::string(static_cast<const char*>(block->get_data()), block->get_data_size());
}

// Records the data events it is given.
class data_event_catcher : public object {
public:
    bool on_data(i_event* event) {
        auto_ptr_t<i_object> payload(event->get_event_object());
        std::lock_guard<std::mutex> lock(lock_);
        id = event->get_event_id();
        stream = kiv_cast_i_input_stream(payload);
        thread = kiv_get_thread_id();
        count.fetch_add(1);
        return true;
    }
    std::atomic<int> count{0};
    std::mutex lock_;
    int64_t id = 0;
    i_input_stream* stream = nullptr;
    uint32_t thread = 0;
};

// Drives the monotonic clock for one test.
class driven_clock {
public:
    driven_clock() { kiv_test_clock_drive(true); }
    ~driven_clock() { kiv_test_clock_drive(false); }
    void advance(unsigned ms) { kiv_test_clock_advance(ms); }
};

// Another thread that asks for the stream's lock and reports when it has it.
class contender {
public:
    contender(i_stream* s, unsigned lease) : thread_([this, s, lease] {
        s->lock(lease);
        holds = true;
        while (!release_asked)
            std::this_thread::yield();
        s->unlock();
    }) {}
    ~contender() {
        release_asked = true;
        thread_.join();
    }
    // Gives the contender real time to take the lock wrongly; a pass here
    // cannot come from a slow machine, only a failure can.
    bool still_waiting() {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return !holds;
    }

    std::atomic<bool> holds{false};

private:
    std::atomic<bool> release_asked{false};
    std::thread thread_;
};

}  // namespace

TEST(stream_input, crlf_text_is_taken_up_to_and_including_the_delimiter) {
    auto s = make_stream();
    s->push("ab\r\ncd");
    s->bg_task();
    char* peek = s->get_text("\r\n", false);
    ASSERT_NE(peek, nullptr);
    EXPECT_STREQ(peek, "ab\r\n");
    free(peek);
    EXPECT_EQ(s->get_in_buffer_size(), 6u);
    EXPECT_EQ(s->take_text("\r\n"), "ab\r\n");
    EXPECT_EQ(s->get_in_buffer_size(), 2u);
    EXPECT_EQ(s->take_text(""), "cd");
    EXPECT_EQ(s->get_in_buffer_size(), 0u);
}

TEST(stream_input, missing_null_or_partial_delimiters_give_null_and_consume_nothing) {
    auto s = make_stream();
    EXPECT_EQ(s->get_text("", true), nullptr);  // nothing buffered
    s->push("GET / HTTP/1.0\r\nHost: x\r");
    s->bg_task();
    EXPECT_EQ(s->get_text(nullptr, true), nullptr);
    EXPECT_EQ(s->get_text("\r\n\r\n", true), nullptr);
    EXPECT_EQ(s->get_text("zz", true), nullptr);
    EXPECT_EQ(s->get_in_buffer_size(), 24u);
    EXPECT_EQ(s->take_text("\r\n"), "GET / HTTP/1.0\r\n");
    EXPECT_EQ(s->take_text("\r\n"), "<null>");  // "Host: x\r" ends in half a delimiter
    s->push("\n\r");
    s->push("\nbody");
    s->bg_task();
    EXPECT_EQ(s->take_text("\r\n\r\n"), "Host: x\r\n\r\n");
    EXPECT_EQ(s->take_text(""), "body");
}

TEST(stream_input, delimiter_split_over_several_arrivals_is_found_once_complete) {
    auto s = make_stream();
    s->push("key=value--");
    s->bg_task();
    EXPECT_EQ(s->take_text("--END--"), "<null>");
    s->push("EN");
    s->bg_task();
    EXPECT_EQ(s->take_text("--END--"), "<null>");
    s->push("D--tail");
    s->bg_task();
    EXPECT_EQ(s->take_text("--END--"), "key=value--END--");
    EXPECT_EQ(s->get_in_buffer_size(), 4u);
}

TEST(stream_input, bytes_and_blocks_on_an_empty_and_a_filled_buffer) {
    auto s = make_stream();
    EXPECT_EQ(s->get_byte(true), 0);
    EXPECT_FALSE(s->remove_in_buffer_data(1));  // never had a buffer
    EXPECT_EQ(take_binary(*s, 0), "");          // empty block, not null
    s->push(std::string("\x01\x00xyz", 5));
    s->bg_task();
    EXPECT_EQ(s->get_byte(false), 1);
    EXPECT_EQ(s->get_byte(true), 1);
    EXPECT_EQ(s->get_byte(true), 0);
    EXPECT_EQ(s->get_in_buffer_size(), 3u);
    EXPECT_EQ(take_binary(*s, 2), "xy");
    EXPECT_EQ(take_binary(*s, 100), "z");
    EXPECT_EQ(s->get_byte(true), 0);
    EXPECT_TRUE(s->remove_in_buffer_data(5));
}

TEST(stream_input, growth_compaction_and_shrink_keep_every_byte_in_order) {
    auto s = make_stream();
    std::string data = pattern(300000, 7);
    // Arrivals of uneven sizes, consumption in between, so the buffer
    // grows, compacts and shrinks while data passes through.
    size_t fed = 0, step = 1;
    std::string got;
    while (got.size() < data.size()) {
        for (int i = 0; i < 3 && fed < data.size(); ++i) {
            size_t n = std::min(data.size() - fed, step * 997 % 40000 + 1);
            s->push(data.substr(fed, n));
            fed += n;
            ++step;
        }
        s->bg_task();
        EXPECT_EQ(s->source_left(), 0u);
        unsigned take = static_cast<unsigned>(step * 7919 % 50000);
        got += take_binary(*s, take == 0 ? 1 : take);
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(s->get_in_buffer_size(), 0u);
}

TEST(stream_input, a_block_taking_everything_leaves_the_stream_reading_on_in_order) {
    // A whole-buffer block takes the buffer itself along; what arrives
    // next starts a new one, through every way of reading.
    auto s = make_stream();
    const std::string data = pattern(200000, 11);
    size_t fed = 0;
    std::string got;
    for (size_t round = 0; fed < data.size(); ++round) {
        size_t n = std::min(data.size() - fed, size_t(1) + round * 7919 % 70000);
        s->push(data.substr(fed, n));
        fed += n;
        s->bg_task();
        switch (round % 3) {
        case 0:  // everything at once
            got += take_binary(*s, 0);
            break;
        case 1:  // a byte first, then the rest as one block
            got += static_cast<char>(s->get_byte(true));
            got += take_binary(*s, 0);
            break;
        default:  // more than is there
            got += take_binary(*s, 100000);
            break;
        }
        ASSERT_EQ(s->get_in_buffer_size(), 0u);
        EXPECT_TRUE(s->remove_in_buffer_data(1));  // an emptied stream is not one that never had data
        ASSERT_EQ(got, data.substr(0, fed));
    }
    s->push("line one\r\nline two\r\n");
    s->bg_task();
    EXPECT_EQ(s->take_text("\r\n"), "line one\r\n");
    EXPECT_EQ(take_binary(*s, 0), "line two\r\n");
    EXPECT_EQ(take_binary(*s, 0), "");
}

TEST(stream_input, reading_pauses_above_four_mebibytes_and_resumes_without_loss) {
    auto s = make_stream();
    std::string data = pattern(5 * 1024 * 1024, 3);
    s->push(data);
    s->bg_task();
    unsigned first = s->get_in_buffer_size();
    EXPECT_GT(first, i_input_stream_impl::in_buffer_ceiling);
    EXPECT_LE(first, i_input_stream_impl::in_buffer_ceiling + 16384);
    EXPECT_EQ(s->source_left() + first, data.size());
    s->bg_task();  // still above the ceiling: the source is left alone
    EXPECT_EQ(s->get_in_buffer_size(), first);

    std::string got = take_binary(*s, 2 * 1024 * 1024);
    s->bg_task();
    EXPECT_EQ(s->source_left(), 0u);
    got += take_binary(*s, 0);
    EXPECT_EQ(got, data);
}

TEST(stream_input, data_event_comes_once_per_burst_after_its_timeout) {
    driven_clock clock;
    auto s = make_stream();
    s->set_in_buffer_timeout(2);
    s->push("first");
    s->bg_task();
    EXPECT_EQ(s->data_events, 0);
    clock.advance(1000);
    s->push("more of the same burst");
    s->bg_task();
    EXPECT_EQ(s->data_events, 0);
    clock.advance(999);
    s->bg_task();
    EXPECT_EQ(s->data_events, 0);
    clock.advance(1);
    s->bg_task();
    EXPECT_EQ(s->data_events, 1);
    clock.advance(5000);
    s->bg_task();
    EXPECT_EQ(s->data_events, 1);  // no new arrival, no new event
    s->push("next burst");
    s->bg_task();
    clock.advance(2000);
    s->bg_task();
    EXPECT_EQ(s->data_events, 2);
}

TEST(stream_input, data_event_timeout_zero_fires_in_the_arrival_pass_and_minus_one_never) {
    driven_clock clock;
    auto now = make_stream();
    now->set_in_buffer_timeout(0);
    now->push("x");
    now->bg_task();
    EXPECT_EQ(now->data_events, 1);

    auto never = make_stream();
    never->set_in_buffer_timeout(-1);
    never->push("x");
    never->bg_task();
    clock.advance(60000);
    never->bg_task();
    EXPECT_EQ(never->data_events, 0);
    EXPECT_EQ(never->get_in_buffer_size(), 1u);
}

TEST(stream_input, data_event_still_comes_while_reading_is_paused_at_the_ceiling) {
    driven_clock clock;
    auto s = make_stream();
    s->push(pattern(5 * 1024 * 1024, 1));
    s->bg_task();
    clock.advance(1000);
    s->bg_task();
    EXPECT_EQ(s->data_events, 1);
}

TEST(stream_input, the_data_event_reaches_handlers_of_the_stream_id_on_a_pool_worker) {
    data_event_catcher catcher;
    kiv_test::core_session session;
    auto s = make_stream();
    s->forward_events = true;
    s->set_in_buffer_timeout(0);
    const char* type = "KIV_EVT_STREAM_DATA_AVAIBLE";
    auto callback = static_cast<kiv_event_function>(&data_event_catcher::on_data);
    kiv_install_handler(type, s->get_id(), &catcher, callback);
    s->push("news");
    s->bg_task();
    eventually([&] { return catcher.count.load() == 1; });
    {
        std::lock_guard<std::mutex> lock(catcher.lock_);
        EXPECT_EQ(catcher.id, s->get_id());
        EXPECT_EQ(catcher.stream, static_cast<i_input_stream*>(s.get()));
        EXPECT_NE(catcher.thread, kiv_get_thread_id());
    }
    EXPECT_NE(make_stream()->get_id(), s->get_id());
    kiv_uninstall_handler(type, s->get_id(), &catcher, callback);
}

TEST(stream_output, write_through_hands_each_write_to_the_sink_at_once) {
    auto s = make_stream();
    EXPECT_TRUE(s->put_text("hello"));
    EXPECT_TRUE(s->put_byte('!'));
    EXPECT_TRUE(s->put_binary("\0\1", 2));
    EXPECT_TRUE(s->put_binary("ignored", 0));
    EXPECT_FALSE(s->put_text(nullptr));
    EXPECT_FALSE(s->put_binary(nullptr, 3));
    EXPECT_EQ(s->writes(), (std::vector<std::string>{"hello", "!", std::string("\0\1", 2)}));
    EXPECT_EQ(s->get_out_pending(), 0u);
}

TEST(stream_output, partial_write_keeps_the_rest_pending_and_later_writes_queue_behind_it) {
    auto s = make_stream();
    std::string data = pattern(100, 9);
    s->set_budget(10);
    EXPECT_FALSE(s->put_binary(data.data(), 100));
    EXPECT_EQ(s->sink(), data.substr(0, 10));
    EXPECT_EQ(s->get_out_pending(), 90u);
    EXPECT_FALSE(s->put_text("XYZ"));  // the sink is full: queued, not sent ahead
    EXPECT_EQ(s->sink(), data.substr(0, 10));

    s->set_budget(25);
    s->bg_task();  // the pump flushes what waits
    EXPECT_EQ(s->sink(), data.substr(0, 35));
    s->set_budget(INT_MAX);
    EXPECT_TRUE(s->put_text("!"));  // flushes the rest first
    EXPECT_EQ(s->sink(), data + "XYZ!");
    EXPECT_EQ(s->get_out_pending(), 0u);
}

TEST(stream_output, sink_taking_ten_bytes_per_flush_continues_with_byte_eleven) {
    driven_clock clock;
    auto s = make_stream();
    std::string data = pattern(100, 4);
    s->set_out_buffer_timeout(1);
    EXPECT_TRUE(s->put_binary(data.data(), 100));
    s->set_budget(10);
    EXPECT_FALSE(s->flush_out_buffer());
    EXPECT_EQ(s->sink(), data.substr(0, 10));
    s->set_budget(10);
    EXPECT_FALSE(s->flush_out_buffer());
    EXPECT_EQ(s->writes().back(), data.substr(10, 10));
    s->set_budget(INT_MAX);
    clock.advance(1000);
    s->bg_task();
    EXPECT_EQ(s->sink(), data);
}

TEST(stream_output, timed_buffering_sends_writes_together_once_the_oldest_is_due) {
    driven_clock clock;
    auto s = make_stream();
    s->set_out_buffer_timeout(3);
    EXPECT_TRUE(s->put_text("ab"));
    clock.advance(1000);
    EXPECT_TRUE(s->put_text("cd"));
    clock.advance(1999);
    s->bg_task();
    EXPECT_TRUE(s->writes().empty());
    clock.advance(1);
    s->bg_task();
    EXPECT_EQ(s->writes(), std::vector<std::string>{"abcd"});
    s->bg_task();
    EXPECT_EQ(s->writes().size(), 1u);
}

TEST(stream_output, sink_errors_keep_pending_bytes_for_a_later_pass) {
    driven_clock clock;
    auto s = make_stream();
    s->set_out_buffer_timeout(1);
    EXPECT_TRUE(s->put_text("kept"));
    s->set_budget(-1);
    clock.advance(1000);
    s->bg_task();
    EXPECT_EQ(s->get_out_pending(), 4u);
    s->set_budget(INT_MAX);
    clock.advance(1000);
    s->bg_task();
    EXPECT_EQ(s->sink(), "kept");

    // Write-through to a failing sink reports false and stores nothing.
    s->set_out_buffer_timeout(0);
    s->set_budget(-1);
    EXPECT_FALSE(s->put_text("lost"));
    EXPECT_EQ(s->get_out_pending(), 0u);
}

TEST(stream_output, turning_write_through_back_on_still_lets_the_pump_flush_what_waits) {
    driven_clock clock;
    auto s = make_stream();
    s->set_out_buffer_timeout(30);
    EXPECT_TRUE(s->put_text("waiting"));
    s->set_out_buffer_timeout(0);
    EXPECT_TRUE(s->writes().empty());  // setting 0 does not flush by itself
    s->bg_task();
    EXPECT_EQ(s->sink(), "waiting");
}

TEST(stream_lock, the_owner_locks_again_and_others_wait_until_it_fully_unlocks) {
    driven_clock clock;
    auto s = make_stream();
    EXPECT_TRUE(s->lock(60));
    EXPECT_TRUE(s->lock(60));
    s->unlock();
    contender other(s.get(), 60);
    EXPECT_TRUE(other.still_waiting());
    s->unlock();
    eventually([&] { return other.holds.load(); });
}

TEST(stream_lock, an_expired_lease_is_taken_over_and_a_shorter_nested_lease_does_not_shorten_it) {
    driven_clock clock;
    auto s = make_stream();
    s->lock(10);
    s->lock(2);
    contender other(s.get(), 60);
    clock.advance(3000);
    EXPECT_TRUE(other.still_waiting());
    clock.advance(6999);
    EXPECT_TRUE(other.still_waiting());
    clock.advance(1);
    eventually([&] { return other.holds.load(); });
}

TEST(stream_lock, only_the_owner_unlocks_and_never_below_zero) {
    driven_clock clock;
    auto s = make_stream();
    s->unlock();  // not locked: ignored
    s->lock(60);
    std::thread stranger([&] { s->unlock(); });
    stranger.join();
    contender other(s.get(), 60);
    EXPECT_TRUE(other.still_waiting());
    s->unlock();
    s->unlock();  // once more than locked: ignored
    eventually([&] { return other.holds.load(); });
}

TEST(stream_lock, a_holder_whose_lease_was_taken_over_cannot_unlock_the_new_owner) {
    driven_clock clock;
    auto s = make_stream();
    s->lock(1);
    {
        contender second(s.get(), 60);
        clock.advance(1000);
        eventually([&] { return second.holds.load(); });
        s->unlock();  // the old holder's late unlock
        contender third(s.get(), 60);
        EXPECT_TRUE(third.still_waiting());
        // `second` unlocks as it goes out of scope, after `third` is
        // destroyed: release `third` first by letting it take the lock.
        clock.advance(60000);
        eventually([&] { return third.holds.load(); });
    }
}

TEST(stream_pump, a_started_stream_is_read_by_the_core_pump_and_dropped_once_disconnected) {
    kiv_test::core_session session;
    auto s = make_stream();
    s->set_in_buffer_timeout(0);
    s->start_io();
    EXPECT_EQ(s->get_ref_count(), 2);  // ours and the pump's
    s->push("served");
    eventually([&] { return s->get_in_buffer_size() == 6; });
    eventually([&] { return s->data_events.load() == 1; });
    s->connected = false;
    eventually([&] { return s->get_ref_count() == 1; });
}
