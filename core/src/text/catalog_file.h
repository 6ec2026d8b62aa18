// catalog_file.h --
//
//     The text format of translation catalogs: "msgid " and a quoted
//     text, later "msgstr " and a quoted text; everything outside such
//     quoted texts (comments, blank lines, other keywords) is skipped.

#ifndef KIV_CORE_SRC_CATALOG_FILE_H
#define KIV_CORE_SRC_CATALOG_FILE_H

#include <map>
#include <string>

namespace kiv {

// Decodes the escapes of a quoted text in one pass: \n \r \t \" \b \f \v
// \? and \\ stand for their characters; a backslash before any other
// character is dropped and the character kept; a backslash at the very
// end is dropped.
std::string decode_catalog_escapes(const std::string& raw);

// Reads the pairs of a catalog text. A quoted text ends at the first
// double quote that is not escaped. A pair is kept when its decoded
// msgid and msgstr are both non-empty; a later pair replaces an earlier
// one with the same msgid. A msgid that another msgid follows before any
// msgstr has no translation. A quoted text cut off by the end of the
// text is dropped.
// Returns: msgid -> msgstr, both decoded.
std::map<std::string, std::string> parse_catalog(const std::string& text);

}  // namespace kiv

#endif
