// xml_node_writer.cpp --
//
//     Writes an XML node and its subtree as text (get_xml). Attribute
//     values and texts escape "&", "<", ">" and the double quote; names
//     are written as they are. What a conforming parser would normalise
//     goes out as a character reference, so the text reads back as the
//     same tree: tab, line feed and carriage return in attribute values
//     (which would come back as blanks), carriage return in texts (which
//     would come back as a line feed). An element's text is written after its
//     children, so text that surrounded a child reads back joined. No
//     declaration is written. With format, each element starts on its own
//     line indented by one tab per level. A tree nested deeper than the
//     parser reads (xml_max_depth levels) is refused.

#include "xml/xml_node.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/log.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace kiv {

namespace {

class xml_writer {
public:
    explicit xml_writer(bool format) : format_(format) { out_.reserve(1024); }

    // Returns: false when the subtree is nested too deeply (the text
    //     written so far is then of no use).
    bool write(xml_node* node, unsigned depth) {
        if (depth >= xml_max_depth)
            return false;
        indent(depth);
        out_ += '<';
        out_ += node->get_name();
        object_col& attrs = node->attributes();
        for (unsigned i = 0;; ++i) {
            auto_ptr_t<i_object> item(attrs.get_item_by_pos(i));
            if (!item)
                break;
            i_named_string* attr = kiv_cast_i_named_string(item);
            if (attr == nullptr)
                continue;
            out_ += ' ';
            out_ += attr->get_name();
            out_ += "=\"";
            out_ += escape(attr->get_value(), true);
            out_ += '"';
        }
        const char* text = node->get_text();
        object_col& kids = node->children();
        if (kids.get_count() == 0 && *text == '\0') {
            out_ += "/>";
            line_end();
            return true;
        }
        out_ += '>';
        line_end();
        for (unsigned i = 0;; ++i) {
            auto_ptr_t<i_object> item(kids.get_item_by_pos(i));
            if (!item)
                break;
            xml_node* kid = kiv_cast_xml_node(item);
            if (kid != nullptr && !write(kid, depth + 1))
                return false;
        }
        if (*text != '\0') {
            indent(depth + 1);
            out_ += escape(text, false);
            line_end();
        }
        indent(depth);
        out_ += "</";
        out_ += node->get_name();
        out_ += '>';
        line_end();
        return true;
    }

    // Returns: the text in a malloc-ed block, or null when memory fails.
    char* detach() const {
        char* text = static_cast<char*>(malloc(out_.size() + 1));
        if (text != nullptr)
            std::memcpy(text, out_.c_str(), out_.size() + 1);
        return text;
    }

private:
    void indent(unsigned depth) {
        if (format_)
            out_.append(depth, '\t');
    }
    void line_end() {
        if (format_)
            out_ += '\n';
    }

    // Returns: `text` escaped, in the reused scratch string; `attribute`:
    //     for a value inside quotes.
    const std::string& escape(const char* text, bool attribute) {
        scratch_.clear();
        scratch_.reserve(std::strlen(text));
        const char* run = text;
        for (const char* p = text; *p != '\0'; ++p) {
            const char* entity;
            switch (*p) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '"': entity = "&quot;"; break;
            case '\r': entity = "&#13;"; break;
            case '\t':
                if (!attribute)
                    continue;
                entity = "&#9;";
                break;
            case '\n':
                if (!attribute)
                    continue;
                entity = "&#10;";
                break;
            default: continue;
            }
            scratch_.append(run, static_cast<size_t>(p - run));
            scratch_ += entity;
            run = p + 1;
        }
        scratch_ += run;
        return scratch_;
    }

    bool format_;          // one element per line, indented by tabs
    std::string out_;      // the document so far
    std::string scratch_;  // the last escaped text
};

}  // namespace

char* xml_node::get_xml(bool format) {
    try {
        xml_writer writer(format);
        if (!writer.write(this, 0)) {
            kiv_trace("xml_proc: a tree nested deeper than %u levels is not written", xml_max_depth);
            return nullptr;
        }
        return writer.detach();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace kiv
