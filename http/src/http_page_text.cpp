// http_page_text.cpp --
//
//     Page translation and the error paragraph of Tcl pages (see
//     http_page_text.h).

#include <kiv/http/http_page_text.h>

#include <cstring>

namespace kiv {

namespace {

// Appends `length` bytes of `text`, escaped for a double-quoted Tcl word.
void append_escaped(std::string* out, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        switch (c) {
        case '\r':
            out->append("\\r");
            break;
        case '\t':
            out->append("\\t");
            break;
        case '\n':
            out->append("\\n");
            break;
        case '[':
        case ']':
        case '{':
        case '}':
        case '$':
        case '"':
        case '\'':
        case '\\':
            out->push_back('\\');
            out->push_back(c);
            break;
        default:
            out->push_back(c);
        }
    }
}

// Appends the command printing a stretch of page text. It stands on a
// line of its own, so that a comment ending the code before it cannot
// swallow it.
void emit_page_text(std::string* script, const char* text, size_t length) {
    if (length == 0)
        return;
    script->append("\nputs \"");
    append_escaped(script, text, length);
    script->append("\"\n");
}

// Returns: the first "needle" (two bytes) in text[from, length), or
//     `length` when there is none.
size_t find_pair(const char* text, size_t from, size_t length, const char* needle) {
    for (size_t i = from; i + 1 < length; ++i)
        if (text[i] == needle[0] && text[i + 1] == needle[1])
            return i;
    return length;
}

}  // namespace

std::string http_translate_page(const char* text, size_t length) {
    std::string script;
    if (text == nullptr || length == 0)
        return script;
    script.reserve(length + length / 8 + 16);
    size_t pos = 0;
    for (;;) {
        size_t open = find_pair(text, pos, length, "<?");
        if (open == length)
            break;
        size_t close = find_pair(text, open + 2, length, "?>");
        if (close == length)
            break;
        emit_page_text(&script, text + pos, open - pos);
        script.append(text + open + 2, close - open - 2);
        pos = close + 2;
    }
    if (pos < length) {
        // An unterminated "<?" and everything after it are dropped.
        size_t open = find_pair(text, pos, length, "<?");
        emit_page_text(&script, text + pos, open - pos);
    }
    return script;
}

std::string http_tcl_quote(const char* text, size_t length) {
    std::string word = "\"";
    if (text != nullptr)
        append_escaped(&word, text, length);
    word.push_back('"');
    return word;
}

std::string http_error_paragraph(int line, const char* message) {
    std::string out = "<p>HTTP error on line " + std::to_string(line) + ": ";
    for (const char* p = message != nullptr ? message : "(null)"; *p != '\0'; ++p) {
        switch (*p) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append("&quot;");
            break;
        default:
            out.push_back(*p);
        }
    }
    out.append("</p>");
    return out;
}

}  // namespace kiv
