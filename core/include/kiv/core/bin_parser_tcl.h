// bin_parser_tcl.h --
//
//     The Tcl face of the binary parser:
//
//         set p [kiv_create_bin_parser $bytes]
//         $p get_int 0 2 1 1        ;# offset ?size 4? ?invert 0? ?incr_offset 0?
//         $p get_bits 0 12 1
//         rename $p {}              ;# releases the parser
//
//     kiv_create_bin_parser takes a byte array (a string is taken as its
//     bytes, as "binary format" makes them) and parses a private copy of
//     it, so the script may drop or change its value at once. The result
//     is the name of a new command whose subcommands are the operations
//     of i_bin_parser with the same arguments: set_offset, get_offset,
//     get_start_bit, get_unparsed_size, get_int, get_float, get_double,
//     get_byte, get_bits, get_text and get_text2. Deleting the command,
//     or the interpreter, releases the parser.

#ifndef KIV_CORE_BIN_PARSER_TCL_H
#define KIV_CORE_BIN_PARSER_TCL_H

#include <kiv/core/export.h>

#include <tcl.h>

// Creates the command kiv_create_bin_parser in `interp`. Call it on the
// interpreter's own thread.
// Returns: TCL_OK, or TCL_ERROR for a null interpreter.
KIV_EXTERN_C int kiv_register_bin_parser_commands(Tcl_Interp* interp);

#endif
