// kiv_http.i --
//
//     The Tcl package "kiv_http" (Kiv_http_Init, Kiv_http_SafeInit), built
//     into kiv_http.so by cmake's kiv_add_tcl_package: the HTTP service,
//     servers, sessions, requests, uploaded files, cookies, the client, the JSON
//     writer, translation scripts and the packer, and the core's command
//     set under the same names as in the core's own package.
//     The date printer writes into a caller's buffer and is for C++ only.

%module kiv_http

%include "kiv_swig.i"
%include "kiv_core_api.i"

%{
#include <kiv/http/http_pack.h>
#include <kiv/http/http_text.h>
#include <kiv/http/i_http_client.h>
#include <kiv/http/i_http_cookie_manager.h>
#include <kiv/http/i_http_file_data.h>
#include <kiv/http/i_http_json_writer.h>
#include <kiv/http/i_http_request.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_service.h>
#include <kiv/http/i_http_session.h>
#include <kiv/http/i_http_translator.h>

#include <cstring>
%}

%ignore kiv_http_print_time;

// A script's bytes for a binary answer, with their length.
%apply (const void* data, unsigned size) { (const void* data, unsigned data_len) };

// open from a script: without a body, with a body, or with the first
// body_size bytes of it (never more than the text holds).
%ignore kiv::i_http_client::open(const char*, const char*, unsigned short, const void*, unsigned);
%extend kiv::i_http_client {
    kiv::i_http_stream* open(const char* resource, const char* host, unsigned short port) {
        return $self->open(resource, host, port, nullptr, 0);
    }
    kiv::i_http_stream* open(const char* resource, const char* host, unsigned short port, const char* body) {
        size_t size = body != nullptr ? std::strlen(body) : 0;
        return $self->open(resource, host, port, body, size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(size));
    }
    kiv::i_http_stream* open(const char* resource, const char* host, unsigned short port, const char* body,
                             unsigned body_size) {
        size_t size = body != nullptr ? std::strlen(body) : 0;
        if (body_size < size)
            size = body_size;
        return $self->open(resource, host, port, body, static_cast<unsigned>(size));
    }
}

%include <kiv/http/http_pack.h>
%include <kiv/http/http_text.h>
%include <kiv/http/i_http_cookie_manager.h>
%include <kiv/http/i_http_client.h>
%include <kiv/http/i_http_json_writer.h>
%include <kiv/http/i_http_file_data.h>
%include <kiv/http/i_http_session.h>
%include <kiv/http/i_http_server.h>
%include <kiv/http/i_http_service.h>
%include <kiv/http/i_http_request.h>
%include <kiv/http/i_http_translator.h>
