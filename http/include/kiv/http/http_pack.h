// http_pack.h --
//
//     The script and style packer of the web server: a page asks for
//     "/pack.js?c=NAME" or "/pack.css?c=NAME" (any one character between
//     "/pack" and the extension; a "u" that begins with "1" leaves
//     scripts unminified; only letters and digits are accepted in "u")
//     and gets the source files listed in the pack configuration
//     "NAME.pack-<ext>.cfg" joined into one answer, scripts minified,
//     from a cache file whose name carries a version of the sources. A
//     configuration or a source in a folder that holds
//     ".deny_http_access" is never packed. The two packer services
//     "svc_http_js_packer" and "svc_http_css_packer" are made by the
//     library's entry; pages put the version into their links through
//     kiv_http_pack_file_version so browsers never keep a stale pack.

#ifndef KIV_HTTP_HTTP_PACK_H
#define KIV_HTTP_HTTP_PACK_H

#include <kiv/core/export.h>
#include <kiv/http/i_http_server.h>

#include <cstdint>

// Minifies JavaScript: comments and needless blanks and line breaks go,
// string and regular-expression literals stay as they are; carriage
// returns become line feeds, other control bytes blanks. An output that
// starts with an identifier character or one of "{[(+-" begins with a
// line feed.
// Returns: a heap text the caller frees (empty when the text held only
//     blanks and comments); a copy of the text unchanged when it holds
//     an unterminated comment, string or regular expression (the
//     minifier cannot know where it ends); null for null input or when
//     memory fails.
// Reentrant; any thread.
KIV_EXTERN_C char* kiv_http_minify_js(const char* text);

// Returns: the version of the pack configuration at exactly `path` (an
//     absolute configuration path) for the server `svr`: the sum of its
//     sources' modification times and of the configuration's own,
//     wrapping at 32 bits (a source in a denied folder counts as
//     missing); 0 for a null server, a null or empty path or a
//     configuration that cannot be read. Any thread.
KIV_EXTERN_C uint32_t kiv_http_pack_file_version(kiv::i_http_server* svr, const char* path);

#endif
