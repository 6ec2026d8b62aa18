// socket_bench.cpp --
//
//     The socket service and the streams on loopback, each against the
//     plainest code doing the same work, in one run:
//     - accepted connections per second: clients connect and close, and
//       the run ends when the server side has taken every connection. Ours
//       goes through "svc_socket", the queued event and a tcp_listener on
//       a pool worker; the reference is one thread in a blocking accept
//       loop.
//     - stream throughput: 32 MiB over one TCP connection. Ours writes
//       through an output stream (write-through, flushing what the socket
//       could not take) and reads through an input stream's buffer
//       (bg_task steps as the pump would make, then get_binary); the
//       reference is blocking send and recv of the same chunks.
//     Both servers must take every connection of a round, and both
//     transfers must deliver the same bytes in order (checked by digest
//     before the timing). The ratio lines are ours over the reference
//     (below 1: ours faster).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/stream_impl.h>
#include <kiv/core/tcp_listener.h>

#include "ratio_main.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

const int connections_per_round = 200;
const size_t transfer_size = 32 * 1024 * 1024;
const size_t chunk_size = 64 * 1024;

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

// Connects and closes `count` times; then waits until the server side
// counted them all (bounded: gives up after 30 s).
void connect_round(uint16_t port, int count, std::atomic<int>& served) {
    for (int i = 0; i < count; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(port);
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        close(fd);
    }
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (served.load() < count && std::chrono::steady_clock::now() < give_up)
        std::this_thread::yield();
}

class counting_listener : public kiv::tcp_listener {
public:
    ~counting_listener() override { stop(); }
    bool on_connection(int socket, const char*) override {
        close(socket);
        served.fetch_add(1);
        return true;
    }
    std::atomic<int> served{0};
};

void bm_accept_ours(benchmark::State& state) {
    counting_listener* listener = new counting_listener;
    listener->addref();
    uint16_t port = free_port();
    if (!listener->init("127.0.0.1", port)) {
        state.SkipWithError("svc_socket could not listen");
        listener->release();
        return;
    }
    for (auto _ : state) {
        listener->served = 0;
        connect_round(port, connections_per_round, listener->served);
        if (listener->served.load() != connections_per_round) {
            state.SkipWithError("connections not taken");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * connections_per_round);
    listener->stop();
    listener->release();
}

void bm_accept_blocking_loop(benchmark::State& state) {
    int server = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(server, reinterpret_cast<sockaddr*>(&a), &length);
    listen(server, 4096);
    std::atomic<int> served{0};
    std::thread acceptor([&] {
        for (;;) {
            int fd = accept(server, nullptr, nullptr);
            if (fd < 0)
                return;  // the listening socket was shut down
            close(fd);
            served.fetch_add(1);
        }
    });
    for (auto _ : state) {
        served = 0;
        connect_round(ntohs(a.sin_port), connections_per_round, served);
        if (served.load() != connections_per_round) {
            state.SkipWithError("connections not taken");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * connections_per_round);
    shutdown(server, SHUT_RDWR);
    acceptor.join();
    close(server);
}

// A stream over one connected non-blocking socket.
class socket_stream : public kiv::i_stream_impl,
                      public kiv::i_input_stream_impl,
                      public kiv::i_output_stream_impl,
                      public virtual kiv::i_io_stream {
public:
    explicit socket_stream(int fd) : fd_(fd) {}
    bool disconnect() override { return true; }
    bool is_connected() override { return true; }
    using kiv::i_output_stream_impl::get_out_pending;

protected:
    unsigned read_impl(char* buffer, unsigned size) override {
        ssize_t n = recv(fd_, buffer, size, 0);
        return n > 0 ? static_cast<unsigned>(n) : 0;
    }
    int write_impl(const char* data, unsigned size) override {
        ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        return static_cast<int>(n);
    }

private:
    int fd_;
};

void wait_for(int fd, short events) {
    pollfd p{fd, events, 0};
    poll(&p, 1, 100);
}

// Two connected loopback sockets.
std::pair<int, int> socket_pair() {
    int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(server, reinterpret_cast<sockaddr*>(&a), &length);
    listen(server, 1);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int peer = accept(server, nullptr, nullptr);
    close(server);
    return {client, peer};
}

// The bytes sent: 64 KiB chunks whose bytes depend on their place in the
// stream, so a lost, doubled or reordered block changes the digest.
std::string chunk_at(size_t offset) {
    std::string chunk(chunk_size, '\0');
    for (size_t i = 0; i < chunk_size; ++i)
        chunk[i] = static_cast<char>((offset + i) * 2654435761u >> 11);
    return chunk;
}

const std::vector<std::string>& chunks() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> c;
        for (size_t offset = 0; offset < transfer_size; offset += chunk_size)
            c.push_back(chunk_at(offset));
        return c;
    }();
    return all;
}

