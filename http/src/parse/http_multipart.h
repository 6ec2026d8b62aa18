// http_multipart.h --
//
//     Splits a "multipart/form-data" request body into its parts, with
//     no request and no copies: each part is the field name, the file
//     name and media type when it carries them, and the place of its
//     bytes in the body. The request turns files into http_file_data
//     objects and the other parts into form variables; tests and the
//     fuzz target reach the splitter alone through kiv_http_internal.
//
//     The body is hostile: every offset is checked against its size, the
//     data may hold zero bytes, and a body that breaks the format ends
//     the split early, keeping the parts found until then. Reentrant;
//     safe from any thread.

#ifndef KIV_HTTP_SRC_HTTP_MULTIPART_H
#define KIV_HTTP_SRC_HTTP_MULTIPART_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv {

struct http_multipart_part {
    std::string name;          // the field name (never empty)
    std::string file_name;     // the "filename" attribute as sent; "" when none
    std::string content_type;  // the part's "Content-Type"; "" when none
    size_t data_offset = 0;    // the first data byte, an offset into the body
    size_t data_size = 0;      // never 0: parts without data are skipped

    // Whether the part is an uploaded file: it has a file name and a type.
    bool is_file() const { return !file_name.empty() && !content_type.empty(); }
};

// Returns: the separator of the body, "--" and the boundary of the
//     "Content-Type" value (its quotes and any parameters after it
//     removed); "" when the type names no boundary.
std::string http_multipart_separator(const char* content_type);

// Splits `size` bytes of `body` at the boundary that `content_type`
// names. Parts without a field name or without data are left out;
// duplicates are kept in body order. At most `max` parts are kept: the
// split stops at the part that would pass it, with `*over` (when given)
// set.
// Returns: the parts (empty when the type names no boundary).
std::vector<http_multipart_part> http_split_multipart(const char* content_type, const char* body,
                                                       size_t size, size_t max = SIZE_MAX, bool* over = nullptr);

}  // namespace kiv

#endif
