// kiv_core_api.i --
//
//     The core's command set: its interfaces and plain exports as SWIG
//     sees them. The core's own package wraps it, and every other
//     library's package wraps it again under the same names, so a script
//     that loaded any one package has the core's commands.
//
//     Left out on purpose: raw-memory and ownership-taking calls
//     (i_string::assign, i_binary::assign_data, writer block allocation),
//     handler installation (a C++ member function is no script value),
//     raw socket calls on descriptors, module handles,
//     UTF-16 and out-parameter helpers, compiled script objects, the
//     library protocol (the loader's, not scripts'), and the registry's
//     own functions, which take Tcl command tokens.

%{
#include <kiv/core/bin_text.h>
#include <kiv/core/charset.h>
#include <kiv/core/checksum.h>
#include <kiv/core/col_sort.h>
#include <kiv/core/config.h>
#include <kiv/core/files.h>
#include <kiv/core/i_bin_parser.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/i_md5_encoder.h>
#include <kiv/core/i_object.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_property_manager.h>
#include <kiv/core/i_script.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/i_stream.h>
#include <kiv/core/i_string.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/i_time.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/plugins.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>
#include <kiv/core/calendar.h>
#include <kiv/core/next_id.h>
#include <kiv/core/net_byte_order.h>
#include <kiv/core/process.h>
#include <kiv/core/text_convert.h>
#include <kiv/core/utf8.h>
#include <kiv/core/wildcard.h>

// The script's text is an argument of "%s", never a format.
static void kiv_script_trace(const char* text) {
    kiv_trace("%s", text != nullptr ? text : "");
}
static void kiv_script_log(unsigned level, const char* text) {
    kiv_log(level, "%s", text != nullptr ? text : "");
}
%}

%ignore kiv::i_string::assign;
%ignore kiv::i_binary::assign_data;
%ignore kiv::i_binary_data_writer::allocate_block;
%ignore kiv::i_binary_data_writer::enlarge_block;
%ignore kiv::i_script_code::get_compiled_code;
%ignore kiv::i_script_object_subsitutor::get_object_pointer;
%ignore kiv_cast_script_service;
%ignore kiv::event;
%ignore kiv::i_event_proc::install_handler;
%ignore kiv::i_event_proc::uninstall_handler;
%ignore kiv_install_handler;
%ignore kiv_uninstall_handler;
%ignore kiv_cast_event_proc;
%ignore kiv_cast_xml_node;
%ignore kiv_cast_xml_proc;
%ignore kiv::i_kiv_library::get_handle;
%ignore kiv_net_send;
%ignore kiv_net_recv;
%ignore kiv_net_tcp_open;
%ignore kiv_script_key_start;
%ignore kiv_iconv_to_utf16;
%ignore kiv_iconv_from_utf16;
%ignore kiv_make_dirs;  // its errno goes out through a pointer; scripts have kiv_make_path
%ignore kiv_strat;
%ignore kiv_get_unicode_char;
%ignore kiv_format_time_impl;
%ignore kiv_trace;
%ignore kiv_log;
%ignore kiv_vtrace;
%ignore kiv_vlog;
%ignore kiv::log_flush_files;
%ignore kiv::log_close_files;

// The parser keeps its own copy of the bytes: the Tcl value they come
// from may change or go once the command returns.
%typemap(in, numinputs=0) bool copy "$1 = true;"

%include <kiv/core/i_object.h>
%include <kiv/core/i_string.h>
%include <kiv/core/i_binary.h>
%include <kiv/core/i_object_col.h>
%include <kiv/core/i_core.h>
%include <kiv/core/i_stream.h>
%include <kiv/core/i_time.h>
%include <kiv/core/i_string_proc.h>
%include <kiv/core/i_property_manager.h>
%include <kiv/core/i_bin_parser.h>
%include <kiv/core/i_md5_encoder.h>
%include <kiv/core/i_encryptor.h>
%include <kiv/core/i_event.h>
%include <kiv/core/i_event_proc.h>
%include <kiv/core/i_script.h>
%include <kiv/core/i_socket_service.h>
%include <kiv/core/i_translator.h>
%include <kiv/core/i_xml.h>
%include <kiv/core/i_kiv_library.h>
%include <kiv/core/bin_text.h>
%include <kiv/core/charset.h>
%include <kiv/core/col_sort.h>
%include <kiv/core/files.h>
%include <kiv/core/log.h>
%include <kiv/core/plugins.h>
%include <kiv/core/calendar.h>
%include <kiv/core/next_id.h>
%include <kiv/core/net_byte_order.h>
%include <kiv/core/process.h>
%include <kiv/core/text_convert.h>
%include <kiv/core/utf8.h>
%include <kiv/core/wildcard.h>

// Configuration (config.h also holds a class scripts do not use).
bool kiv_load_config(const char* file_path);
bool kiv_load_environment(const char* path);

// Script defaults: kiv_crc32 starts at 0, kiv_crc16 at 0x1973.
unsigned kiv_crc32(const void* data, unsigned data_size, unsigned start_val = 0);
unsigned short kiv_crc16(const void* data, unsigned data_size, unsigned short start_val = 0x1973);

%rename(kiv_trace) kiv_script_trace;
%rename(kiv_log) kiv_script_log;
void kiv_script_trace(const char* text);
void kiv_script_log(unsigned level, const char* text);
