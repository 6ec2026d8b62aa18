// http_page_text.cpp --
//
//     Page translation and the error paragraph of Tcl pages (see
//     http_page_text.h).

#include "page/http_page_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

// The script being made, with the page line each of its lines comes
// from when asked for.
struct page_script {
    std::string text;
    std::vector<int>* lines;  // page line of script line i + 1; null when not kept
    int page_line = 1;        // the page line at the point reached

    // Starts a new script line at the current page line.
    void new_line() {
        text.push_back('\n');
        if (lines != nullptr)
            lines->push_back(page_line);
    }
    // Appends the command printing a stretch of page text. It stands on
    // a line of its own, so that a comment ending the code before it
    // cannot swallow it; its line breaks are escaped, so it takes one
    // line of the script for all the lines of the page it covers.
    void emit_page_text(const char* page, size_t length) {
        if (length == 0)
            return;
        new_line();
        text.append("puts \"");
        append_escaped(&text, page, length);
        text.push_back('"');
        page_line += static_cast<int>(std::count(page, page + length, '\n'));
        new_line();
    }
    // Appends code of the page as it is.
    void emit_code(const char* page, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            if (page[i] == '\n') {
                ++page_line;
                new_line();
            } else {
                text.push_back(page[i]);
            }
        }
    }
};

// Returns: the first "needle" (two bytes) in text[from, length), or
//     `length` when there is none.
size_t find_pair(const char* text, size_t from, size_t length, const char* needle) {
    for (size_t i = from; i + 1 < length; ++i)
        if (text[i] == needle[0] && text[i + 1] == needle[1])
            return i;
    return length;
}

void translate(const char* text, size_t length, page_script* script) {
    if (text == nullptr || length == 0)
        return;
    script->text.reserve(length + length / 8 + 16);
    if (script->lines != nullptr)
        script->lines->push_back(1);
    size_t pos = 0;
    for (;;) {
        size_t open = find_pair(text, pos, length, "<?");
        if (open == length)
            break;
        size_t close = find_pair(text, open + 2, length, "?>");
        if (close == length)
            break;
        script->emit_page_text(text + pos, open - pos);
        script->emit_code(text + open + 2, close - open - 2);
        pos = close + 2;
    }
    if (pos < length) {
        // An unterminated "<?" and everything after it are dropped.
        size_t open = find_pair(text, pos, length, "<?");
        script->emit_page_text(text + pos, open - pos);
    }
}

}  // namespace

std::string http_translate_page(const char* text, size_t length) {
    page_script script{std::string(), nullptr};
    translate(text, length, &script);
    return std::move(script.text);
}

int http_page_line(const char* text, size_t length, int script_line) {
    std::vector<int> lines;
    page_script script{std::string(), &lines};
    translate(text, length, &script);
    if (script_line < 1 || static_cast<size_t>(script_line) > lines.size())
        return script_line;
    return lines[static_cast<size_t>(script_line) - 1];
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
