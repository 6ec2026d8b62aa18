// http_service_connections.cpp --
//
//     The connections of the service "svc_http" (see http_service.h):
//     its connection handler and its service thread.
//
//     Accepted connections arrive as "KIV_EVT_TCP_CONN_OPENED" on the
//     handler installed per bound port, which makes each an http_request
//     and hands it to the service thread. The cap of held connections
//     comes from the process's descriptor limit (raised to its hard
//     limit at start). At the cap the service thread lets go of the
//     connections that cost others least, so that idle clients cannot
//     lock others out: first the oldest that linger after their answer,
//     then the oldest that have not yet sent a whole head (answered "503
//     Service Unavailable" when they have sent nothing), then those whose
//     body is still on its way, the one silent longest first (answered
//     "503"). When the service thread falls far behind a burst of
//     connections, each new one waits for the service thread to make
//     room, before the descriptors run out, and is answered "503" with
//     "Retry-After" and closed when no room could be made. A complete
//     request for which no worker of the pool was free for a second is
//     answered the same way.

#include "service/http_service.h"

#include "request/http_request.h"

#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>

#include <poll.h>
#include <unistd.h>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kiv {

namespace {

const unsigned request_pass_ms = 50;
const uint32_t server_pass_seconds = 5;

// A worker's turn with a connection (on_connection) or a request
// (process_task). A service whose last reference goes on this thread
// meanwhile (a page let it go as shut-down began) is deleted when the
// outermost turn ends: its end waits for the requests on workers, this
// thread's own among them, and closes what they left to its service
// thread, which only works once the turn is over.
thread_local int turn_depth = 0;
thread_local std::vector<http_service*> dropped_in_turn;

class worker_turn {
public:
    worker_turn() { ++turn_depth; }
    ~worker_turn() {
        if (--turn_depth > 0)
            return;
        std::vector<http_service*> dropped;
        dropped.swap(dropped_in_turn);
        for (http_service* service : dropped)
            delete service;
    }
    worker_turn(const worker_turn&) = delete;
    worker_turn& operator=(const worker_turn&) = delete;
};

const std::string busy_answer = std::string(
    "HTTP/1.0 503 Service Unavailable\r\nConnection: Close\r\nContent-Length: 23\r\n"
    "Content-Type: text/plain\r\nRetry-After: ") + http_retry_after + "\r\n\r\n503 Service Unavailable";
// Input read and dropped, at most, before a refused connection is closed,
// so that closing it sends a FIN behind the answer rather than a reset.
const size_t refusal_drain_max = 65536;

// Waits of the service thread while complete requests wait for a free
// worker (the pool is at its thread limit).
const unsigned worker_retry_ms = 1;

// The pool task of one complete request: `data` holds the request
// pointer with the reference the service thread took. The worker that
// built the answer sends what the socket takes, so a small answer needs
// no turn of the service thread. Only an answer the socket could not
// take whole wakes the service thread at once; a connection that lingers
// or ended is met on its next pass, which every new connection brings.
void process_task(bool running, void* data, unsigned size) {
    if (data == nullptr || size != sizeof(http_request*))
        return;
    http_request* request = nullptr;
    std::memcpy(&request, data, sizeof request);
    worker_turn turn;
    request->process(running);
    request->send_at_once();
    http_request::state_t s = request->state();
    if (s != http_request::lingering && s != http_request::closed)
        request->wake();
    request->release();
}

// Sends the short "503" answer to a socket that has not been read from,
// without waiting: the answer fits a fresh socket's buffer.
void send_busy_answer(int sock) {
    ssize_t sent = send(sock, busy_answer.data(), busy_answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)sent;
}

// Refuses a new connection that was not taken in: reads away what it
// sent, answers "503" and closes it.
void refuse_connection(int sock) {
    char chunk[16384];
    for (size_t dropped = 0; dropped < refusal_drain_max;) {
        ssize_t n = recv(sock, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n <= 0)
            break;
        dropped += static_cast<size_t>(n);
    }
    send_busy_answer(sock);
    close(sock);
}

}  // namespace

