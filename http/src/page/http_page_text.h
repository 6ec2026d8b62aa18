// http_page_text.h --
//
//     The texts of Tcl pages (".html" files: HTML with Tcl code between
//     "<?" and "?>"), with no engine and no request: the translation of
//     a page into the Tcl script that prints it, and the paragraph that
//     reports a script error inside the page's output. The request engine
//     uses them; tests and the fuzz target reach them alone through
//     kiv_http_internal. All functions are reentrant and safe from any
//     thread.

#ifndef KIV_HTTP_SRC_HTTP_PAGE_TEXT_H
#define KIV_HTTP_SRC_HTTP_PAGE_TEXT_H

#include <cstddef>
#include <string>

namespace kiv {

// Turns a page into a Tcl script. Every stretch of text becomes, on a
// line of its own, `puts "..."` with the text escaped so that it prints
// exactly (line breaks, tabs, brackets, braces, "$", quotes and
// backslashes); code between "<?" and "?>" is copied unchanged. A last
// "<?" without "?>" drops itself and everything after it.
// Returns: the script (empty for an empty page).
std::string http_translate_page(const char* text, size_t length);

// Returns: the line of the page `text` (of `length` bytes) that line
//     `script_line` of its translation comes from, so that an error is
//     reported where the page's author sees it; `script_line` itself
//     when the script has no such line.
int http_page_line(const char* text, size_t length, int script_line);

// Returns: `text` as one Tcl word in double quotes that stands for
//     exactly these bytes: no substitution, no word break.
std::string http_tcl_quote(const char* text, size_t length);

// Returns: "<p>HTTP error on line LINE: MESSAGE</p>" with "&", "<", ">"
//     and '"' of the message escaped as HTML; a null message reads
//     "(null)".
std::string http_error_paragraph(int line, const char* message);

}  // namespace kiv

#endif
