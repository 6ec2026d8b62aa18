// http_file_data.h --
//
//     An uploaded file of a multipart request (i_http_file_data): the
//     field name, the file name as sent, the media type and a copy of the
//     bytes. Made by the request's worker; never changed afterwards.

#ifndef KIV_HTTP_SRC_HTTP_FILE_DATA_H
#define KIV_HTTP_SRC_HTTP_FILE_DATA_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/http/i_http_file_data.h>

#include <string>

namespace kiv {

class http_file_data : public object, public i_named_object_impl, public virtual i_http_file_data {
public:
    // Copies the texts and `size` bytes of `data`.
    http_file_data(const char* name, const char* file_path, const char* content_type, const void* data,
                   unsigned size);

    // Answers "i_http_file_data" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    char* get_text_contents() override;
    i_binary* get_contents() override;
    const char* get_file_name() override;
    const char* get_file_path() override { return file_path_.c_str(); }
    const char* get_content_type() override { return content_type_.c_str(); }

private:
    std::string file_path_;      // as the client sent it
    std::string content_type_;
    auto_ptr_t<binary> contents_;  // never null
};

}  // namespace kiv

#endif
