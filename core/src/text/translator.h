// translator.h --
//
//     The translation service object, registered by the core's library
//     entry as "svc_translator". One mutex, the object's own, covers every
//     operation and both event handlers, which run on the loading thread
//     (post-load) and on pool workers (background ticks).

#ifndef KIV_CORE_SRC_TRANSLATOR_H
#define KIV_CORE_SRC_TRANSLATOR_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/mutex.h>
#include <kiv/core/string_impl.h>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace kiv {

class translator : public object, public mutex, public i_named_object_impl, public virtual i_translator {
public:
    // Name "translator", language "en"; installs the handlers of
    // "KIV_CORE_EVT_POST_LOAD_LIBRARY" and "KIV_CORE_EVT_BG_TASK" with
    // "svc_event", which it holds until it is destroyed.
    translator();
    // Uninstalls both handlers (waiting for any still running).
    ~translator() override;

    // Answers "i_translator", then "i_named_object".
    bool get_interface(const char* name, void** out) override;

    const char* translate(const char* msg, const char* language) override;
    void set_language(const char* language) override;
    void add_catalog(const char* catalog) override;
    void add_search_path(const char* path) override;

private:
    // One catalog file as last read.
    struct record {
        std::string language;
        std::string catalog;
        std::string path;        // "<root>/<language>/<catalog>.lng"
        timespec loaded{0, 0};   // the file's modification time when read; {0, 0}: never
        std::map<std::string, const std::string*> messages;  // msgid -> text in texts_
        bool stale = false;      // the file was missing at the last refresh
    };

    bool on_post_load(i_event* evt);
    bool on_bg_task(i_event* evt);
    // Re-reads what changed for one catalog name (null: all of them),
    // publishes the languages and retires records of vanished files.
    void refresh(const std::string* only);
    void find_languages();
    void refresh_file(const std::string& root, const std::string& language, const std::string& catalog,
                      bool full);
    // Reads the file into `rec`, merging its pairs over the old ones.
    // Returns: false when the file cannot be read (rec is unchanged).
    bool load(record& rec, bool full);
    void publish_languages();
    void retire_vanished();
    // Returns: a pointer to the kept copy of `text`, valid for the
    //     service's life.
    const std::string* keep(const std::string& text);
    void handlers(bool install);

    std::string language_ = "en";          // the current language
    std::vector<std::string> roots_;       // absolute, in the order added
    std::vector<std::string> languages_;   // in the order found
    std::vector<std::string> catalogs_;    // names, in the order added
    std::vector<std::unique_ptr<record>> records_;  // in the order first read
    // Every translation ever read. Texts handed out by translate point
    // here, so a reload or a removed record never frees one under a
    // caller; the set only grows by texts that differ from all before.
    std::unordered_set<std::string> texts_;
    unsigned ticks_ = 1;           // background ticks; a full refresh when it reaches 5
    auto_ptr_t<i_object> events_;  // "svc_event" while the handlers are installed; null: none
};

}  // namespace kiv

#endif
