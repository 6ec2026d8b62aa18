// catalog_file.cpp --
//
//     Parsing of translation catalogs. Quoted texts are delimited and
//     decoded with the same escape rule, so an escaped backslash before
//     the closing quote ("C:\\") ends the text where its writer meant.

#include "text/catalog_file.h"

namespace kiv {

namespace {

const std::string msgid_key = "msgid \"";
const std::string msgstr_key = "msgstr \"";

// The position of the quote that closes a text starting at `begin`, or
// npos when the text runs to the end.
size_t closing_quote(const std::string& text, size_t begin) {
    for (size_t i = begin; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return std::string::npos;
}

}  // namespace

std::string decode_catalog_escapes(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == raw.size())
            break;
        switch (raw[i]) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        default: out += raw[i]; break;  // \" \? \\ and any other character stand for themselves
        }
    }
    return out;
}

std::map<std::string, std::string> parse_catalog(const std::string& text) {
    std::map<std::string, std::string> pairs;
    // Each search result is kept while it still lies ahead, so a file of
    // many msgids and one late msgstr is read in linear time.
    size_t id_at = text.find(msgid_key);
    size_t str_at = 0;
    bool str_ahead = false;  // str_at is the next msgstr at or after pos
    while (id_at != std::string::npos) {
        size_t id_begin = id_at + msgid_key.size();
        size_t id_end = closing_quote(text, id_begin);
        if (id_end == std::string::npos)
            break;
        size_t pos = id_end + 1;
        size_t next_id = text.find(msgid_key, pos);
        if (!str_ahead || str_at < pos) {
            str_at = text.find(msgstr_key, pos);
            str_ahead = true;
        }
        if (str_at == std::string::npos)
            break;
        // Another msgid first: this one has no msgstr of its own, and
        // the next msgstr belongs to the other.
        if (next_id < str_at) {
            id_at = next_id;
            continue;
        }
        size_t str_begin = str_at + msgstr_key.size();
        size_t str_end = closing_quote(text, str_begin);
        if (str_end == std::string::npos)
            break;
        pos = str_end + 1;
        std::string id = decode_catalog_escapes(text.substr(id_begin, id_end - id_begin));
        std::string str = decode_catalog_escapes(text.substr(str_begin, str_end - str_begin));
        if (!id.empty() && !str.empty())
            pairs[id] = str;
        id_at = next_id != std::string::npos && next_id >= pos ? next_id : text.find(msgid_key, pos);
    }
    return pairs;
}

}  // namespace kiv
