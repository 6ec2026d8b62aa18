// i_http_json_writer.h --
//
//     The JSON writer of the HTTP library: pages, the GIS service and
//     scripts build their JSON answers with it, member by member, and
//     take the finished text in one call.
//
//     The text follows the system's own dialect, which browsers' script
//     engines read as an object literal:
//       - a member name is written bare, and in double quotes only when
//         it holds a blank (names of containers are always bare);
//       - inside an array elements have no name (a name must still be
//         given, it is just not written);
//       - text values are in double quotes with '"', line feed, carriage
//         return and backslash escaped; numbers are unquoted and never
//         depend on the process locale; a number that is not finite is
//         written as null;
//       - an object that received no member is written as null.
//
//         auto_ptr_t<kiv::i_http_json_writer> w(kiv_http_create_json_writer(true));
//         w->start_object("item");
//         w->add_property_int("id", 5);
//         w->stop_element();
//         char* text = w->get_json();   // "[{id:5}]"; free(text) when done
//
//     A writer belongs to one thread at a time; it takes no locks.

#ifndef KIV_HTTP_I_HTTP_JSON_WRITER_H
#define KIV_HTTP_I_HTTP_JSON_WRITER_H

#include <kiv/core/i_object.h>

namespace kiv {

class i_http_json_writer : public virtual i_object {
public:
    // Closes the top level ("]" or "}") and returns the text.
    // Returns: a malloc-ed text the caller frees; null while an array or
    //     object is still open, after a failed stop_element, or when
    //     memory fails. With `reset` the writer then starts a new text
    //     (as reset does); without it the writer is unchanged, so more
    //     members may follow and a later call includes them.
    virtual char* get_json(bool reset = true) = 0;
    // Drops the text and every open container; the writer starts again
    // at its top level and is usable again after a failed stop_element.
    virtual void reset() = 0;
    // Adds a text member.
    // Returns: false for a null name or value or an unusable writer (the
    //     text is then unchanged); true otherwise.
    virtual bool add_property(const char* name, const char* value) = 0;
    // Adds an integer member, printed unsigned when `unsigned_value`
    // (so -1 prints 4294967295). Returns: as add_property.
    virtual bool add_property_int(const char* name, int value, bool unsigned_value = false) = 0;
    // Adds a 64-bit integer member. Returns: as add_property.
    virtual bool add_property_long(const char* name, long long value) = 0;
    // Adds a number with six decimals ("%f" in the C locale); NaN and
    // infinities are written as null. Returns: as add_property.
    virtual bool add_property_double(const char* name, double value) = 0;
    // Opens an array member; elements follow until stop_element.
    // Returns: false for a null name, an unusable writer or a failed
    //     allocation.
    virtual bool start_collection(const char* name) = 0;
    // Opens an object member; members follow until stop_element.
    // Returns: as start_collection.
    virtual bool start_object(const char* name) = 0;
    // Closes the innermost open array or object.
    // Returns: true; false when nothing is open, which also makes the
    //     writer unusable (every call fails) until reset.
    virtual bool stop_element() = 0;
    // Adds a member whose value is JSON text written as it is.
    // Returns: as add_property.
    virtual bool add_json(const char* name, const char* value) = 0;

protected:
    ~i_http_json_writer() = default;
};

}  // namespace kiv

// Creates a writer whose top level is an array (`collection`) or an
// object. Returns: the writer with one reference for the caller.
//     Any thread.
KIV_EXTERN_C kiv::i_http_json_writer* kiv_http_create_json_writer(bool collection);

// Returns: the object's "i_http_json_writer" interface, null for null or
//     for an object without it. Adds no reference.
KIV_EXTERN_C kiv::i_http_json_writer* kiv_cast_i_http_json_writer(kiv::i_object* obj);

#endif