bool http_service::on_connection(i_event* event) {
    // Answering on this worker may release the service's last reference
    // (when it was unregistered meanwhile). Deleting it there would pull
    // the service from under this call: the delete waits for its end.
    worker_turn turn;
    return take_connection(event);
}

bool http_service::last_reference_dropped() {
    if (turn_depth == 0)
        return true;
    dropped_in_turn.push_back(this);
    return false;
}

bool http_service::take_connection(i_event* event) {
    if (event == nullptr || stopping_.load())
        return true;
    auto_ptr_t<i_object> conn(event->get_event_object());
    i_typed_object* typed = kiv_cast_i_typed_object(conn);
    i_named_string* named = kiv_cast_i_named_string(conn);
    if (typed == nullptr || named == nullptr)
        return true;
    int64_t id = event->get_event_id();
    if (id <= 0 || id > 65535)
        return true;
    int sock = static_cast<int>(typed->get_id());
    if (sock < 0)
        return true;
    // The service thread falls far behind a burst of connections: this
    // one waits, a second at most, for a whole pass of it to take the
    // connections in and make room, so that the burst comes in at the
    // pace room is made, before the descriptors run out. When no room
    // could be made, the newcomer is refused.
    if (held_count_.load() >= refuse_at_) {
        uint64_t pass;
        {
            std::lock_guard<std::mutex> hold(pending_lock_);
            pass = passes_;
        }
        wake();
        std::unique_lock<std::mutex> hold(pending_lock_);
        passed_.wait_for(hold, std::chrono::seconds(1), [&] { return passes_ >= pass + 2 || stopping_.load(); });
        if (held_count_.load() >= refuse_at_ || stopping_.load()) {
            hold.unlock();
            refuse_connection(sock);
            return false;
        }
    }
    http_request* request =
        new http_request(sock, static_cast<uint16_t>(id), named->get_name(), named->get_value(), wakeup_);
    request->addref();
    held_count_.fetch_add(1);
    // A client sends its request right after connecting, so it is usually
    // there already. Then this worker of the pool, which delivers the
    // connection, processes it and sends the answer, and a small answer
    // needs no turn of the service thread at all. The service thread
    // takes the connection when the request is still on its way, when
    // the answer is more than the socket takes at once, and when it
    // lingers.
    request->on_io(POLLIN);
    if (request->state() == http_request::ready) {
        request->set_state(http_request::processing);
        request->process(kiv_is_running());
        request->send_at_once();
    }
    http_request::state_t s = request->state();
    if (s == http_request::closed || s == http_request::finished) {
        request->release();
        held_count_.fetch_sub(1);
        return false;
    }
    bool first;
    {
        std::lock_guard<std::mutex> hold(pending_lock_);
        first = pending_.empty();
        pending_.push_back(request);
    }
    // The connection that found the list empty woke the service thread
    // already, and that thread takes the whole list before it waits again.
    if (first)
        wake();
    return false;
}

void http_service::wake() {
    if (wakeup_)
        wakeup_->wake();
}

void http_service::make_room() {
    if (live_.size() <= connection_cap_)
        return;
    size_t excess = live_.size() - connection_cap_;
    // Connections already served cost their clients least, then idle ones
    // from the oldest on, so the new ones (at the end) come last; one that
    // has sent nothing yet can still read why it goes.
    for (int round = 0; round < 2 && excess > 0; ++round) {
        for (size_t i = 0; i < live_.size() && excess > 0; ++i) {
            http_request* request = live_[i];
            http_request::state_t s = request->state();
            bool victim = round == 0 ? s == http_request::lingering : request->awaiting_head();
            if (!victim)
                continue;
            if (round == 1 && request->nothing_received())
                send_busy_answer(request->socket());
            request->close_connection(nullptr);
            --excess;
        }
    }
    if (excess == 0)
        return;
    // Then those whose body is still on its way, the one that sent nothing
    // for longest first: a client that trickles its body would otherwise
    // hold its descriptor as long as it likes. Each has sent a whole head
    // and waits for an answer: it reads why it goes.
    std::vector<http_request*> bodies;
    for (http_request* request : live_)
        if (request->awaiting_body())
            bodies.push_back(request);
    std::stable_sort(bodies.begin(), bodies.end(), [](const http_request* a, const http_request* b) {
        return a->last_io_time() < b->last_io_time();
    });
    for (size_t i = 0; i < bodies.size() && excess > 0; ++i, --excess) {
        send_busy_answer(bodies[i]->socket());
        bodies[i]->close_connection(nullptr);
    }
}

