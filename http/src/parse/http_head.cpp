// http_head.cpp --
//
//     The framing of received requests (see http_head.h): the end of
//     the head found byte by byte, the request line and header lines
//     checked, chunked bodies decoded, Accept-Encoding weighed, and the
//     small texts the answers and logs need.

#include "parse/http_head.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/text_checks.h>

#include "parse/http_trim.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kiv {

namespace {

const size_t chunk_line_max = 8192;
const size_t trailer_max = 65536;

bool equals_nocase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (ascii_tolower(a[i]) != ascii_tolower(b[i]))
            return false;
    return true;
}

// RFC 9110 token characters.
bool is_tchar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

bool is_token(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!is_tchar(c))
            return false;
    return true;
}

bool is_ows(char c) {
    return c == ' ' || c == '\t';
}

// Splits at the request line's blanks (runs of SP or HTAB).
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && is_ows(line[pos]))
            ++pos;
        size_t start = pos;
        while (pos < line.size() && !is_ows(line[pos]))
            ++pos;
        if (pos > start)
            out.push_back(line.substr(start, pos - start));
    }
    return out;
}

// Reads a weight ("0", "0.5", "1.000"). Returns: thousandths, or -1
//     when malformed.
int qvalue(const std::string& text) {
    if (text.empty() || (text[0] != '0' && text[0] != '1'))
        return -1;
    int whole = text[0] - '0';
    int thousandths = 0;
    if (text.size() > 1) {
        if (text[1] != '.' || text.size() > 5)
            return -1;
        int scale = 100;
        for (size_t i = 2; i < text.size(); ++i, scale /= 10) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            thousandths += (text[i] - '0') * scale;
        }
    }
    int value = whole * 1000 + thousandths;
    return value > 1000 ? -1 : value;
}

}  // namespace

// ---- the end of the head -------------------------------------------------

http_head_scanner::result_t http_head_scanner::scan(const char* data, size_t size) {
    if (result_ != need_more || data == nullptr)
        return result_;
    while (pos_ < size) {
        char c = data[pos_];
        if (c == '\0')
            return result_ = bad;
        if (c == '\r') {
            if (pos_ + 1 >= size)
                break;  // its line feed has not arrived yet
            if (data[pos_ + 1] != '\n')
                return result_ = bad;
            ++pos_;
            continue;
        }
        if (c == '\n') {
            size_t end = pos_;
            if (end > line_start_ && data[end - 1] == '\r')
                --end;
            bool empty = end == line_start_;
            ++pos_;
            line_start_ = pos_;
            if (!in_head_ && empty) {
                head_start_ = pos_;  // an empty line before the request line
            } else if (empty) {
                head_end_ = pos_;
                return result_ = complete;
            } else {
                in_head_ = true;  // the request line or a header line ended
            }
        } else {
            ++pos_;
            size_t length = pos_ - line_start_;
            if (!in_head_ && length > http_request_line_max)
                return result_ = line_too_long;
            if (in_head_ && length > http_header_line_max)
                return result_ = head_too_large;
        }
        if (pos_ > http_head_max)
            return result_ = head_too_large;
    }
    return result_;
}

// ---- the request line and the headers -----------------------------------

