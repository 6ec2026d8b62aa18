// json_writer.cpp --
//
//     Builds the system's JSON dialect member by member (see
//     i_http_json_writer.h). Numbers go through std::to_chars, which
//     never looks at the process locale, so a page served from a thread
//     whose locale writes decimal commas still gives valid JSON.

#include "page/json_writer.h"

#include <kiv/http/http_text.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {

// Returns: a malloc-ed copy of `text` followed by `closer`, or null.
char* heap_copy(const std::string& text, char closer) {
    char* out = static_cast<char*>(std::malloc(text.size() + 2));
    if (out == nullptr)
        return nullptr;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = closer;
    out[text.size() + 1] = '\0';
    return out;
}

template <class T>
std::string integer_text(T value) {
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

}  // namespace

json_writer::json_writer(bool collection) : collection_(collection) {
    reset();
}

bool json_writer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_json_writer", static_cast<i_http_json_writer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void json_writer::reset() {
    stack_.clear();
    stack_.shrink_to_fit();
    text_.assign(collection_ ? "[" : "{");
    state_ = collection_ ? (top_level | in_array) : top_level;
}

char* json_writer::get_json(bool reset_after) {
    if ((state_ & top_level) == 0)
        return nullptr;
    char* out = heap_copy(text_, collection_ ? ']' : '}');
    if (out != nullptr && reset_after)
        reset();
    return out;
}

void json_writer::begin_member(const char* name) {
    if ((state_ & has_element) != 0)
        text_ += ',';
    if ((state_ & in_array) != 0)
        return;
    if (std::strchr(name, ' ') != nullptr) {
        // Quoted names are escaped like values, so a quote in a name
        // cannot end the name early.
        char* escaped = kiv_http_get_printable_jscript(name, true);
        text_ += '"';
        text_ += escaped != nullptr ? escaped : name;
        text_ += '"';
        std::free(escaped);
    } else {
        text_ += name;
    }
    text_ += ':';
}

bool json_writer::add_raw(const char* name, const char* value, bool quote_value) {
    if (state_ == 0 || name == nullptr || value == nullptr)
        return false;
    begin_member(name);
    if (quote_value) {
        char* escaped = kiv_http_get_printable_jscript(value, true);
        text_ += '"';
        text_ += escaped != nullptr ? escaped : value;
        text_ += '"';
        std::free(escaped);
    } else {
        text_ += value;
    }
    state_ |= has_element;
    return true;
}

bool json_writer::add_property(const char* name, const char* value) {
    return add_raw(name, value, true);
}

bool json_writer::add_property_int(const char* name, int value, bool unsigned_value) {
    std::string text = unsigned_value ? integer_text(static_cast<unsigned>(value)) : integer_text(value);
    return add_raw(name, text.c_str(), false);
}

bool json_writer::add_property_long(const char* name, long long value) {
    return add_raw(name, integer_text(value).c_str(), false);
}

bool json_writer::add_property_double(const char* name, double value) {
    if (!std::isfinite(value))
        return add_raw(name, "null", false);
    // The largest double has 309 integer digits; six decimals follow.
    char buf[400];
    auto result = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return false;
    *result.ptr = '\0';
    return add_raw(name, buf, false);
}

bool json_writer::add_json(const char* name, const char* value) {
    return add_raw(name, value, false);
}

bool json_writer::start_container(const char* name, bool array) {
    if (state_ == 0 || name == nullptr)
        return false;
    try {
        stack_.push_back(static_cast<unsigned char>(state_ | has_element));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if ((state_ & has_element) != 0)
        text_ += ',';
    if ((state_ & in_array) == 0) {
        text_ += name;
        text_ += ':';
    }
    text_ += array ? '[' : '{';
    state_ = array ? in_array : in_object;
    return true;
}

bool json_writer::start_collection(const char* name) {
    return start_container(name, true);
}

bool json_writer::start_object(const char* name) {
    return start_container(name, false);
}

bool json_writer::stop_element() {
    if (state_ == 0 || stack_.empty()) {
        state_ = 0;
        return false;
    }
    unsigned char ended = state_;
    state_ = stack_.back();
    stack_.pop_back();
    if ((ended & in_array) != 0) {
        text_ += ']';
    } else if ((ended & has_element) != 0) {
        text_ += '}';
    } else {
        // Nothing was written since the "{": it becomes null.
        text_.pop_back();
        text_ += "null";
    }
    return true;
}

}  // namespace kiv
