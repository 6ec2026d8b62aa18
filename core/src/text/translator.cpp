// translator.cpp --
//
//     The translation service: roots, languages, catalog records, their
//     refresh on background ticks, and kiv_translate.

#include "text/translator.h"

#include "text/catalog_file.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/log.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const char* const post_load_event = "KIV_CORE_EVT_POST_LOAD_LIBRARY";
const char* const bg_task_event = "KIV_CORE_EVT_BG_TASK";
const unsigned ticks_per_refresh = 5;
// Catalogs are hand-written message lists; anything bigger is not one.
const uint64_t max_catalog_size = 64ull * 1024 * 1024;

struct freer {
    void operator()(char* p) const { free(p); }
};

// The name of the library a load event announces. The event's object is
// the loaded library, whose i_named_object answer carries the name its
// kiv_library_name gave; that is all the translator needs to know of it.
// Returns: the name, or the empty text when the event carries none.
std::string loaded_library_name(i_event* evt) {
    auto_ptr_t<i_object> library(evt != nullptr ? evt->get_event_object() : nullptr);
    i_named_object* named = kiv_cast_i_named_object(library);
    return named != nullptr ? std::string(named->get_name()) : std::string();
}

// Returns: the modification time of the regular file at `path`; false
//     when it is missing or not a regular file.
bool file_time(const std::string& path, timespec* when) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *when = st.st_mtim;
    return true;
}

bool same_time(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Reads a whole file as bytes. Returns: false when it cannot be opened,
//     read or is over the cap.
bool read_bytes(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || uint64_t(st.st_size) > max_catalog_size) {
        kiv_log(0, "translator: %s is larger than a catalog can be; not read", path.c_str());
        std::fclose(f);
        return false;
    }
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char chunk[8192];
    bool good = true;
    for (;;) {
        size_t n = std::fread(chunk, 1, sizeof chunk, f);
        data.append(chunk, n);
        if (data.size() > max_catalog_size) {  // grew while being read
            good = false;
            break;
        }
        if (n < sizeof chunk) {
            good = std::ferror(f) == 0;
            break;
        }
    }
    std::fclose(f);
    if (good)
        out->swap(data);
    return good;
}

}  // namespace

translator::translator() {
    set_name("translator");
    handlers(true);
}

translator::~translator() {
    handlers(false);
}

void translator::handlers(bool install) {
    if (install) {
        events_ = auto_ptr_t<i_object>(find_service("svc_event"));
    }
    i_event_proc* proc = kiv_cast_i_event_proc(events_);
    if (proc == nullptr)
        return;
    const kiv_event_function post_load = static_cast<kiv_event_function>(&translator::on_post_load);
    const kiv_event_function bg_task = static_cast<kiv_event_function>(&translator::on_bg_task);
    uint32_t post_load_type = proc->get_event_type(post_load_event);
    uint32_t bg_task_type = proc->get_event_type(bg_task_event);
    if (install) {
        proc->install_handler(post_load_type, 0, this, post_load);
        proc->install_handler(bg_task_type, 0, this, bg_task);
    } else {
        proc->uninstall_handler(post_load_type, 0, this, post_load);
        proc->uninstall_handler(bg_task_type, 0, this, bg_task);
        events_.reset();
    }
}

bool translator::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_translator", static_cast<i_translator*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

const char* translator::translate(const char* msg, const char* language) {
    if (msg == nullptr || language == nullptr)
        return "";
    mutex_locker lock(this);
    const std::string& wanted = *language != '\0' ? std::string(language) : language_;
    for (const std::unique_ptr<record>& rec : records_) {
        if (rec->stale || rec->language != wanted)
            continue;
        auto hit = rec->messages.find(msg);
        if (hit != rec->messages.end())
            return hit->second->c_str();
    }
    return msg;
}

void translator::set_language(const char* language) {
    if (language == nullptr || *language == '\0')
        return;
    kiv_trace("translator::set_language(%s)", language);
    mutex_locker lock(this);
    language_ = language;
}

void translator::add_catalog(const char* catalog) {
    if (catalog == nullptr)
        return;
    mutex_locker lock(this);
    for (const std::string& known : catalogs_)
        if (known == catalog)
            return;
    catalogs_.push_back(catalog);
    std::string name(catalog);
    refresh(&name);
}

void translator::add_search_path(const char* path) {
    if (path == nullptr)
        return;
    std::unique_ptr<char, freer> absolute(kiv_get_absolute_path(path));
    if (!absolute)
        return;
    mutex_locker lock(this);
    for (const std::string& root : roots_)
        if (root == absolute.get())
            return;
    roots_.push_back(absolute.get());
}