http_head_info http_check_head(const char* data, size_t size) {
    http_head_info info;
    std::vector<std::string> lines;
    size_t pos = 0;
    while (data != nullptr && pos < size) {
        const void* found = std::memchr(data + pos, '\n', size - pos);
        size_t eol = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - data) : size;
        size_t end = eol;
        if (end > pos && data[end - 1] == '\r')
            --end;
        if (end == pos)
            break;  // the blank line
        lines.emplace_back(data + pos, end - pos);
        pos = eol + 1;
    }
    if (lines.empty()) {
        info.status = 400;
        return info;
    }
    info.request_line = lines[0];
    std::vector<std::string> parts = words(lines[0]);
    if (!parts.empty())
        info.method = parts[0];
    if (parts.size() != 3 || !is_token(parts[0])) {
        info.status = 400;
        return info;
    }
    info.target = parts[1];
    info.version = parts[2];
    for (char c : info.target) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x21 || u == 0x7f) {
            info.status = 400;
            return info;
        }
    }
    const std::string& v = info.version;
    if (v.size() != 8 || v.compare(0, 5, "HTTP/") != 0 || v[5] < '0' || v[5] > '9' || v[6] != '.' || v[7] < '0' ||
        v[7] > '9') {
        info.status = 400;
        return info;
    }
    if (v[5] != '1') {
        info.status = 505;
        return info;
    }
    if (info.method != "GET" && info.method != "HEAD" && info.method != "POST") {
        info.status = 501;
        return info;
    }

    info.head = lines[0] + "\r\n";
    unsigned lengths = 0;
    unsigned hosts = 0;
    std::string codings;
    bool transfer_encoding = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (is_ows(line[0])) {
            info.status = 400;  // a folded line
            return info;
        }
        info.head += line + "\r\n";
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            info.status = 400;  // a line that is no field
            return info;
        }
        std::string name = line.substr(0, colon);
        if (!is_token(name)) {
            info.status = 400;  // whitespace before the colon, or no name
            return info;
        }
        std::string value = http_trim(line.substr(colon + 1));
        if (equals_nocase(name, "Content-Length")) {
            ++lengths;
            if (!http_parse_length(value, &info.content_length)) {
                info.status = 400;
                return info;
            }
        } else if (equals_nocase(name, "Transfer-Encoding")) {
            transfer_encoding = true;
            codings += (codings.empty() ? "" : ",") + value;
        } else if (equals_nocase(name, "Host")) {
            ++hosts;
        } else if (equals_nocase(name, "Expect")) {
            info.expect_continue = equals_nocase(value, "100-continue");
        }
    }
    info.head += "\r\n";
    // HTTP/1.1 names the host in every request, once; a second Host
    // could choose another site than the one a proxy in front checked.
    if (hosts > 1 || (hosts == 0 && v != "HTTP/1.0")) {
        info.status = 400;
        return info;
    }
    // A client of HTTP/1.0 knows no interim answer.
    if (v == "HTTP/1.0")
        info.expect_continue = false;
    if (lengths > 1 || (lengths == 1 && transfer_encoding) || (transfer_encoding && v == "HTTP/1.0")) {
        info.status = 400;
        return info;
    }
    if (transfer_encoding) {
        std::vector<std::string> list;
        for (const std::string& coding : http_split_list(codings))
            if (!coding.empty())
                list.push_back(coding);
        if (list.empty()) {
            info.status = 400;
            return info;
        }
        for (const std::string& coding : list)
            if (!equals_nocase(coding, "chunked")) {
                info.status = 501;
                return info;
            }
        if (list.size() > 1) {
            info.status = 400;  // chunked twice
            return info;
        }
        info.chunked = true;
    }
    if (info.content_length > http_body_max)
        info.status = 413;
    return info;
}

// ---- chunked bodies -------------------------------------------------------

http_chunked_decoder::result_t http_chunked_decoder::feed(const char* bytes, size_t size, std::string* out,
                                                          size_t* used) {
    size_t pos = 0;
    while (result_ == need_more && pos < size) {
        char c = bytes[pos];
        if (step_ == data) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(chunk_left_, size - pos));
            if (out != nullptr)
                out->append(bytes + pos, n);
            pos += n;
            chunk_left_ -= n;
            decoded_ += n;
            if (chunk_left_ == 0)
                step_ = data_cr;
            continue;
        }
        ++pos;
        if (c == '\0') {
            result_ = bad;
            break;
        }
        bool end_of_line = false;
        switch (step_) {
        case size_digits: {
            int digit = hex_digit_value(c);
            if (digit >= 0) {
                if (chunk_left_ > (UINT64_MAX >> 4)) {
                    result_ = bad;
                    break;
                }
                chunk_left_ = (chunk_left_ << 4) | static_cast<uint64_t>(digit);
                digits_seen_ = true;
            } else if (!digits_seen_) {
                result_ = bad;
            } else if (c == ';' || is_ows(c)) {
                step_ = size_rest;
            } else if (c == '\r') {
                step_ = size_lf;
            } else {
                result_ = bad;  // a bare LF among them
            }
            break;
        }
        case size_rest:
            if (c == '\r')
                step_ = size_lf;
            else if (c == '\n')
                result_ = bad;
            break;
        case size_lf:
            if (c == '\n')
                end_of_line = true;
            else
                result_ = bad;
            break;
        case data_cr:
            if (c == '\r')
                step_ = data_lf;
            else
                result_ = bad;
            break;
        case data_lf:
            if (c == '\n')
                step_ = size_digits;
            else
                result_ = bad;
            break;
        case trailer:
            if (c == '\r') {
                step_ = trailer_lf;
            } else if (c == '\n') {
                result_ = bad;
            } else {
                ++line_length_;
                if (++trailer_bytes_ > trailer_max || line_length_ > chunk_line_max)
                    result_ = bad;
            }
            break;
        case trailer_lf:
            if (c == '\n')
                end_of_line = true;
            else
                result_ = bad;
            break;
        case data:
            break;
        }
        if (result_ != need_more)
            break;
        if (step_ == size_digits || step_ == size_rest || step_ == size_lf) {
            if (!end_of_line && ++line_length_ > chunk_line_max) {
                result_ = bad;
                break;
            }
        }
        if (!end_of_line)
            continue;
        if (step_ == trailer || step_ == trailer_lf) {
            if (line_length_ == 0) {
                result_ = complete;
                break;
            }
            line_length_ = 0;
            step_ = trailer;
            continue;
        }
        // The end of a size line.
        line_length_ = 0;
        digits_seen_ = false;
        if (chunk_left_ == 0) {
            step_ = trailer;
        } else if (chunk_left_ > limit_ - decoded_) {
            result_ = too_large;
        } else {
            step_ = data;
        }
    }
    if (used != nullptr)
        *used = pos;
    return result_;
}

