// i_translator.h --
//
//     Translation of user-visible messages into the current language,
//     reached as the service "svc_translator" or through kiv_translate.
//     Catalogs are ".lng" files of msgid / msgstr pairs, one per language
//     and catalog name, at "<root>/<language>/<catalog>.lng"; every
//     sub-directory of a root is a language. The service re-reads changed
//     catalogs in the background and publishes the languages it found in
//     the environment variable KIV_I18N_LANGS ("de,en").
//
//     The roots "${KIV_ROOT_PATH}/i18n" and, when set,
//     "${KIV_TRANSLATION_PATH}" are added when kiv_core itself has been
//     loaded; each library's catalog is added by name with add_catalog.

#ifndef KIV_CORE_I_TRANSLATOR_H
#define KIV_CORE_I_TRANSLATOR_H

#include <kiv/core/i_string.h>

namespace kiv {

class i_translator : public virtual i_named_object {
public:
    // Looks `msg` up in the catalogs of `language` (empty: the current
    // language), in the order the catalogs were first read; catalogs
    // whose file has disappeared are passed over.
    // Returns: the translation, owned by the service and valid as long as
    //     the service lives (a later reload does not free it); `msg`
    //     itself when no catalog has it; the empty text for a null `msg`
    //     or `language`. Any thread.
    virtual const char* translate(const char* msg, const char* language) = 0;
    // Makes `language` the current one; null or empty is ignored.
    virtual void set_language(const char* language) = 0;
    // Adds a catalog name (null or known: ignored) and reads its files
    // under every root at once.
    virtual void add_catalog(const char* catalog) = 0;
    // Adds a root (made absolute under KIV_ROOT_PATH, ${VAR} expanded;
    // null, unresolvable or known: ignored). Nothing is read at once.
    virtual void add_search_path(const char* path) = 0;

protected:
    ~i_translator() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_translator* kiv_cast_i_translator(kiv::i_object* obj);

// Translates through "svc_translator" (see i_translator::translate).
// Returns: `msg` itself without a core or the service.
KIV_EXTERN_C const char* kiv_translate(const char* msg, const char* lang);

#endif
