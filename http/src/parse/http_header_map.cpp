// http_header_map.cpp --
//
//     The header store and the parser of received header blocks. The
//     parser checks every offset against the bytes really received and
//     takes Content-Length only as a plain decimal number, so a hostile
//     length can neither point the body outside the buffer nor wrap.

#include "parse/http_header_map.h"

#include <cstring>

namespace kiv {

namespace {

// Reads a Content-Length value: decimal digits with optional blanks or
// tabs around them. Returns: false for anything else or over 32 bits.
bool parse_content_length(const char* text, uint32_t* out) {
    while (*text == ' ' || *text == '\t')
        ++text;
    uint64_t value = 0;
    const char* digits = text;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if (value > 0xFFFFFFFFull)
            return false;
        ++text;
    }
    if (text == digits)
        return false;
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text != '\0')
        return false;
    *out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

const char* http_header_map::find(const char* name, bool null_if_absent) {
    if (name == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    auto found = headers_.find(name);
    if (found == headers_.end())
        return null_if_absent ? nullptr : "";
    return found->second.second.c_str();
}

void http_header_map::set(const char* name, const char* value, bool replace) {
    if (name == nullptr || value == nullptr)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    auto found = headers_.find(name);
    if (found == headers_.end()) {
        headers_.emplace(name, std::make_pair(std::string(name), std::string(value)));
        return;
    }
    // Setting the value it already has leaves the entry (and any text
    // handed out from it) alone.
    if (replace && found->second.second != value)
        found->second.second = value;
}

void http_header_map::clear() {
    std::lock_guard<std::mutex> hold(lock_);
    headers_.clear();
}

std::vector<std::pair<std::string, std::string>> http_header_map::get_list() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::pair<std::string, std::string>> list;
    list.reserve(headers_.size());
    for (const auto& entry : headers_)
        list.push_back(entry.second);
    return list;
}

size_t http_header_map::size() {
    std::lock_guard<std::mutex> hold(lock_);
    return headers_.size();
}

http_header_map::parse_result http_header_map::parse(char* buffer, uint32_t length, char** body,
                                                     http_header_map& map) {
    if (buffer == nullptr)
        return need_more;
    uint32_t start = (length >= 2 && buffer[0] == '\r' && buffer[1] == '\n') ? 2 : 0;
    uint32_t line = start;
    bool first_line = true;
    for (uint32_t i = start; i < length; ++i) {
        if (buffer[i] != '\n')
            continue;
        buffer[i] = '\0';
        uint32_t end = i;
        bool carriage_return = i > line && buffer[i - 1] == '\r';
        if (carriage_return)
            buffer[--end] = '\0';
        uint32_t this_line = line;
        line = i + 1;
        if (first_line) {
            first_line = false;
            continue;
        }
        if (end == this_line) {
            if (!carriage_return)
                continue;  // a bare empty line does not end the head
            uint32_t content_length = 0;
            const char* declared = map.find("Content-Length", true);
            if (declared != nullptr && !parse_content_length(declared, &content_length))
                return bad_request;
            uint64_t body_start = uint64_t(i) + 1;
            uint64_t body_end = body_start + content_length;
            if (body_end > length)
                return need_more;
            if (content_length != 0)
                buffer[body_end] = '\0';  // at most the spare byte
            if (body != nullptr)
                *body = buffer + body_start;
            return complete;
        }
        char* text = buffer + this_line;
        char* colon = static_cast<char*>(std::memchr(text, ':', end - this_line));
        if (colon == nullptr)
            continue;
        *colon = '\0';
        char* value = colon + 1;
        if (*value == ' ')
            ++value;
        if (*text != '\0' && *value != '\0')
            map.set(text, value, true);
    }
    return need_more;
}

}  // namespace kiv
