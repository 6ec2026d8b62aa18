// http_exchange.h --
//
//     A plain socket client for the web server's tests: sends one raw
//     request to 127.0.0.1 and takes the answer apart into its status,
//     headers (in order and by lower-case name) and body; and gunzip
//     for gzipped bodies (callers link zlib).

#ifndef KIV_TESTS_HTTP_HTTP_EXCHANGE_H
#define KIV_TESTS_HTTP_HTTP_EXCHANGE_H

#include "../core/net_peer.h"

#include <kiv/core/ascii_case.h>

#include <sys/socket.h>
#include <zlib.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace kiv_test {

// Returns: the bytes of the one gzip member `packed` holds, or "" when
//     it is not one whole gzip member.
inline std::string gunzip(const std::string& packed) {
    z_stream zs{};
    if (inflateInit2(&zs, 15 + 16) != Z_OK)
        return std::string();
    std::string out;
    char chunk[16384];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    zs.avail_in = static_cast<uInt>(packed.size());
    int result;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        result = inflate(&zs, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - zs.avail_out);
    } while (result == Z_OK);
    bool whole = result == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return whole ? out : std::string();
}

struct response {
    int status = 0;
    std::string status_line;
    std::vector<std::string> names;             // header names in order
    std::map<std::string, std::string> headers; // lower-case name -> value
    std::string body;
    std::string raw;
};

inline response parse_response(const std::string& raw) {
    response r;
    r.raw = raw;
    size_t head_end = raw.find("\r\n\r\n");
    if (head_end == std::string::npos)
        return r;
    std::string head = raw.substr(0, head_end + 2);
    r.body = raw.substr(head_end + 4);
    size_t pos = head.find("\r\n");
    r.status_line = head.substr(0, pos);
    if (r.status_line.size() > 9)
        r.status = std::atoi(r.status_line.c_str() + 9);
    pos += 2;
    while (pos < head.size()) {
        size_t eol = head.find("\r\n", pos);
        std::string line = head.substr(pos, eol - pos);
        pos = eol + 2;
        size_t colon = line.find(": ");
        std::string name = line.substr(0, colon);
        r.names.push_back(name);
        r.headers[kiv::ascii_lower(name)] = line.substr(colon + 2);
    }
    return r;
}

// Sends `request` to 127.0.0.1:port and reads the answer until the
// server closes.
inline response ask(uint16_t port, const std::string& request) {
    fd_holder fd(connect_tcp(port));
    if (fd.get() < 0)
        return response();
    size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    return parse_response(read_until_closed(fd.get()));
}

}  // namespace kiv_test

#endif
