// json_writer.h --
//
//     The writer behind i_http_json_writer: the text so far, and a stack
//     of the states of the containers that enclose the current one.

#ifndef KIV_HTTP_SRC_JSON_WRITER_H
#define KIV_HTTP_SRC_JSON_WRITER_H

#include <kiv/core/object.h>
#include <kiv/http/i_http_json_writer.h>

#include <string>
#include <vector>

namespace kiv {

class json_writer : public object, public virtual i_http_json_writer {
public:
    // A writer whose top level is an array (`collection`) or an object.
    explicit json_writer(bool collection);

    // Answers "i_http_json_writer".
    bool get_interface(const char* name, void** out) override;

    char* get_json(bool reset = true) override;
    void reset() override;
    bool add_property(const char* name, const char* value) override;
    bool add_property_int(const char* name, int value, bool unsigned_value = false) override;
    bool add_property_long(const char* name, long long value) override;
    bool add_property_double(const char* name, double value) override;
    bool start_collection(const char* name) override;
    bool start_object(const char* name) override;
    bool stop_element() override;
    bool add_json(const char* name, const char* value) override;

private:
    // Bits of a container's state; 0 marks an unusable writer.
    enum : unsigned char {
        top_level = 1,
        in_array = 2,
        in_object = 4,
        has_element = 8,
    };

    // Writes the separator and, outside arrays, the member name.
    void begin_member(const char* name);
    // Writes one member whose value text is ready. Returns: false for a
    //     null name or value or an unusable writer.
    bool add_raw(const char* name, const char* value, bool quote_value);
    bool start_container(const char* name, bool array);

    std::string text_;                 // the text so far, without the top-level closer
    std::vector<unsigned char> stack_; // states of the enclosing containers, outermost first
    unsigned char state_ = 0;          // the current container's state bits
    bool collection_;                  // the top level is an array
};

}  // namespace kiv

#endif