void http_service::serve_requests() {
    size_t known = live_.size();
    {
        std::lock_guard<std::mutex> hold(pending_lock_);
        live_.insert(live_.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }
    // A client sends its request right after connecting, so it is
    // usually there already: read at once rather than after a poll.
    for (size_t i = known; i < live_.size(); ++i)
        live_[i]->on_io(POLLIN);
    make_room();
    bool waiting_for_worker = false;
    uint32_t now = kiv_get_curr_time();
    std::vector<http_request*> kept;
    kept.reserve(live_.size());
    for (http_request* request : live_) {
        request->check_time(now);
        switch (request->state()) {
        case http_request::ready:
            if (!waiting_for_worker && !hand_over(request))
                waiting_for_worker = true;
            // No worker was free for it all its wait: refused now.
            if (request->state() == http_request::ready && request->worker_wait_over(now)) {
                send_busy_answer(request->socket());
                request->close_connection("process error: no worker");
                request->release();
                held_count_.fetch_sub(1);
                break;
            }
            kept.push_back(request);
            break;
        case http_request::finished:
        case http_request::closed:
            request->release();
            held_count_.fetch_sub(1);
            break;
        default:
            kept.push_back(request);
            break;
        }
    }
    live_.swap(kept);
    {
        std::lock_guard<std::mutex> hold(pending_lock_);
        ++passes_;
    }
    passed_.notify_all();

    std::vector<pollfd> fds;
    std::vector<http_request*> polled;
    fds.push_back(pollfd{wakeup_->fd(), POLLIN, 0});
    for (http_request* request : live_) {
        short events = request->poll_events();
        if (events == 0)
            continue;
        fds.push_back(pollfd{request->socket(), events, 0});
        polled.push_back(request);
    }
    // Requests that became complete here are handed over at the start of
    // the next pass, which follows without a wait.
    int ready = poll(fds.data(), fds.size(), static_cast<int>(waiting_for_worker ? worker_retry_ms : request_pass_ms));
    if (ready > 0 && (fds[0].revents & POLLIN) != 0)
        wakeup_->drain();
    if (ready > 0)
        for (size_t i = 0; i < polled.size(); ++i)
            if (fds[i + 1].revents != 0)
                polled[i]->on_io(fds[i + 1].revents);
}

bool http_service::hand_over(http_request* request) {
    request->set_state(http_request::processing);
    request->addref();  // the worker's
    if (kiv_bg_thread_try(process_task, &request, sizeof request))
        return true;
    // No worker is free (the pool is at its thread limit) or the core is
    // stopping: the request waits for a later pass, and a request nobody
    // takes within its time-out is closed unanswered.
    request->set_state(http_request::ready);
    request->release();
    return false;
}

void http_service::service_thread(void*) {
    uint32_t last_server_pass = kiv_get_curr_time();
    while (thread_running() && kiv_is_running() && !stopping_.load()) {
        uint32_t now = kiv_get_curr_time();
        if (now < last_server_pass)
            last_server_pass = now;  // the wall clock went back
        if (uint64_t(last_server_pass) + server_pass_seconds <= now) {
            last_server_pass = now;
            auto_ptr_t<object_col> servers(servers_.copy());
            for (unsigned i = 0; i < servers->get_count(); ++i) {
                auto_ptr_t<i_object> item(servers->get_item_by_pos(i));
                if (i_http_server* svr = kiv_cast_i_http_server(item))
                    svr->bg_task();
            }
            continue;
        }
        serve_requests();
    }
}

}  // namespace kiv
