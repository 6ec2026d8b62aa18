// http_pack_service.cpp --
//
//     The packer (see http_pack.h and http_pack_service.h): pack
//     configurations parsed once per change and kept in one registry, the
//     version of a pack, the cache files and the page-request handler.

#include "pack/http_pack_service.h"

#include "request/http_file_cache.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/text_checks.h>
#include <kiv/core/text_convert.h>
#include <kiv/http/http_pack.h>
#include <kiv/http/i_http_request.h>

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace kiv {

namespace {

const size_t path_max = 4095;

// Puts the file's modification time into `when`.
// Returns: false when the file does not exist.
bool modified_time(const std::string& path, struct timespec* when) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    *when = st.st_mtim;
    return true;
}

// Returns: whether the folder of `path` (up to its last "/") holds the
//     deny file, so that nothing in it goes out: the same rule the
//     request applies to the files it serves.
bool in_denied_folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash != std::string::npos && http_deny_file_present(path.substr(0, slash));
}

// One pack configuration and the sources it lists.
class http_pack_file : public object {
public:
    std::mutex lock;                   // held while the configuration is read and while a pack is built
    bool read = false;                 // the configuration was read at `config_time`
    struct timespec config_time = {};  // modification time of the configuration when read
    std::vector<std::string> sources;  // absolute source paths in configuration order

    // Returns: the sum of the sources' and the configuration's
    //     modification times in seconds, wrapping at 32 bits; a missing
    //     source adds 0, and so does one in a denied folder, so that a
    //     deny file added beside a source makes a new pack without it.
    //     Called with `lock` held.
    uint32_t version() const {
        uint32_t sum = static_cast<uint32_t>(config_time.tv_sec);
        for (const std::string& source : sources) {
            struct timespec when;
            if (!in_denied_folder(source) && modified_time(source, &when))
                sum += static_cast<uint32_t>(when.tv_sec);
        }
        return sum;
    }
};

std::mutex registry_lock;
// Never destroyed: the HTTP service clears it from its destructor, which
// may run while the process exits (a host ending the framework from an
// exit handler), after function statics are gone.
std::map<std::string, http_pack_file*>& registry() {
    static auto* files = new std::map<std::string, http_pack_file*>;  // one reference each
    return *files;
}