// ---- answers and logs -----------------------------------------------------

bool http_accepts_gzip(const char* value) {
    if (value == nullptr)
        return false;
    int gzip_weight = -1;
    int any_weight = -1;
    for (const std::string& element : http_split_list(value)) {
        size_t semicolon = element.find(';');
        std::string coding = http_trim(element.substr(0, semicolon));
        int weight = 1000;
        while (semicolon != std::string::npos && weight >= 0) {
            size_t next = element.find(';', semicolon + 1);
            std::string parameter = http_trim(element.substr(semicolon + 1, next == std::string::npos
                                                                               ? std::string::npos
                                                                               : next - semicolon - 1));
            semicolon = next;
            size_t equals = parameter.find('=');
            if (equals != std::string::npos && equals_nocase(http_trim(parameter.substr(0, equals)), "q"))
                weight = qvalue(http_trim(parameter.substr(equals + 1)));
        }
        if (weight < 0 || coding.empty())
            continue;
        if (coding == "gzip" || coding == "x-gzip")
            gzip_weight = std::max(gzip_weight, weight);
        else if (coding == "*")
            any_weight = std::max(any_weight, weight);
    }
    if (gzip_weight >= 0)
        return gzip_weight > 0;
    return any_weight > 0;
}

const char* http_status_text(int status) {
    switch (status) {
    case 411: return "411 Length Required";
    case 413: return "413 Content Too Large";
    case 414: return "414 URI Too Long";
    case 431: return "431 Request Header Fields Too Large";
    case 501: return "501 Not Implemented";
    case 505: return "505 HTTP Version Not Supported";
    default: return "400 Bad Request";
    }
}

bool http_status_has_body(int status) {
    return status >= 200 && status != 204 && status != 304;
}

std::string http_location_path(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            char code[3] = {'%', hex[u >> 4], hex[u & 15]};
            out.append(code, sizeof code);
        } else if (c != '/' || out.empty() || out.back() != '/') {
            out += c;
        }
    }
    return out;
}

namespace {

bool log_escaped(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f || c == '"' || c == '\\';
}

}  // namespace

void http_append_log_escaped(std::string* out, const std::string& text, size_t max) {
    static const char hex[] = "0123456789ABCDEF";
    static const char cut[] = "[...]";
    const size_t cut_size = sizeof cut - 1;
    size_t whole = 0;
    for (char c : text)
        whole += log_escaped(c) ? 4 : 1;
    // A text cut short keeps room for the mark.
    bool cutting = whole > max;
    size_t room = !cutting ? whole : max >= cut_size ? max - cut_size : 0;
    size_t start = out->size();
    size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned char u = static_cast<unsigned char>(c);
        bool escaped = log_escaped(c);
        if (out->size() - start + (escaped ? 4 : 1) > room)
            break;
        if (escaped) {
            char code[4] = {'\\', 'x', hex[u >> 4], hex[u & 15]};
            out->append(code, sizeof code);
        } else {
            out->push_back(c);
        }
    }
    if (!cutting)
        return;
    // A character is not split: when the cut falls inside a UTF-8
    // sequence, the bytes of it already out go back.
    if (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
        while (out->size() > start && (static_cast<unsigned char>(out->back()) & 0xC0) == 0x80)
            out->pop_back();
        if (out->size() > start && static_cast<unsigned char>(out->back()) >= 0xC0)
            out->pop_back();
    }
    if (max >= cut_size)
        out->append(cut, cut_size);
}

std::string http_log_escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    http_append_log_escaped(&out, text);
    return out;
}

}  // namespace kiv
