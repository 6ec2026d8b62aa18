// http_header_map.h --
//
//     The header lines of one HTTP message, keyed by name without regard
//     to ASCII letter case and walked in case-insensitive name order, and
//     the parser that splits a received header block into such a map.
//     The map keeps its own copies of every text. Every operation takes
//     the map's own lock; a text returned by find stays valid until that
//     entry is changed or the map is cleared.

#ifndef KIV_HTTP_SRC_HTTP_HEADER_MAP_H
#define KIV_HTTP_SRC_HTTP_HEADER_MAP_H

#include <kiv/core/ascii_case.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kiv {

class http_header_map {
public:
    // What parse found in a buffer.
    enum parse_result {
        need_more,    // the header block or the body is not complete yet
        complete,     // head and body are there; *body was set
        bad_request,  // Content-Length is not a plain non-negative 32-bit number
    };

    http_header_map() = default;
    http_header_map(const http_header_map&) = delete;
    http_header_map& operator=(const http_header_map&) = delete;

    // Returns: the value of the header `name` (any letter case); when
    //     there is none, null if `null_if_absent`, else "". Null for a
    //     null name.
    const char* find(const char* name, bool null_if_absent = false);
    // Stores a header. An existing entry of that name keeps its first
    // value unless `replace`; with `replace` it takes the new value and
    // keeps its name. Nothing for a null name or value.
    void set(const char* name, const char* value, bool replace);
    // Removes every header.
    void clear();
    // Returns: a copy of every (name, value) in case-insensitive order.
    std::vector<std::pair<std::string, std::string>> get_list();
    // Returns: the number of headers.
    size_t size();

    // Splits the head of an HTTP message into `map` in place: every line
    // feed, and a carriage return before it, becomes a zero byte. The
    // first line (request or status line) is skipped; a leading "\r\n"
    // is skipped too. Later lines "name: value" (one blank after the
    // colon is dropped; lines without a colon or with an empty name or
    // value are dropped) are stored, the last of a repeated name
    // winning. The head ends at a line that is a lone carriage return; a
    // bare empty line does not end it.
    //
    // `buffer` holds `length` bytes and one spare byte after them. Once
    // the head has ended, Content-Length (absent: 0) says how long the
    // body is; when all of it is there, the byte after the body becomes
    // zero (for a non-empty body) and *body (when `body` is not null)
    // points at the body's first byte. Nothing is written outside the
    // `length` bytes and the spare one.
    //
    // Returns: complete, need_more (head or body incomplete; *body
    //     untouched), or bad_request for a Content-Length that is
    //     negative, not a number or over 32 bits.
    static parse_result parse(char* buffer, uint32_t length, char** body, http_header_map& map);

private:
    // Keyed by the name as first stored.
    std::map<std::string, std::pair<std::string, std::string>, ascii_iless> headers_;
    std::mutex lock_;  // guards headers_
};

}  // namespace kiv

#endif