// Parses the configuration text into absolute source paths.
std::vector<std::string> parse_configuration(const char* text, const std::string& doc_root) {
    std::vector<std::string> sources;
    const char* line = text;
    while (*line != '\0') {
        const char* end = std::strchr(line, '\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line);
        // A line longer than the reading buffer ends the parsing.
        if (length >= 4096)
            break;
        std::string entry(line, length);
        line += length + (end != nullptr ? 1 : 0);
        if (!entry.empty() && entry.back() == '\r')
            entry.pop_back();
        entry = entry.substr(0, entry.find('#'));
        auto_string trimmed(kiv_trim(entry.c_str()));
        if (!trimmed.is_ok() || *static_cast<const char*>(trimmed) == '\0')
            continue;
        entry = static_cast<const char*>(trimmed);
        std::string path;
        if (entry[0] == '/' || entry[0] == '$' || entry.compare(0, 2, "\\\\") == 0 ||
            (entry.size() > 1 && entry[1] == ':')) {
            auto_string absolute(kiv_get_absolute_path(entry.c_str()));
            if (!absolute.is_ok())
                continue;
            path = static_cast<const char*>(absolute);
        } else {
            path = doc_root + "/" + entry;
        }
        if (path.size() <= path_max)
            sources.push_back(path);
    }
    return sources;
}

// Returns: the pack file of the configuration at `config_path`, read
//     again when it changed, with one reference for the caller, and the
//     configuration's resolved path (no link, no "." or "..", no run of
//     "/") in `*resolved` when given; null when the configuration cannot
//     be read.
auto_ptr_t<http_pack_file> find_pack_file(i_http_server* svr, const std::string& config_path,
                                          std::string* resolved = nullptr) {
    struct timespec when;
    if (svr == nullptr || config_path.empty() || !modified_time(config_path, &when))
        return auto_ptr_t<http_pack_file>();
    // The registry keeps one entry per configuration file, whatever the
    // spelling of its path ("./a", "a//b", a link): entries live as long
    // as the service, so spellings a client invents must not add any.
    char real[PATH_MAX];
    if (realpath(config_path.c_str(), real) == nullptr)
        return auto_ptr_t<http_pack_file>();
    if (resolved != nullptr)
        *resolved = real;
    auto_ptr_t<http_pack_file> pack;
    {
        std::lock_guard<std::mutex> hold(registry_lock);
        http_pack_file*& slot = registry()[real];
        if (slot == nullptr) {
            slot = new http_pack_file;
            slot->addref();  // the registry's
        }
        slot->addref();
        pack.reset(slot);
    }
    std::lock_guard<std::mutex> hold(pack->lock);
    if (pack->read && pack->config_time.tv_sec == when.tv_sec && pack->config_time.tv_nsec == when.tv_nsec)
        return pack;
    char* text = kiv_read_file(config_path.c_str());
    if (text == nullptr)
        return auto_ptr_t<http_pack_file>();
    auto_string root(svr->get_doc_root());
    pack->sources = parse_configuration(text, root.is_ok() ? static_cast<const char*>(root) : "");
    std::free(text);
    pack->config_time = when;
    pack->read = true;
    return pack;
}

// Returns: the absolute path of the configuration `name` of `svr` for
//     `extension`; "" when it cannot be made.
std::string configuration_path(i_http_server* svr, const char* name, const std::string& extension) {
    std::string path;
    auto_string mapped(svr->get_url_mapping(name));
    if (mapped.is_ok() && *static_cast<const char*>(mapped) != '\0') {
        path = std::string(static_cast<const char*>(mapped)) + ".pack-" + extension + ".cfg";
    } else {
        auto_string root(svr->get_doc_root());
        if (!root.is_ok())
            return std::string();
        path = std::string(static_cast<const char*>(root)) + "/" + name + ".pack-" + extension + ".cfg";
    }
    auto_string absolute(kiv_get_absolute_path(path.c_str()));
    return absolute.is_ok() ? std::string(static_cast<const char*>(absolute)) : std::string();
}

// Returns: the name of the pack of the configuration at the resolved
//     path `resolved`: the path without its ending ".pack-<extension>.cfg"
//     (the whole path when it has another name, as a link's target may).
std::string pack_name(const std::string& resolved, const std::string& extension) {
    std::string ending = ".pack-" + extension + ".cfg";
    return ends_with(resolved, ending) ? resolved.substr(0, resolved.size() - ending.size()) : resolved;
}

bool letters_and_digits(const char* text) {
    for (const char* p = text; *p != '\0'; ++p)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')))
            return false;
    return true;
}

}  // namespace

http_pack_service::http_pack_service(const char* mime_type, const char* extension)
    : mime_type_(mime_type), extension_(extension) {
    std::string temp = kiv_temp_path();
    if (!temp.empty() && kiv_make_path((temp + "/http_pack_cache").c_str())) {
        kiv_install_handler("KIV_EVT_HTTP_PAGE_REQUEST", 0, this,
                            static_cast<kiv_event_function>(&http_pack_service::on_page));
        installed_ = true;
    }
}

http_pack_service::~http_pack_service() {
    if (installed_)
        kiv_uninstall_handler("KIV_EVT_HTTP_PAGE_REQUEST", 0, this,
                              static_cast<kiv_event_function>(&http_pack_service::on_page));
}

