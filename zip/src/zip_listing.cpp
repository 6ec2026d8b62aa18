// zip_listing.cpp --
//
//     The archive listing as an XML tree. It is built through the XML
//     service, which is not part of this tree yet: until it is, the
//     listing is null, as it is whenever "svc_xml" is missing.

#include <kiv/zip/zip_reader.h>

namespace kiv {

i_xml_node* zip_reader::get_contents() {
    return nullptr;
}

}  // namespace kiv
