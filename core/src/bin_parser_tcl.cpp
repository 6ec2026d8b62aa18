// bin_parser_tcl.cpp --
//
//     Tcl commands over the binary parser. The bytes of a Tcl value live
//     only as long as the value does, so the parser always gets its own
//     copy of them, taken with their length (zero bytes included).

#include <kiv/core/bin_parser_tcl.h>
#include <kiv/core/i_bin_parser.h>
#include <kiv/core/runtime.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const subcommands[] = {"set_offset", "get_offset", "get_start_bit", "get_unparsed_size", "get_int",
                                   "get_float",  "get_double", "get_byte",      "get_bits",          "get_text",
                                   "get_text2",  nullptr};

enum subcommand {
    cmd_set_offset,
    cmd_get_offset,
    cmd_get_start_bit,
    cmd_get_unparsed_size,
    cmd_get_int,
    cmd_get_float,
    cmd_get_double,
    cmd_get_byte,
    cmd_get_bits,
    cmd_get_text,
    cmd_get_text2
};

// Reads an unsigned 32-bit argument. Returns: false with an error result.
bool get_unsigned(Tcl_Interp* interp, Tcl_Obj* obj, unsigned* value) {
    Tcl_WideInt wide;
    if (Tcl_GetWideIntFromObj(interp, obj, &wide) != TCL_OK)
        return false;
    if (wide < 0 || wide > UINT32_MAX) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("expected an unsigned 32-bit integer but got \"%s\"",
                                               Tcl_GetString(obj)));
        return false;
    }
    *value = static_cast<unsigned>(wide);
    return true;
}

bool get_bool(Tcl_Interp* interp, Tcl_Obj* obj, bool* value) {
    int flag;
    if (Tcl_GetBooleanFromObj(interp, obj, &flag) != TCL_OK)
        return false;
    *value = flag != 0;
    return true;
}

// Argument lists of the subcommands after the subcommand name: the
// number required, the number allowed, and the usage text.
struct usage {
    int min_args;
    int max_args;
    const char* text;
};

const usage usages[] = {
    {2, 2, "val start_bit"},
    {0, 0, ""},
    {0, 0, ""},
    {0, 0, ""},
    {1, 4, "offset ?size? ?invert? ?incr_offset?"},
    {3, 3, "offset invert incr_offset"},
    {3, 3, "offset invert incr_offset"},
    {2, 2, "offset incr_offset"},
    {3, 3, "offset bit_count incr_offset"},
    {2, 2, "offset incr_offset"},
    {3, 3, "offset size incr_offset"},
};

int parser_command(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    kiv::i_bin_parser* parser = static_cast<kiv::i_bin_parser*>(data);
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "subcommand ?arg ...?");
        return TCL_ERROR;
    }
    int index;
    if (Tcl_GetIndexFromObj(interp, objv[1], subcommands, "subcommand", 0, &index) != TCL_OK)
        return TCL_ERROR;
    const usage& u = usages[index];
    int argc = objc - 2;
    if (argc < u.min_args || argc > u.max_args) {
        Tcl_WrongNumArgs(interp, 2, objv, u.text);
        return TCL_ERROR;
    }
    Tcl_Obj* const* args = objv + 2;
    unsigned a0 = 0, a1 = 0;
    bool flag1 = false, flag2 = false;
    switch (index) {
    case cmd_set_offset:
        if (!get_unsigned(interp, args[0], &a0) || !get_unsigned(interp, args[1], &a1))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewBooleanObj(parser->set_offset(a0, a1)));
        return TCL_OK;
    case cmd_get_offset:
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(parser->get_offset()));
        return TCL_OK;
    case cmd_get_start_bit:
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(parser->get_start_bit()));
        return TCL_OK;
    case cmd_get_unparsed_size:
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(parser->get_unparsed_size()));
        return TCL_OK;
    case cmd_get_int: {
        unsigned size = 4;
        if (!get_unsigned(interp, args[0], &a0) || (argc > 1 && !get_unsigned(interp, args[1], &size)) ||
            (argc > 2 && !get_bool(interp, args[2], &flag1)) || (argc > 3 && !get_bool(interp, args[3], &flag2)))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(parser->get_int(a0, size, flag1, flag2)));
        return TCL_OK;
    }
    case cmd_get_float:
    case cmd_get_double:
        if (!get_unsigned(interp, args[0], &a0) || !get_bool(interp, args[1], &flag1) ||
            !get_bool(interp, args[2], &flag2))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewDoubleObj(index == cmd_get_float ? parser->get_float(a0, flag1, flag2)
                                                                         : parser->get_double(a0, flag1, flag2)));
        return TCL_OK;
    case cmd_get_byte:
        if (!get_unsigned(interp, args[0], &a0) || !get_bool(interp, args[1], &flag1))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewIntObj(parser->get_byte(a0, flag1)));
        return TCL_OK;
    case cmd_get_bits:
        if (!get_unsigned(interp, args[0], &a0) || !get_unsigned(interp, args[1], &a1) ||
            !get_bool(interp, args[2], &flag1))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(parser->get_bits(a0, a1, flag1)));
        return TCL_OK;
    case cmd_get_text:
        if (!get_unsigned(interp, args[0], &a0) || !get_bool(interp, args[1], &flag1))
            return TCL_ERROR;
        Tcl_SetObjResult(interp, Tcl_NewStringObj(parser->get_text(a0, flag1), -1));
        return TCL_OK;
    case cmd_get_text2: {
        if (!get_unsigned(interp, args[0], &a0) || !get_unsigned(interp, args[1], &a1) ||
            !get_bool(interp, args[2], &flag1))
            return TCL_ERROR;
        char* text = parser->get_text2(a0, a1, flag1);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text != nullptr ? text : "", -1));
        free(text);
        return TCL_OK;
    }
    }
    return TCL_ERROR;
}

void parser_deleted(ClientData data) {
    static_cast<kiv::i_bin_parser*>(data)->release();
}

int create_command(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "bytes");
        return TCL_ERROR;
    }
    int length = 0;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(objv[1], &length);
    kiv::i_bin_parser* parser =
        length > 0 ? kiv_create_bin_parser(bytes, static_cast<unsigned>(length), true) : nullptr;
    if (parser == nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(length > 0 ? "out of memory" : "no bytes to parse", -1));
        return TCL_ERROR;
    }
    char name[64];
    std::snprintf(name, sizeof name, "kiv_bin_parser%lld", static_cast<long long>(kiv_get_next_id()));
    Tcl_CreateObjCommand(interp, name, parser_command, parser, parser_deleted);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(name, -1));
    return TCL_OK;
}

}  // namespace

int kiv_register_bin_parser_commands(Tcl_Interp* interp) {
    if (interp == nullptr)
        return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "kiv_create_bin_parser", create_command, nullptr, nullptr);
    return TCL_OK;
}
