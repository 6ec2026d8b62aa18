// auto_string.cpp --
//
//     The owning text holders and the tokenizer.

#include <kiv/core/auto_string.h>
#include <kiv/core/byte_buffer.h>
#include <kiv/core/c_locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char* copy_or_null(const char* text) {
    return text != nullptr ? strdup(text) : nullptr;
}

const unsigned initial_format_size = 1024;

}  // namespace

auto_string::auto_string(const auto_string& other) : text_(copy_or_null(other.text_)) {}

auto_string& auto_string::operator=(const auto_string& other) {
    if (this != &other) {
        char* copy = copy_or_null(other.text_);
        free(text_);
        text_ = copy;
    }
    return *this;
}

auto_string::~auto_string() {
    free(text_);
}

bool auto_string::operator==(const char* text) const {
    if (text_ == nullptr || text == nullptr)
        return false;
    return std::strcmp(text_, text) == 0;
}

bool auto_string::operator==(const auto_string& other) const {
    if (other.text_ == nullptr)
        return text_ == nullptr;
    if (text_ == nullptr)
        return false;
    return std::strcmp(text_, other.text_) == 0;
}

format_string::format_string(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vformat(format, args);
    va_end(args);
}

// The C library reports the length a text needs when it does not fit,
// so a second pass with a buffer of that size always completes; each
// pass formats from its own copy of the argument list.
void format_string::vformat(const char* format, va_list args) {
    char* buffer = nullptr;
    size_t size = 0;
    if (!kiv::resize_buffer(buffer, size, initial_format_size))
        return;
    buffer[0] = '\0';
    if (format == nullptr || *format == '\0') {
        text_ = buffer;
        return;
    }
    for (;;) {
        va_list pass;
        va_copy(pass, args);
        int needed = kiv::c_vsnprintf(buffer, size, format, pass);
        va_end(pass);
        if (needed < 0) {
            free(buffer);
            return;
        }
        if (static_cast<size_t>(needed) < size) {
            text_ = buffer;
            return;
        }
        if (!kiv::resize_buffer(buffer, size, static_cast<uint64_t>(needed) + 1)) {
            free(buffer);
            return;
        }
    }
}

format_string::format_string(const format_string& other) : text_(copy_or_null(other.text_)) {}

format_string& format_string::operator=(const char* text) {
    if (text != text_) {
        char* copy = copy_or_null(text);
        free(text_);
        text_ = copy;
    }
    return *this;
}

format_string& format_string::operator=(const format_string& other) {
    return *this = other.text_;
}

format_string::~format_string() {
    free(text_);
}

string_tokenizer::string_tokenizer(const char* text, char separator)
    : pos_(text), separator_(separator != '\0' ? separator : '\x01') {}

int string_tokenizer::size(bool skip_runs) {
    if (pos_ == nullptr)
        return -1;
    if (*pos_ == separator_) {
        ++pos_;
        if (skip_runs)
            while (*pos_ == separator_)
                ++pos_;
    }
    if (*pos_ == '\0') {
        pos_ = nullptr;
        return -1;
    }
    const char* end = std::strchr(pos_, separator_);
    size_t len = end != nullptr ? static_cast<size_t>(end - pos_) : std::strlen(pos_);
    return len > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(len);
}

bool string_tokenizer::next(char* buffer, unsigned buffer_size, bool skip_runs) {
    int len = size(skip_runs);
    if (len < 0 || buffer == nullptr || static_cast<unsigned>(len) >= buffer_size)
        return false;
    std::memcpy(buffer, pos_, static_cast<size_t>(len));
    buffer[len] = '\0';
    pos_ += len;
    return true;
}
