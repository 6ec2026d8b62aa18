// http_request_page.cpp --
//
//     What a request does for Tcl pages and uploads (see http_request.h):
//     a ".html" page is translated into a Tcl script and run in the
//     script engine of the worker's thread, with the request, its
//     session and server and the document root at hand; what it prints
//     becomes the answer. Pages include other pages into their output. A
//     "multipart/form-data" body is split into form variables and
//     uploaded files.

#include "request/http_file_data.h"
#include "request/http_request.h"
#include "parse/http_multipart.h"
#include "page/http_page_text.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>

#include <tcl.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace kiv {

namespace {

// The engine's loader for pages: the page file (decrypted when it is an
// encrypted one) translated into its Tcl script.
// Returns: a malloc-ed script the engine frees, or null when the file
//     cannot be read.
char* translate_page(const char* path, const void*) {
    char* text = kiv_load_script_file(path, nullptr);
    if (text == nullptr)
        return nullptr;
    std::string script = http_translate_page(text, std::strlen(text));
    std::free(text);
    char* out = static_cast<char*>(std::malloc(script.size() + 1));
    if (out != nullptr)
        std::memcpy(out, script.c_str(), script.size() + 1);
    return out;
}

// Returns: the Tcl command "variable NAME VALUE", the value quoted as
//     one list word whatever it holds.
std::string variable_command(const char* name, const char* value) {
    const char* words[] = {"variable", name, value != nullptr ? value : ""};
    char* merged = Tcl_Merge(3, words);
    std::string command = merged != nullptr ? merged : "";
    Tcl_Free(merged);
    return command;
}

// Returns: the line of the page `path` that line `script_line` of its
//     script comes from (the page is read again: errors are rare, and
//     the script keeps no map of its lines).
int page_error_line(const char* path, int script_line) {
    char* text = kiv_load_script_file(path, nullptr);
    if (text == nullptr)
        return script_line;
    int line = http_page_line(text, std::strlen(text), script_line);
    std::free(text);
    return line;
}

const char include_proc[] = "proc include {file} {\n\tvariable http_request\n\t_kiv_http_include $http_request $file\n}";

}  // namespace

// ---- pages -------------------------------------------------------------

bool http_request::run_page(const char* path) {
    auto_ptr_t<i_object> svc(find_service("svc_script"));
    i_script_service* scripts = kiv_cast_i_script_service(svc);
    if (scripts == nullptr || path == nullptr)
        return false;
    auto_ptr_t<i_script_engine> engine(scripts->get_script_engine());
    if (!engine)
        return false;
    engine->reset();
    engine->register_object(static_cast<i_http_request*>(this), "http_request", "kiv_cast_i_http_request");
    engine->register_object(session_.get(), "http_session", "kiv_cast_i_http_session");
    engine->register_object(server_.get(), "http_server", "kiv_cast_i_http_server");
    // The document root and `include` go in as one script: each script
    // text is compiled before it runs.
    std::string setup;
    if (server_) {
        auto_string root(server_->get_doc_root());
        setup = variable_command("http_doc_root", root.is_ok() ? static_cast<const char*>(root) : "") + "\n";
    }
    setup += include_proc;
    engine->execute_text(setup.c_str());
    {
        std::lock_guard<std::mutex> hold(engine_lock_);
        engine_ = engine;
    }
    if (!include_html_page(path))
        send_error("404 Not Found");
    else
        // Refused (changing nothing) when the page answered itself.
        send_text(engine->get_output(), true);
    auto_ptr_t<i_script_engine> held;
    {
        std::lock_guard<std::mutex> hold(engine_lock_);
        held = std::move(engine_);
    }
    if (held)
        held->reset();
    return true;
}

bool http_request::include_html_page(const char* path) {
    if (path == nullptr || *path == '\0')
        return false;
    auto_ptr_t<i_script_engine> engine;
    {
        std::lock_guard<std::mutex> hold(engine_lock_);
        engine = engine_;
    }
    if (!engine)
        return run_page(path);
    if (engine->execute_file(path, translate_page, nullptr))
        return true;
    if (!kiv_file_exists(path))
        return false;
    // The error shows where the page stopped; the message may come from
    // the client, so it goes out escaped and never runs as code.
    const char* error = engine->get_error();
    kiv_trace("http_request::include_impl('%s'): %s", path, error != nullptr ? error : "(null)");
    engine->puts_impl(http_error_paragraph(page_error_line(path, engine->get_error_line()), error).c_str());
    return true;
}

// ---- uploads -----------------------------------------------------------

http_request::multipart_result http_request::take_multipart(const std::string& content_type, const std::string& body,
                                                            size_t max) try {
    bool over = false;
    std::vector<http_multipart_part> parts =
        http_split_multipart(content_type.c_str(), body.data(), body.size(), max, &over);
    if (over)
        return multipart_result::too_many;
    for (const http_multipart_part& part : parts) {
        const char* data = body.data() + part.data_offset;
        if (part.is_file()) {
            http_file_data* file = new http_file_data(part.name.c_str(), part.file_name.c_str(),
                                                      part.content_type.c_str(), data,
                                                      static_cast<unsigned>(part.data_size));
            file->addref();
            auto_ptr_t<http_file_data> holder(file);
            files_->add_item(static_cast<i_http_file_data*>(file), false);
            continue;
        }
        // A value is text: data holding a zero byte before their end
        // give an empty value. Fields replace query variables.
        std::string value(data, part.data_size);
        if (value.find('\0') != std::string::npos)
            value.clear();
        variables_.set(part.name.c_str(), value.c_str(), true);
    }
    return multipart_result::ok;
} catch (const std::bad_alloc&) {
    return multipart_result::no_memory;
}

i_object_col* http_request::get_files() {
    return static_cast<i_object_col*>(files_->copy());
}

i_http_file_data* http_request::get_file(const char* name) {
    auto_ptr_t<i_object> item(files_->get_item_by_name(name));
    i_http_file_data* file = kiv_cast_i_http_file_data(item);
    if (file != nullptr)
        file->addref();
    return file;
}

}  // namespace kiv

void _kiv_http_include(kiv::i_http_request* req, const char* path) {
    if (req != nullptr && path != nullptr && std::strstr(path, "..") == nullptr)
        req->include_html_page(path);
}
