// i_http_file_data.h --
//
//     One file uploaded with a "multipart/form-data" request, as pages
//     see it through i_http_request's get_files and get_file: the form
//     field's name (i_named_object), the file name as the client sent
//     it, its media type and its bytes. The bytes are a copy held in
//     memory; nothing is written to disk. An object is made on the
//     request's worker and does not change afterwards, so its getters are
//     safe from any thread; texts returned belong to the object.

#ifndef KIV_HTTP_I_HTTP_FILE_DATA_H
#define KIV_HTTP_I_HTTP_FILE_DATA_H

#include <kiv/core/i_binary.h>
#include <kiv/core/i_string.h>

namespace kiv {

class i_http_file_data : public virtual i_named_object {
public:
    // Returns: a new zero-terminated copy of the bytes (the caller frees
    //     it with free); null when it cannot be allocated.
    virtual char* get_text_contents() = 0;
    // Returns: the bytes with one reference for the caller.
    virtual i_binary* get_contents() = 0;
    // Returns: the file path's last component (after the later of the
    //     last "/" and the last "\"); the whole path when it has neither.
    virtual const char* get_file_name() = 0;
    // Returns: the file name exactly as the client sent it (it may be a
    //     whole path, "C:\d\a.txt").
    virtual const char* get_file_path() = 0;
    // Returns: the part's "Content-Type".
    virtual const char* get_content_type() = 0;

protected:
    ~i_http_file_data() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_file_data* kiv_cast_i_http_file_data(kiv::i_object* obj);

#endif
