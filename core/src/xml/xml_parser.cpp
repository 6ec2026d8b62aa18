// xml_parser.cpp --
//
//     Builds node trees from XML text with Expat. The parser is created
//     without an encoding (the document's declaration applies, else
//     UTF-8) and without namespace processing, with only the element and
//     character-data callbacks: comments, processing instructions and the
//     document type pass unseen, CDATA arrives as character data, and a
//     document in an encoding Expat does not know by itself fails.
//
//     Documents are hostile input: nesting is capped (a tree is released
//     and written recursively, so depth would otherwise end in a stack
//     overflow), an element's text is capped at what a node can hold, and
//     a failure of any kind frees every node made so far.

#include "xml/xml_proc.h"

#include <kiv/core/log.h>

#include <expat.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace kiv {

namespace {

const size_t read_chunk = 65536;     // bytes per read of a file, and per call of the parser
const size_t max_text = UINT32_MAX - 1;  // longest text a node can hold

struct parse_context {
    XML_Parser parser = nullptr;
    xml_proc* proc = nullptr;
    std::vector<xml_node*> open;     // open elements, innermost last; each holds its creation reference
    std::vector<std::string> texts;  // character data of open element i at texts[i]; reused
    xml_node* root = nullptr;        // the closed root (its creation reference), or null
    const char* failure = nullptr;   // our own reason for stopping the parser; null: none

    // Stops the parser with `reason`; the parse then reports an error.
    void stop(const char* reason) {
        if (failure == nullptr)
            failure = reason;
        XML_StopParser(parser, XML_FALSE);
    }

    // Frees the partial tree: every open element gives up its creation
    // reference, innermost first, and so does a closed root.
    void discard() {
        while (!open.empty()) {
            xml_node* node = open.back();
            open.pop_back();
            node->release();
        }
        if (root != nullptr) {
            root->release();
            root = nullptr;
        }
    }
};

bool is_blank(char c) {
    return c == ' ' || c == '\n' || c == '\t';
}

// Strips spaces, line feeds and tabs from both ends; carriage returns and
// inner blanks stay.
void trim_blanks(std::string& text) {
    size_t end = text.size();
    while (end > 0 && is_blank(text[end - 1]))
        --end;
    size_t begin = 0;
    while (begin < end && is_blank(text[begin]))
        ++begin;
    text.erase(end);
    text.erase(0, begin);
}

void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** attrs) {
    parse_context* ctx = static_cast<parse_context*>(user);
    if (ctx->failure != nullptr)
        return;
    if (ctx->open.size() >= xml_max_depth) {
        ctx->stop("elements nested too deeply");
        return;
    }
    xml_node* node = ctx->proc->new_node();
    if (node == nullptr) {
        ctx->stop("out of memory");
        return;
    }
    xml_node* parent = ctx->open.empty() ? nullptr : ctx->open.back();
    size_t depth = ctx->open.size();
    // From here the node is freed with the partial tree, whatever fails.
    ctx->open.push_back(node);  // room reserved for xml_max_depth: cannot throw
    // Nothing may unwind through the parser's C frames: memory failures
    // stop the parser instead.
    try {
        if (parent != nullptr)
            parent->append_parsed_child(node);
        node->set_name(name);
        unsigned count = 0;
        while (attrs[2 * count] != nullptr)
            ++count;
        if (count != 0) {
            node->reserve_attributes(count);
            for (unsigned i = 0; i < count; ++i)
                node->append_parsed_attribute(attrs[2 * i], attrs[2 * i + 1]);
        }
        if (depth == ctx->texts.size())
            ctx->texts.emplace_back();
        else
            ctx->texts[depth].clear();
    } catch (const std::bad_alloc&) {
        ctx->stop("out of memory");
    } catch (...) {
        ctx->stop("internal error");
    }
}

void XMLCALL on_end(void* user, const XML_Char*) {
    parse_context* ctx = static_cast<parse_context*>(user);
    if (ctx->failure != nullptr || ctx->open.empty())
        return;
    xml_node* node = ctx->open.back();
    std::string& text = ctx->texts[ctx->open.size() - 1];
    trim_blanks(text);
    try {
        node->assign_parsed_text(text);
    } catch (const std::bad_alloc&) {
        ctx->stop("out of memory");
        return;
    }
    ctx->open.pop_back();
    if (!ctx->open.empty())
        node->release();  // the parent's child list keeps it
    else
        ctx->root = node;
}

