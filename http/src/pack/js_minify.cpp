// js_minify.cpp --
//
//     The JavaScript minifier of the packer (kiv_http_minify_js in
//     http_pack.h). It reads with one character of lookahead and keeps
//     two characters, A (the one about to be written) and B (the next),
//     deciding from both whether the blank or line break between them
//     matters. A "/" after one of ( , = : [ ! & | starts a regular
//     expression, anything else is division.

#include <kiv/http/http_pack.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

class js_minifier {
public:
    explicit js_minifier(const char* text) : in_(reinterpret_cast<const unsigned char*>(text)) {}

    // Returns: false on an unterminated comment, string or expression.
    bool run() {
        a_ = '\n';
        action(3);
        while (a_ != 0 && !error_) {
            if (a_ == ' ') {
                action(is_identifier(b_) ? 1 : 2);
            } else if (a_ == '\n') {
                if (b_ == '{' || b_ == '[' || b_ == '(' || b_ == '+' || b_ == '-')
                    action(1);
                else if (b_ == ' ')
                    action(3);
                else
                    action(is_identifier(b_) ? 1 : 2);
            } else if (b_ == ' ') {
                action(is_identifier(a_) ? 1 : 3);
            } else if (b_ == '\n') {
                if (a_ == '}' || a_ == ']' || a_ == ')' || a_ == '+' || a_ == '-' || a_ == '"' || a_ == '\'')
                    action(1);
                else
                    action(is_identifier(a_) ? 1 : 3);
            } else {
                action(1);
            }
        }
        return !error_;
    }

    const std::string& output() const { return out_; }

private:
    static bool is_identifier(int c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_' ||
               c == '$' || c == '\\' || c > 126;
    }

    // The next input character: the lookahead when there is one; 0 at
    // the end (and on every read after it).
    int get() {
        int c;
        if (lookahead_ >= 0) {
            c = lookahead_;
            lookahead_ = -1;
        } else {
            c = in_[pos_];
            if (c != 0)
                ++pos_;
        }
        if (c >= 32 || c == '\n' || c == 0)
            return c;
        return c == '\r' ? '\n' : ' ';
    }

    int peek() {
        lookahead_ = get();
        return lookahead_;
    }

    // The next character with comments removed: a line comment gives the
    // character that ends it, a block comment one blank.
    int next() {
        int c = get();
        if (c != '/')
            return c;
        int p = peek();
        if (p == '/') {
            for (;;) {
                c = get();
                if (c == '\n' || c == 0)
                    return c;
            }
        }
        if (p == '*') {
            get();
            for (;;) {
                c = get();
                if (c == '*' && peek() == '/') {
                    get();
                    return ' ';
                }
                if (c == 0) {
                    error_ = true;
                    return 0;
                }
            }
        }
        return c;
    }

    // 1: write A, then 2. 2: A takes B (copying a string literal whole),
    // then 3. 3: B takes the next character (copying a regular
    // expression literal whole; A then holds its closing "/").
    void action(int what) {
        if (what == 1)
            out_.push_back(static_cast<char>(a_));
        if (what <= 2) {
            a_ = b_;
            if (a_ == '\'' || a_ == '"') {
                for (;;) {
                    out_.push_back(static_cast<char>(a_));
                    a_ = get();
                    if (a_ == b_)
                        break;
                    if (a_ == '\n' || a_ == 0) {
                        error_ = true;
                        return;
                    }
                    if (a_ == '\\') {
                        out_.push_back(static_cast<char>(a_));
                        a_ = get();
                        if (a_ == 0) {
                            error_ = true;
                            return;
                        }
                    }
                }
            }
        }
        b_ = next();
        if (error_)
            return;
        if (b_ == '/' && (a_ == '(' || a_ == ',' || a_ == '=' || a_ == ':' || a_ == '[' || a_ == '!' ||
                          a_ == '&' || a_ == '|')) {
            out_.push_back(static_cast<char>(a_));
            out_.push_back(static_cast<char>(b_));
            for (;;) {
                a_ = get();
                if (a_ == '/')
                    break;
                if (a_ == '\\') {
                    out_.push_back(static_cast<char>(a_));
                    a_ = get();
                }
                if (a_ == '\n' || a_ == 0) {
                    error_ = true;
                    return;
                }
                out_.push_back(static_cast<char>(a_));
            }
            b_ = next();
        }
    }

    const unsigned char* in_;
    size_t pos_ = 0;
    int lookahead_ = -1;  // -1: none
    int a_ = 0;
    int b_ = 0;
    bool error_ = false;
    std::string out_;
};

}  // namespace

char* kiv_http_minify_js(const char* text) {
    if (text == nullptr)
        return nullptr;
    try {
        js_minifier minifier(text);
        return strdup(minifier.run() ? minifier.output().c_str() : text);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