bool http_pack_service::on_page(i_event* evt) {
    auto_ptr_t<i_object> payload(evt != nullptr ? evt->get_event_object() : nullptr);
    i_http_request* request = kiv_cast_i_http_request(payload);
    if (request == nullptr)
        return true;
    const char* page = request->get_request_page();
    if (std::strncmp(page, "/pack", 5) != 0 || page[5] == '\0' ||
        std::strncmp(page + 6, extension_.c_str(), extension_.size()) != 0)
        return true;

    const char* name = request->get_var_value("c");
    std::string temp = kiv_temp_path();
    auto_ptr_t<i_http_server> server(request->get_server());
    if (!server || name == nullptr || *name == '\0' || temp.empty() || std::strstr(name, "..") != nullptr ||
        std::strchr(name, '$') != nullptr)
        return false;
    std::string u = request->get_var_value("u");
    if (!letters_and_digits(u.c_str()))
        return false;
    if (u.empty() && extension_ == "css")
        u = "1";

    // A configuration in a denied folder is not packed: the request goes
    // on, and the folder's deny file answers it.
    std::string config_path = configuration_path(server, name, extension_);
    if (in_denied_folder(config_path))
        return false;
    std::string resolved;
    auto_ptr_t<http_pack_file> pack(find_pack_file(server, config_path, &resolved));
    if (!pack)
        return false;
    std::lock_guard<std::mutex> hold(pack->lock);
    char version[16];
    std::snprintf(version, sizeof version, "%x", pack->version());

    // The cache file is named after the configuration found, not after
    // "c" as the client spelled it: "app", "./app", ".//app" and a link
    // to it name one configuration, whose pack is one file (and has one
    // gzip copy) per version.
    i_named_object* named = kiv_cast_i_named_object(server);
    std::string cache_path = temp + "/http_pack_cache/" + (named != nullptr ? named->get_name() : "") +
                             pack_name(resolved, extension_);
    size_t slash = cache_path.rfind('/');
    std::string cache_dir = cache_path.substr(0, slash);
    if (!kiv_dir_exists(cache_dir.c_str()) && !kiv_make_path(cache_dir.c_str()))
        return true;
    // The flag is named by what it means, unminified ("1") or not (""):
    // a value a client invents makes no new file.
    bool unminified = u.compare(0, 1, "1") == 0;
    std::string cache_file = cache_path + ".pack-" + extension_ + (unminified ? "1" : "") + "-" + version + ".cfg";

    request->set_response_code("200 OK");
    request->send_header("Content-Type", mime_type_.c_str());
    if (kiv_file_exists(cache_file.c_str())) {
        request->send_file(cache_file.c_str(), false);
        return false;
    }
    std::string content;
    bool first = true;
    for (const std::string& source : pack->sources) {
        char* text = in_denied_folder(source) ? nullptr : kiv_read_file(source.c_str());
        if (text == nullptr)
            continue;
        if (!first)
            content += "\n";
        first = false;
        content += text;
        std::free(text);
    }
    if (extension_ == "js" && !unminified) {
        char* packed = kiv_http_minify_js(content.c_str());
        if (packed != nullptr) {
            content = packed;
            std::free(packed);
        }
    }
    if (!kiv_file_exists(cache_file.c_str()) && !kiv_write_file(cache_file.c_str(), content.c_str()))
        return false;
    request->send_file(cache_file.c_str(), false);
    return true;
}

void http_pack_clear_registry() {
    std::map<std::string, http_pack_file*> files;
    {
        std::lock_guard<std::mutex> hold(registry_lock);
        files.swap(registry());
    }
    for (auto& entry : files)
        entry.second->release();
}

}  // namespace kiv

uint32_t kiv_http_pack_file_version(kiv::i_http_server* svr, const char* path) {
    if (svr == nullptr || path == nullptr || *path == '\0')
        return 0;
    auto_ptr_t<kiv::http_pack_file> pack(kiv::find_pack_file(svr, path));
    if (!pack)
        return 0;
    std::lock_guard<std::mutex> hold(pack->lock);
    return pack->version();
}
