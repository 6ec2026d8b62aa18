// http_translator.cpp --
//
//     Translation scripts "var kiv_i18n={...};" for browser scripts (see
//     i_http_translator.h): the collected texts, the statement built by
//     the JSON writer, and the files kept up to date without needless
//     rewrites.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/object.h>
#include <kiv/http/i_http_json_writer.h>
#include <kiv/http/i_http_translator.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace kiv {

namespace {

// What a translation file looked like when it was last written or found
// up to date; nanoseconds and size too, since one second may see two
// writes.
struct file_mark {
    int64_t seconds = 0;
    long nanoseconds = 0;
    int64_t size = 0;
    bool operator==(const file_mark& other) const {
        return seconds == other.seconds && nanoseconds == other.nanoseconds && size == other.size;
    }
};

// Returns: whether `path` exists, with its mark in `mark`.
bool mark_of(const char* path, file_mark* mark) {
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    mark->seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    mark->nanoseconds = st.st_mtim.tv_nsec;
    mark->size = static_cast<int64_t>(st.st_size);
    return true;
}

class http_translator : public object, public virtual i_http_translator {
public:
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_http_translator", static_cast<i_http_translator*>(this), out))
            return true;
        if (out != nullptr)
            *out = nullptr;
        return false;
    }

    bool add_text(const char* var_name, const char* prop_name, const char* text) override {
        if (var_name == nullptr || *var_name == '\0' || prop_name == nullptr || *prop_name == '\0' ||
            text == nullptr)
            return false;
        std::lock_guard<std::mutex> hold(lock_);
        texts_[var_name].emplace(prop_name, text);
        written_.clear();
        return true;
    }

    bool create_translation_file(const char* file_path, const char* lang, bool force_update) override {
        if (file_path == nullptr || *file_path == '\0' || lang == nullptr)
            return false;
        std::string key = std::string(file_path) + "-" + lang;
        std::lock_guard<std::mutex> hold(lock_);
        file_mark mark;
        bool exists = mark_of(file_path, &mark);
        auto recorded = written_.find(key);
        if (!force_update && exists && recorded != written_.end() && recorded->second == mark)
            return true;
        std::string text = translation_text(lang);
        if (text.empty())
            return false;
        if (!force_update && exists) {
            auto_ptr_t<i_binary> old(kiv_read_binary_file(file_path));
            if (old && old->get_data_size() == text.size() &&
                (text.empty() || std::memcmp(old->get_data(), text.data(), text.size()) == 0)) {
                written_[key] = mark;
                return true;
            }
        }
        if (!kiv_write_file(file_path, text.c_str()) || !mark_of(file_path, &mark))
            return false;
        written_[key] = mark;
        return true;
    }

    char* get_translation_text(const char* lang) override {
        if (lang == nullptr)
            return nullptr;
        std::lock_guard<std::mutex> hold(lock_);
        std::string text = translation_text(lang);
        return text.empty() ? nullptr : strdup(text.c_str());
    }

private:
    // Builds the statement under the lock. Returns: "" on failure.
    std::string translation_text(const char* lang) {
        auto_ptr_t<i_http_json_writer> writer(kiv_http_create_json_writer(false));
        if (!writer)
            return std::string();
        for (const auto& variable : texts_) {
            writer->start_object(variable.first.c_str());
            for (const auto& property : variable.second)
                writer->add_property(property.first.c_str(), kiv_translate(property.second.c_str(), lang));
            writer->stop_element();
        }
        char* json = writer->get_json(true);
        if (json == nullptr)
            return std::string();
        std::string text = std::string("var kiv_i18n=") + json + ";\n";
        std::free(json);
        return text;
    }

    std::mutex lock_;  // guards both maps
    std::map<std::string, std::map<std::string, std::string>> texts_;  // variable -> property -> source text
    std::map<std::string, file_mark> written_;  // "path-lang" -> the file as last written or checked
};

}  // namespace

}  // namespace kiv

kiv::i_http_translator* kiv_http_create_translator() {
    kiv::http_translator* translator = new kiv::http_translator;
    translator->addref();
    return translator;
}

kiv::i_http_translator* kiv_cast_i_http_translator(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_http_translator>(obj, "i_http_translator");
}
