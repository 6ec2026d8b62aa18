// i_http_translator.h --
//
//     Translation scripts for a site's browser scripts: a translator
//     collects named texts in the source language per script variable
//     and writes, per language, the statement
//
//         var kiv_i18n={variable:{property:"translated text",...},...};
//
//     with every text translated through kiv_translate. Files are
//     rewritten only when their content would change, so browsers and
//     caches keep them as long as possible. Sites make a translator with
//     kiv_http_create_translator and drive it from Tcl:
//
//         set t [kiv_http_create_translator]
//         i_http_translator_add_text $t menu open "Open"
//         i_http_translator_create_translation_file $t $root/i18n-ru.js ru
//
//     All operations hold the translator's own lock: any thread.

#ifndef KIV_HTTP_I_HTTP_TRANSLATOR_H
#define KIV_HTTP_I_HTTP_TRANSLATOR_H

#include <kiv/core/i_object.h>

namespace kiv {

class i_http_translator : public virtual i_object {
public:
    // Adds the text of `prop_name` in the variable `var_name`; a property
    // already there keeps its first text. Every translation file is
    // compared with its content again on its next creation.
    // Returns: false for a null or empty name or a null text.
    virtual bool add_text(const char* var_name, const char* prop_name, const char* text) = 0;
    // Makes sure `file_path` holds the translation text for `lang`. The
    // file is left untouched when it did not change since this translator
    // last wrote or checked it and no text was added since, or when it
    // already holds exactly that text; `force_update` always rewrites it.
    // Writing goes through a temporary file, so a failed write leaves the
    // old file.
    // Returns: false for a null or empty path, a null language, or a
    //     failed write.
    virtual bool create_translation_file(const char* file_path, const char* lang, bool force_update = false) = 0;
    // Returns: "var kiv_i18n=" + the JSON object of every text translated
    //     to `lang` + ";\n", as a heap text the caller frees; null for a
    //     null language.
    virtual char* get_translation_text(const char* lang) = 0;

protected:
    ~i_http_translator() = default;
};

}  // namespace kiv

// Returns: a new translator with one reference for the caller.
KIV_EXTERN_C kiv::i_http_translator* kiv_http_create_translator();
KIV_EXTERN_C kiv::i_http_translator* kiv_cast_i_http_translator(kiv::i_object* obj);

#endif
