// http_multipart.cpp --
//
//     The "multipart/form-data" splitter (see http_multipart.h). A part
//     is a separator line, header lines, a blank line and the data up to
//     the line break before the next separator.

#include "parse/http_multipart.h"

#include <cstring>

namespace kiv {

namespace {

// Returns: the first `needle` in body[from, size), or npos. Steps over
//     zero bytes, so binary data are searched too.
size_t find_bytes(const char* body, size_t size, size_t from, const char* needle, size_t needle_size) {
    if (needle_size == 0 || from > size || size - from < needle_size)
        return std::string::npos;
    const void* hit = memmem(body + from, size - from, needle, needle_size);
    return hit == nullptr ? std::string::npos : static_cast<size_t>(static_cast<const char*>(hit) - body);
}

// Returns: the value of the attribute `attr` (`attr="value"`) in a
//     Content-Disposition line, "" when absent. The attribute's name must
//     start the line or follow a blank or ";", so "name" is never found
//     inside "filename".
std::string attribute(const std::string& line, const char* attr) {
    std::string opener = std::string(attr) + "=\"";
    size_t pos = 0;
    while ((pos = line.find(opener, pos)) != std::string::npos) {
        if (pos == 0 || line[pos - 1] == ' ' || line[pos - 1] == ';' || line[pos - 1] == '\t') {
            size_t start = pos + opener.size();
            size_t end = line.find('"', start);
            return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        pos += opener.size();
    }
    return std::string();
}

const char disposition_prefix[] = "Content-Disposition: form-data;";
const char type_prefix[] = "Content-Type: ";

}  // namespace

std::string http_multipart_separator(const char* content_type) {
    if (content_type == nullptr)
        return std::string();
    const char* found = std::strstr(content_type, "boundary=");
    if (found == nullptr)
        return std::string();
    std::string boundary = found + std::strlen("boundary=");
    if (!boundary.empty() && boundary[0] == '"') {
        size_t end = boundary.find('"', 1);
        boundary = end == std::string::npos ? boundary.substr(1) : boundary.substr(1, end - 1);
    } else {
        boundary = boundary.substr(0, boundary.find_first_of("; \t"));
    }
    return boundary.empty() ? std::string() : "--" + boundary;
}

std::vector<http_multipart_part> http_split_multipart(const char* content_type, const char* body, size_t size,
                                                       size_t max, bool* over) {
    std::vector<http_multipart_part> parts;
    if (over != nullptr)
        *over = false;
    std::string separator = http_multipart_separator(content_type);
    if (separator.empty() || body == nullptr)
        return parts;
    const size_t sep_size = separator.size();
    size_t pos = find_bytes(body, size, 0, separator.data(), sep_size);
    while (pos != std::string::npos) {
        // The closing separator ("--" after it), or too few bytes for a
        // line break and a head: the end of the body.
        if (size - pos < sep_size + 4 || (body[pos + sep_size] == '-' && body[pos + sep_size + 1] == '-'))
            break;
        size_t head = pos + sep_size + 2;
        size_t blank = find_bytes(body, size, head, "\r\n\r\n", 4);
        if (blank == std::string::npos)
            break;
        size_t data = blank + 4;

        http_multipart_part part;
        size_t line_start = head;
        while (line_start < blank + 2) {
            size_t line_end = find_bytes(body, size, line_start, "\r\n", 2);
            std::string line(body + line_start, line_end - line_start);
            line_start = line_end + 2;
            if (line.compare(0, sizeof disposition_prefix - 1, disposition_prefix) == 0) {
                std::string rest = line.substr(sizeof disposition_prefix - 1);
                part.name = attribute(rest, "name");
                part.file_name = attribute(rest, "filename");
            } else if (line.compare(0, sizeof type_prefix - 1, type_prefix) == 0) {
                part.content_type = line.substr(sizeof type_prefix - 1);
                break;
            }
        }

        size_t next = find_bytes(body, size, data, separator.data(), sep_size);
        size_t end = next == std::string::npos ? size : next;
        // The line break before the separator belongs to it; a separator
        // that follows the blank line at once leaves the part empty.
        part.data_offset = data;
        part.data_size = next == std::string::npos ? end - data : (end >= data + 2 ? end - data - 2 : 0);
        if (!part.name.empty() && part.data_size > 0) {
            if (parts.size() >= max) {
                if (over != nullptr)
                    *over = true;
                break;
            }
            parts.push_back(std::move(part));
        }
        pos = next;
    }
    return parts;
}

}  // namespace kiv
