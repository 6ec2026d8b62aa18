// http_file_data.cpp --
//
//     An uploaded file of a multipart request (see http_file_data.h).

#include "request/http_file_data.h"

#include <cstdlib>
#include <cstring>

namespace kiv {

http_file_data::http_file_data(const char* name, const char* file_path, const char* content_type,
                               const void* data, unsigned size)
    : file_path_(file_path != nullptr ? file_path : ""),
      content_type_(content_type != nullptr ? content_type : "") {
    set_name(name != nullptr ? name : "");
    binary* bytes = new binary(const_cast<void*>(data), data != nullptr ? size : 0, false);
    bytes->addref();
    contents_.reset(bytes);
}

bool http_file_data::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_file_data", static_cast<i_http_file_data*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

char* http_file_data::get_text_contents() {
    unsigned size = contents_->get_data_size();
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    if (text == nullptr)
        return nullptr;
    if (size > 0)
        std::memcpy(text, contents_->get_data(), size);
    text[size] = '\0';
    return text;
}

i_binary* http_file_data::get_contents() {
    contents_->addref();
    return contents_.get();
}

const char* http_file_data::get_file_name() {
    size_t cut = file_path_.find_last_of("/\\");
    return cut == std::string::npos ? file_path_.c_str() : file_path_.c_str() + cut + 1;
}

}  // namespace kiv
