// auto_string.h --
//
//     Small owning text holders and a tokenizer for code that builds and
//     splits texts in C style: auto_string frees a malloc-ed text when it
//     goes out of scope, format_string holds the result of a printf-style
//     format, string_tokenizer walks the tokens of a borrowed text.
//
//     Each object is used by one thread at a time.

#ifndef KIV_CORE_AUTO_STRING_H
#define KIV_CORE_AUTO_STRING_H

#include <kiv/core/export.h>

#include <cstdarg>

// Owns one malloc-ed terminated text, or null.
class KIV_EXPORT auto_string {
public:
    auto_string() = default;
    // Takes over a malloc-ed text (null allowed); frees it at the end.
    explicit auto_string(char* text) : text_(text) {}
    // Holds a copy of the other's text (null stays null).
    auto_string(const auto_string& other);
    // Frees its own text, then holds a copy of the other's.
    auto_string& operator=(const auto_string& other);
    virtual ~auto_string();

    // Returns: true when a text is held.
    bool is_ok() const { return text_ != nullptr; }
    operator char*() const { return text_; }
    operator const char*() const { return text_; }
    // Returns: false when either text is null, else byte-wise equality.
    bool operator==(const char* text) const;
    // Returns: true when both are null; false when only one is; else
    //     byte-wise equality.
    bool operator==(const auto_string& other) const;

private:
    char* text_ = nullptr;  // malloc-ed, owned; null when none
};

// The text of a printf-style format, in a heap buffer of its own.
class KIV_EXPORT format_string {
public:
    // Formats the arguments (a null or empty format gives the empty text)
    // as the "C" locale has them, whatever the process locale. The text is
    // null when memory ran out or the arguments could not be
    // formatted (an encoding error of the C library).
    explicit format_string(const char* format, ...) KIV_PRINTF(2, 3);
    format_string(const format_string& other);
    // Frees its text, then holds a copy of `text` (null stays null).
    format_string& operator=(const char* text);
    format_string& operator=(const format_string& other);
    virtual ~format_string();

    // Returns: the text (owned by this object), or null; see above.
    const char* to_charp() const { return text_; }
    operator char*() const { return text_; }
    operator const char*() const { return text_; }

private:
    void vformat(const char* format, va_list args) KIV_PRINTF(2, 0);

    char* text_ = nullptr;  // malloc-ed, owned; null after a failure
};

// Splits a borrowed text at one separator character. The text must
// outlive the tokenizer; nothing is copied until next() is asked to.
//
//     string_tokenizer tok("a,,b", ',');
//     char buf[64];
//     while (tok.next(buf, sizeof buf, false)) ...   // "a", "", "b"
//
// With skip_runs set, runs of separators count as one ("a", "b"); a
// leading or trailing separator never gives an empty token.
class KIV_EXPORT string_tokenizer {
public:
    // A separator of 0 is replaced by the character 0x01.
    string_tokenizer(const char* text, char separator);
    virtual ~string_tokenizer() = default;

    // Steps over one separator at the position (every one with
    // skip_runs) and measures the token that starts there.
    // Returns: its length in bytes; -1 at the end of the text, where the
    //     position becomes null.
    int size(bool skip_runs);
    // size(skip_runs), then copies the token with a terminator into
    // `buffer` and steps behind it.
    // Returns: false at the end, or when the token needs `buffer_size`
    //     bytes or more (the position then stays at that token).
    bool next(char* buffer, unsigned buffer_size, bool skip_runs);
    // Returns: the position in the text; null at the end.
    const char* ptr() const { return pos_; }

private:
    const char* pos_;  // borrowed; null at the end of the text
    char separator_;
};

#endif
