// kiv_image.i --
//
//     The Tcl package "kiv_image" (Kiv_image_Init, Kiv_image_SafeInit),
//     built into kiv_image.so by cmake's kiv_add_tcl_package: the image
//     interface (with i_image_addref and i_image_release), the image
//     library's flat functions, kiv_image_color, and the core's command
//     set under the same names as in the core's own package.

%module kiv_image

%include "kiv_swig.i"
%include "kiv_core_api.i"

%{
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

// A colour from its parts, for scripts: red | green << 8 | blue << 16 |
// alpha << 24.
static unsigned kiv_image_color(unsigned char red, unsigned char green, unsigned char blue,
                                unsigned char alpha) {
    return unsigned(red) | unsigned(green) << 8 | unsigned(blue) << 16 | unsigned(alpha) << 24;
}
%}

KIV_SCRIPT_REFERENCE_COUNT(i_image)

%include <kiv/image/i_image.h>
%include <kiv/image/image_lib.h>

unsigned kiv_image_color(unsigned char red, unsigned char green, unsigned char blue, unsigned char alpha);
