// xml_proc.cpp --
//
//     The XML service: parsing entry points, node creation, writing a
//     tree to a file, and the casts of the XML interfaces.

#include "xml/xml_proc.h"

#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kiv {

namespace {

const unsigned node_block_size = 100;

std::atomic<xml_proc*> current{nullptr};

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

xml_proc* current_xml_proc() {
    return current.load();
}

xml_proc::xml_proc() : factory_(node_block_size, true) {
    set_name("xml_proc");
    current.store(this);
}

xml_proc::~xml_proc() {
    xml_proc* self = this;
    current.compare_exchange_strong(self, nullptr);
}

bool xml_proc::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_xml_proc", static_cast<i_xml_proc*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "xml_proc", this, out))
        return true;
    return object::get_interface(name, out);
}

i_xml_node* xml_proc::parse_text(const char* text) {
    if (text == nullptr)
        return nullptr;
    return parse_xml_text(*this, text, std::strlen(text));
}

i_xml_node* xml_proc::parse_file(const char* file_path) {
    if (file_path == nullptr)
        return nullptr;
    std::string absolute = absolute_path(file_path);
    if (absolute.empty())
        return nullptr;
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(absolute.c_str(), "rb"));
    return file ? parse_xml_file(*this, file.get(), absolute.c_str()) : nullptr;
}

i_xml_node* xml_proc::create_node(const char* name) {
    if (name == nullptr)
        return nullptr;
    xml_node* node = new_node();
    if (node != nullptr)
        node->set_name(name);
    return node;
}

bool xml_proc::write_file(i_xml_node* node, const char* file_path, bool format) {
    if (node == nullptr || file_path == nullptr || *file_path == '\0')
        return false;
    char* text = node->get_xml(format);
    if (text == nullptr)
        return false;
    file_writer writer(file_path);
    bool written = writer.write(text, std::strlen(text)) && writer.commit();
    free(text);
    return written;
}

}  // namespace kiv

kiv::i_xml_proc* kiv_cast_i_xml_proc(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_xml_proc>(obj, "i_xml_proc");
}

kiv::i_xml_node* kiv_cast_i_xml_node(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_xml_node>(obj, "i_xml_node");
}

kiv::xml_node* kiv_cast_xml_node(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::xml_node>(obj, "xml_node");
}

kiv::xml_proc* kiv_cast_xml_proc(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::xml_proc>(obj, "xml_proc");
}