// Counts the bytes received and, when asked, digests them (FNV-1a).
struct receipt {
    explicit receipt(bool digest) : digesting(digest) {}
    void take(const void* data, size_t size) {
        if (digesting) {
            const unsigned char* p = static_cast<const unsigned char*>(data);
            for (size_t i = 0; i < size; ++i)
                digest = (digest ^ p[i]) * 1099511628211ull;
        }
        bytes += size;
    }
    bool digesting;
    size_t bytes = 0;
    uint64_t digest = 14695981039346656037ull;
};

// One transfer of every chunk through our streams.
void transfer_ours(receipt& got) {
    std::pair<int, int> fds = socket_pair();
    int out_fd = fds.first, in_fd = fds.second;
    fcntl(out_fd, F_SETFL, O_NONBLOCK);
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
    socket_stream* writer = new socket_stream(out_fd);
    socket_stream* reader = new socket_stream(in_fd);
    writer->addref();
    reader->addref();
    reader->set_in_buffer_timeout(-1);
    std::thread sending([&] {
        for (const std::string& chunk : chunks()) {
            writer->put_binary(chunk.data(), static_cast<unsigned>(chunk.size()));
            while (writer->get_out_pending() > 0) {
                wait_for(out_fd, POLLOUT);
                writer->flush_out_buffer();
            }
        }
    });
    while (got.bytes < transfer_size) {
        wait_for(in_fd, POLLIN);
        reader->bg_task();
        auto_ptr_t<kiv::i_binary> block(reader->get_binary(0, true));
        if (block)
            got.take(block->get_data(), block->get_data_size());
    }
    sending.join();
    writer->release();
    reader->release();
    close(out_fd);
    close(in_fd);
}

// The same with blocking send and recv.
void transfer_send_recv(receipt& got) {
    std::vector<char> buffer(chunk_size);
    std::pair<int, int> fds = socket_pair();
    int out_fd = fds.first, in_fd = fds.second;
    std::thread sending([&] {
        for (const std::string& chunk : chunks()) {
            for (size_t sent = 0; sent < chunk.size();) {
                ssize_t n = send(out_fd, chunk.data() + sent, chunk.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += static_cast<size_t>(n);
            }
        }
    });
    while (got.bytes < transfer_size) {
        ssize_t n = recv(in_fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            break;
        got.take(buffer.data(), static_cast<size_t>(n));
    }
    sending.join();
    close(out_fd);
    close(in_fd);
}

void bm_stream_ours(benchmark::State& state) {
    chunks();
    for (auto _ : state) {
        receipt got(false);
        transfer_ours(got);
        if (got.bytes != transfer_size)
            state.SkipWithError("bytes lost or added");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(transfer_size));
}

void bm_stream_send_recv(benchmark::State& state) {
    chunks();
    for (auto _ : state) {
        receipt got(false);
        transfer_send_recv(got);
        if (got.bytes != transfer_size)
            state.SkipWithError("bytes lost or added");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(transfer_size));
}

// Both sides deliver the same bytes in the same order, and both servers
// take every connection of a round.
void check_results() {
    receipt expected(true);
    for (const std::string& chunk : chunks())
        expected.take(chunk.data(), chunk.size());
    receipt ours(true), theirs(true);
    transfer_ours(ours);
    transfer_send_recv(theirs);
    kiv_bench::check(ours.bytes == expected.bytes && ours.digest == expected.digest &&
                         theirs.bytes == expected.bytes && theirs.digest == expected.digest,
                     "32 MiB received in order");
}

BENCHMARK(bm_accept_ours)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bm_accept_blocking_loop)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bm_stream_ours)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bm_stream_send_recv)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_socket_bench_");
    if (root.empty())
        return 1;
    kiv_set_env("KIV_ROOT_PATH", root.c_str());
    kiv_initialize();
    kiv_library_entry();
    int result = kiv_bench::run_with_ratios(
        argc, argv,
        {{"accepted connections (time per round)", "bm_accept_ours", "bm_accept_blocking_loop"},
         {"stream throughput (time per 32 MiB)", "bm_stream_ours", "bm_stream_send_recv"}},
        check_results);
    kiv_terminate();
    rmdir(root.c_str());
    return result;
}