bool translator::on_post_load(i_event* evt) {
    if (loaded_library_name(evt) != "kiv_core")
        return true;
    mutex_locker lock(this);
    add_search_path("${KIV_ROOT_PATH}/i18n");
    std::string value;
    if (kiv_get_env("KIV_TRANSLATION_PATH", value) && !value.empty())
        add_search_path("${KIV_TRANSLATION_PATH}");
    return true;
}

bool translator::on_bg_task(i_event*) {
    mutex_locker lock(this);
    if (ticks_ < ticks_per_refresh) {
        ++ticks_;
        return true;
    }
    ticks_ = 0;
    refresh(nullptr);
    return true;
}

void translator::refresh(const std::string* only) {
    find_languages();
    for (const std::string& catalog : catalogs_) {
        if (only != nullptr && catalog != *only)
            continue;
        for (const std::string& language : languages_)
            for (const std::string& root : roots_)
                refresh_file(root, language, catalog, only == nullptr);
    }
    publish_languages();
    retire_vanished();
}

void translator::find_languages() {
    for (const std::string& root : roots_) {
        auto_ptr_t<i_object_col> dirs(kiv_scan_dir(root.c_str(), "*", 2));
        for (unsigned i = 0; dirs && i < dirs->get_count(); ++i) {
            auto_ptr_t<i_object> item(dirs->get_item_by_pos(i));
            i_string* name = kiv_cast_i_string(item);
            if (name == nullptr)
                continue;
            const char* dir = name->get_value();
            if (*dir == '\0' || ascii_stricmp(dir, "cvs") == 0 || ascii_stricmp(dir, ".svn") == 0)
                continue;
            bool known = false;
            for (const std::string& language : languages_)
                known = known || language == dir;
            if (!known)
                languages_.push_back(dir);
        }
    }
}

void translator::refresh_file(const std::string& root, const std::string& language, const std::string& catalog,
                              bool full) {
    if (language.compare(0, 4, ".svn") == 0)
        return;
    std::string path = root + "/" + language + "/" + catalog + ".lng";
    timespec modified;
    if (!file_time(path, &modified))
        return;
    for (const std::unique_ptr<record>& rec : records_) {
        if (rec->path != path)
            continue;
        // Any change of the time counts, also a file put back older.
        bool changed = !same_time(rec->loaded, modified) || (rec->loaded.tv_sec == 0 && rec->loaded.tv_nsec == 0);
        if (changed && load(*rec, full))
            rec->loaded = modified;
        rec->stale = false;
        return;
    }
    std::unique_ptr<record> rec(new record);
    rec->language = language;
    rec->catalog = catalog;
    rec->path = path;
    rec->loaded = modified;
    if (load(*rec, full))
        records_.push_back(std::move(rec));
}

bool translator::load(record& rec, bool full) {
    if (full)
        kiv_trace("translator::reload_catalog('%s', '%s')", rec.catalog.c_str(), rec.path.c_str());
    std::string text;
    if (!read_bytes(rec.path, &text))
        return false;
    // Messages the file no longer holds stay with their old texts.
    for (const auto& pair : parse_catalog(text))
        rec.messages[pair.first] = keep(pair.second);
    return true;
}

const std::string* translator::keep(const std::string& text) {
    return &*texts_.insert(text).first;
}

void translator::publish_languages() {
    std::string joined;
    for (const std::string& language : languages_) {
        if (!joined.empty())
            joined += ',';
        joined += language;
    }
    // Every change of the environment costs (the C library keeps each
    // old text), so the variable is written only when it differs.
    if (kiv_get_env("KIV_I18N_LANGS") != joined)
        kiv_set_env("KIV_I18N_LANGS", joined.c_str());
}

void translator::retire_vanished() {
    for (auto it = records_.begin(); it != records_.end(); ++it) {
        timespec modified;
        if (file_time((*it)->path, &modified))
            continue;
        if ((*it)->stale) {
            records_.erase(it);
            return;  // one removal per refresh
        }
        (*it)->stale = true;
    }
}

}  // namespace kiv

using namespace kiv;

i_translator* kiv_cast_i_translator(i_object* obj) {
    return cast_interface<i_translator>(obj, "i_translator");
}

const char* kiv_translate(const char* msg, const char* lang) {
    i_core* core = kiv_core();
    if (core == nullptr)
        return msg;
    auto_ptr_t<i_object> service(core->get_service("svc_translator"));
    i_translator* translator = kiv_cast_i_translator(service);
    return translator != nullptr ? translator->translate(msg, lang) : msg;
}