void XMLCALL on_text(void* user, const XML_Char* data, int len) {
    parse_context* ctx = static_cast<parse_context*>(user);
    if (ctx->failure != nullptr || ctx->open.empty() || len <= 0)
        return;
    std::string& text = ctx->texts[ctx->open.size() - 1];
    if (text.size() + static_cast<size_t>(len) > max_text) {
        ctx->stop("element text too long");
        return;
    }
    try {
        text.append(data, static_cast<size_t>(len));
    } catch (const std::bad_alloc&) {
        ctx->stop("out of memory");
    }
}

// One parse from start to end; the parser is freed with the object.
class document_parse {
public:
    explicit document_parse(xml_proc& proc) {
        ctx_.proc = &proc;
        // Before the parser exists: a throw here leaves nothing to free.
        ctx_.open.reserve(xml_max_depth);
        ctx_.parser = XML_ParserCreate(nullptr);
        if (ctx_.parser == nullptr)
            return;
        XML_SetUserData(ctx_.parser, &ctx_);
        XML_SetElementHandler(ctx_.parser, on_start, on_end);
        XML_SetCharacterDataHandler(ctx_.parser, on_text);
    }
    ~document_parse() {
        ctx_.discard();
        if (ctx_.parser != nullptr)
            XML_ParserFree(ctx_.parser);
    }
    document_parse(const document_parse&) = delete;
    document_parse& operator=(const document_parse&) = delete;

    bool ready() const { return ctx_.parser != nullptr; }

    // Hands `size` bytes to the parser (in pieces, since Expat counts in
    // int), the last piece with `final`.
    // Returns: false once the document has failed.
    bool feed(const char* data, size_t size, bool final) {
        while (size > read_chunk) {
            if (XML_Parse(ctx_.parser, data, static_cast<int>(read_chunk), XML_FALSE) == XML_STATUS_ERROR)
                return false;
            data += read_chunk;
            size -= read_chunk;
        }
        return XML_Parse(ctx_.parser, data, static_cast<int>(size), final ? XML_TRUE : XML_FALSE) !=
               XML_STATUS_ERROR;
    }

    // Traces why the document failed, where the parser stood.
    void trace_failure(const char* what) {
        const char* reason = ctx_.failure;
        if (reason == nullptr)
            reason = XML_ErrorString(XML_GetErrorCode(ctx_.parser));
        kiv_trace("xml_proc: %s: line %lu, column %lu: %s", what,
                  static_cast<unsigned long>(XML_GetCurrentLineNumber(ctx_.parser)),
                  static_cast<unsigned long>(XML_GetCurrentColumnNumber(ctx_.parser)),
                  reason != nullptr ? reason : "unknown error");
    }

    // Returns: the root with its creation reference (handed to the
    //     caller), or null when the document had none.
    xml_node* take_root() {
        if (!ctx_.open.empty())
            return nullptr;
        xml_node* root = ctx_.root;
        ctx_.root = nullptr;
        return root;
    }

private:
    parse_context ctx_;
};

}  // namespace

namespace {

xml_node* parse_text_or_throw(xml_proc& proc, const char* text, size_t size) {
    document_parse parse(proc);
    if (!parse.ready())
        return nullptr;
    if (!parse.feed(text, size, true)) {
        parse.trace_failure("text");
        return nullptr;
    }
    return parse.take_root();
}

xml_node* parse_file_or_throw(xml_proc& proc, std::FILE* file, const char* what) {
    document_parse parse(proc);
    if (!parse.ready())
        return nullptr;
    std::vector<char> buffer(read_chunk);
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
        if (std::ferror(file)) {
            kiv_trace("xml_proc: %s: read error", what);
            return nullptr;
        }
        // A file whose size is a multiple of the chunk ends with an empty
        // final call, which is what tells the parser the document is over.
        bool final = std::feof(file) != 0;
        if (!parse.feed(buffer.data(), n, final)) {
            parse.trace_failure(what);
            return nullptr;
        }
        if (final)
            break;
    }
    return parse.take_root();
}

}  // namespace

// Memory that fails outside the parser's callbacks (its own set-up, the
// read buffer) gives null like any other failure; the partial tree goes
// with the parse object.
xml_node* parse_xml_text(xml_proc& proc, const char* text, size_t size) {
    try {
        return parse_text_or_throw(proc, text, size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

xml_node* parse_xml_file(xml_proc& proc, std::FILE* file, const char* what) {
    try {
        return parse_file_or_throw(proc, file, what);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace kiv
