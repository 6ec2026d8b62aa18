// core_paths_bench.cpp --
//
//     Paths of the core that the libraries above it run per request, per
//     feature or per message, each against plain C++ doing the same work,
//     in one run:
//     - expanding variable references through "svc_string" (values from
//       the caller's source) against a hand expander of the same rules;
//     - looking items up by name in a collection against the same
//       first-match scan over a plain vector of names;
//     - path queries on an XML tree against the same walk over a plain
//       tree of the same elements;
//     - message lookups through "svc_translator" against a hash map of
//       the same catalog;
//     - writing and reading a block stream against hand-written code of
//       the same byte layout.
//     Each pair must first give the same results; the last lines print
//     each ratio (our time over the reference's).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <unistd.h>

namespace {

// Services and trees the benchmarks keep for the whole run; released
// before the core stops.
std::vector<auto_ptr_t<kiv::i_object>>& kept() {
    static std::vector<auto_ptr_t<kiv::i_object>> objects;
    return objects;
}

template <class T>
T* service(const char* name, T* (*cast)(kiv::i_object*)) {
    kept().emplace_back(kiv_core()->get_service(name));
    return cast(kept().back());
}

// String expansion ----------------------------------------------------

const std::map<std::string, std::string> variables = {
    {"KIV_BENCH_ROOT", "/srv/maps"}, {"KIV_BENCH_REGION", "moscow_region"}, {"KIV_BENCH_LEVEL", "12"},
    {"KIV_BENCH_STYLE", "default"}};
const char expand_text[] =
    "${KIV_BENCH_ROOT}/regions/$KIV_BENCH_REGION/tiles_${KIV_BENCH_LEVEL}/${KIV_BENCH_STYLE}.xml";

class map_source : public kiv::object, public kiv::i_var_subst {
public:
    char* get_variable_value(const char* name) override {
        auto it = variables.find(name);
        return it != variables.end() ? strdup(it->second.c_str()) : nullptr;
    }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_var_subst", static_cast<kiv::i_var_subst*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
};

bool name_start(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// The reference: "${NAME}" and "$NAME" (letters and underscores) from a
// hash map; an unknown name expands to nothing.
std::string hand_expand(const char* text, const std::unordered_map<std::string, std::string>& values) {
    std::string out;
    for (const char* p = text; *p != '\0';) {
        if (*p != '$') {
            out += *p++;
            continue;
        }
        std::string name;
        if (p[1] == '{') {
            const char* end = std::strchr(p + 2, '}');
            if (end == nullptr) {
                out += p;
                break;
            }
            name.assign(p + 2, end);
            p = end + 1;
        } else if (name_start(p[1])) {
            const char* end = p + 1;
            while (name_start(*end))
                ++end;
            name.assign(p + 1, end);
            p = end;
        } else {
            out += p;
            break;
        }
        auto it = values.find(name);
        if (it != values.end())
            out += it->second;
    }
    return out;
}

const std::unordered_map<std::string, std::string>& hashed_variables() {
    static const std::unordered_map<std::string, std::string> values(variables.begin(), variables.end());
    return values;
}

kiv::i_string_proc* strings() {
    static kiv::i_string_proc* proc = service("svc_string", kiv_cast_i_string_proc);
    return proc;
}

void bm_expand_ours(benchmark::State& state) {
    auto_ptr_t<map_source> source(new map_source);
    source->addref();  // auto_ptr_t takes over the count-0 object: hold the one reference it releases
    for (auto _ : state) {
        char* text = strings()->process(expand_text, source.get());
        benchmark::DoNotOptimize(text);
        free(text);
    }
}

void bm_expand_reference(benchmark::State& state) {
    for (auto _ : state) {
        std::string text = hand_expand(expand_text, hashed_variables());
        benchmark::DoNotOptimize(text.data());
    }
}

// Collection lookups by name ------------------------------------------

const unsigned col_items = 64;

std::string item_name(unsigned i) {
    return "layer_" + std::to_string(i * 7919 % 1000) + "_roads";
}

kiv::object_col* named_col() {
    static kiv::object_col* col = [] {
        kiv::object_col* c = new kiv::object_col;
        c->addref();
        kept().emplace_back(c);
        for (unsigned i = 0; i < col_items; ++i) {
            auto_ptr_t<kiv::i_named_string> item(kiv_create_named_string(item_name(i).c_str(), "value"));
            c->add_item(item, false);
        }
        return c;
    }();
    return col;
}

// The reference: the same first-match scan, over names kept beside the
// objects in a plain vector.
struct plain_entry {
    std::string name;
    kiv::i_object* item;
};

const std::vector<plain_entry>& plain_col() {
    static const std::vector<plain_entry> entries = [] {
        std::vector<plain_entry> e;
        for (unsigned i = 0; i < col_items; ++i) {
            auto_ptr_t<kiv::i_object> item(named_col()->get_item_by_pos(i));
            e.push_back({item_name(i), item.get()});
        }
        return e;
    }();
    return entries;
}

kiv::i_object* plain_find(const char* name) {
    for (const plain_entry& e : plain_col())
        if (std::strcmp(e.name.c_str(), name) == 0)
            return e.item;
    return nullptr;
}

const std::vector<std::string>& lookup_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (unsigned i = 0; i < col_items; i += 3)
            n.push_back(item_name(i));
        n.push_back("layer_missing");
        return n;
    }();
    return names;
}

void bm_lookup_ours(benchmark::State& state) {
    kiv::object_col* col = named_col();
    for (auto _ : state)
        for (const std::string& name : lookup_names()) {
            auto_ptr_t<kiv::i_object> item(col->get_item_by_name(name.c_str()));
            benchmark::DoNotOptimize(item.get());
        }
}

void bm_lookup_reference(benchmark::State& state) {
    plain_col();
    for (auto _ : state)
        for (const std::string& name : lookup_names())
            benchmark::DoNotOptimize(plain_find(name.c_str()));
}

// XML queries ---------------------------------------------------------

std::string render_document() {
    std::string d = "<render name=\"default\">\n";
    for (unsigned layer = 0; layer < 40; ++layer) {
        d += "<layer id=\"" + std::to_string(layer) + "\">\n";
        for (unsigned rule = 0; rule < 20; ++rule) {
            d += "<rule type=\"" + std::to_string(rule % 7) + "\"><line width=\"2\"/>";
            d += "<label font=\"DejaVuSans\">L" + std::to_string(layer) + "R" + std::to_string(rule) + "</label></rule>\n";
        }
        d += "</layer>\n";
    }
    return d + "</render>\n";
}

const char query[] = "layer/rule[type=3]/label";

kiv::i_xml_node* xml_root() {
    static kiv::i_xml_node* root = [] {
        kiv::i_xml_proc* proc = service("svc_xml", kiv_cast_i_xml_proc);
        kiv::i_xml_node* node = proc != nullptr ? proc->parse_text(render_document().c_str()) : nullptr;
        kept().emplace_back(node);
        return node;
    }();
    return root;
}

// The reference tree: elements with their attributes and text, built
// from the same document by Expat.
struct plain_node {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
    std::vector<plain_node> children;
};

struct plain_build {
    std::vector<plain_node*> open;
    plain_node root;
};

void XMLCALL plain_start(void* user, const XML_Char* name, const XML_Char** attrs) {
    plain_build* b = static_cast<plain_build*>(user);
    plain_node* node;
    if (b->open.empty()) {
        node = &b->root;
    } else {
        b->open.back()->children.emplace_back();
        node = &b->open.back()->children.back();
    }
    node->name = name;
    for (const XML_Char** a = attrs; *a != nullptr; a += 2)
        node->attributes.emplace_back(a[0], a[1]);
    b->open.push_back(node);
}
void XMLCALL plain_end(void* user, const XML_Char*) {
    static_cast<plain_build*>(user)->open.pop_back();
}
void XMLCALL plain_text(void* user, const XML_Char* data, int len) {
    plain_build* b = static_cast<plain_build*>(user);
    if (!b->open.empty())
        b->open.back()->text.append(data, static_cast<size_t>(len));
}

const plain_node& plain_root() {
    static const plain_node root = [] {
        plain_build b;
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &b);
        XML_SetElementHandler(parser, plain_start, plain_end);
        XML_SetCharacterDataHandler(parser, plain_text);
        std::string doc = render_document();
        XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE);
        XML_ParserFree(parser);
        return b.root;
    }();
    return root;
}

// "layer/rule[type=3]/label" walked by hand.
void plain_query(const plain_node& root, std::vector<const plain_node*>& hits) {
    for (const plain_node& layer : root.children) {
        if (layer.name != "layer")
            continue;
        for (const plain_node& rule : layer.children) {
            if (rule.name != "rule")
                continue;
            bool matches = false;
            for (const auto& a : rule.attributes)
                if (a.first == "type") {
                    matches = a.second == "3";
                    break;
                }
            if (!matches)
                continue;
            for (const plain_node& label : rule.children)
                if (label.name == "label")
                    hits.push_back(&label);
        }
    }
}

void bm_query_ours(benchmark::State& state) {
    kiv::i_xml_node* root = xml_root();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_object_col> hits(root->select_nodes(query));
        benchmark::DoNotOptimize(hits.get());
    }
}

void bm_query_reference(benchmark::State& state) {
    const plain_node& root = plain_root();
    std::vector<const plain_node*> hits;
    for (auto _ : state) {
        hits.clear();
        plain_query(root, hits);
        benchmark::DoNotOptimize(hits.data());
    }
}

// Translation ---------------------------------------------------------

const unsigned messages = 500;

std::string message(unsigned i) {
    return "Message number " + std::to_string(i) + " of the viewer";
}
std::string translation(unsigned i) {
    return "Meldung Nummer " + std::to_string(i) + " des Betrachters";
}

kiv::i_translator* translator() {
    static kiv::i_translator* tr = service("svc_translator", kiv_cast_i_translator);
    return tr;
}

// Writes the catalog under the root and adds it to the translator.
bool prepare_catalog(const std::string& root) {
    std::string folder = root + "/bench_i18n/de";
    if (!kiv_make_path(folder.c_str()))
        return false;
    std::string text;
    for (unsigned i = 0; i < messages; ++i)
        text += "msgid \"" + message(i) + "\"\nmsgstr \"" + translation(i) + "\"\n\n";
    std::string path = folder + "/bench.lng";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    written = std::fclose(f) == 0 && written;
    if (!written || translator() == nullptr)
        return false;
    translator()->add_search_path("bench_i18n");
    translator()->add_catalog("bench");
    return true;
}

const std::vector<std::string>& asked_messages() {
    static const std::vector<std::string> asked = [] {
        std::vector<std::string> a;
        for (unsigned i = 0; i < messages; i += 5)
            a.push_back(message(i));
        a.push_back("A message no catalog has");
        return a;
    }();
    return asked;
}

const std::unordered_map<std::string, std::string>& plain_catalog() {
    static const std::unordered_map<std::string, std::string> catalog = [] {
        std::unordered_map<std::string, std::string> c;
        for (unsigned i = 0; i < messages; ++i)
            c.emplace(message(i), translation(i));
        return c;
    }();
    return catalog;
}

const char* plain_translate(const std::string& msg) {
    auto it = plain_catalog().find(msg);
    return it != plain_catalog().end() ? it->second.c_str() : msg.c_str();
}

void bm_translate_ours(benchmark::State& state) {
    for (auto _ : state)
        for (const std::string& msg : asked_messages())
            benchmark::DoNotOptimize(translator()->translate(msg.c_str(), "de"));
}

void bm_translate_reference(benchmark::State& state) {
    plain_catalog();
    for (auto _ : state)
        for (const std::string& msg : asked_messages())
            benchmark::DoNotOptimize(plain_translate(msg));
}

// Block stream --------------------------------------------------------

const unsigned stream_blocks = 10000;

unsigned payload_size(unsigned i) {
    return 4 + i % 61;
}

// Ours: the writer, then the reader summing the payload bytes.
std::vector<uint8_t> block_stream_ours(uint64_t& sum) {
    kiv::binary_data_writer writer;  // on the stack, never counted
    for (unsigned i = 0; i < stream_blocks; ++i) {
        unsigned n = payload_size(i);
        uint8_t* p = static_cast<uint8_t*>(writer.allocate_block(static_cast<uint16_t>(i % 300), n));
        if (p == nullptr)
            break;
        std::memset(p, int(i & 0xFF), n);
    }
    const uint8_t* data = static_cast<const uint8_t*>(writer.get_data());
    std::vector<uint8_t> bytes(data, data + writer.get_data_size());
    kiv::binary_data_reader reader(bytes.data(), static_cast<unsigned>(bytes.size()));
    sum = 0;
    while (reader.next()) {
        const uint8_t* p = static_cast<const uint8_t*>(reader.get_block_ptr());
        const unsigned n = reader.get_block_size();
        sum += reader.get_block_type();
        for (unsigned k = 0; k < n; ++k)
            sum += p[k];
    }
    return bytes;
}

// The reference: the same layout (2-byte type, 4-byte length, both
// big-endian, then the payload) written into a vector and read back with
// the same bounds checks.
std::vector<uint8_t> block_stream_reference(uint64_t& sum) {
    std::vector<uint8_t> bytes;
    for (unsigned i = 0; i < stream_blocks; ++i) {
        unsigned n = payload_size(i);
        uint16_t type = static_cast<uint16_t>(i % 300);
        size_t at = bytes.size();
        bytes.resize(at + 6 + n);
        uint8_t* p = bytes.data() + at;
        p[0] = uint8_t(type >> 8);
        p[1] = uint8_t(type);
        p[2] = uint8_t(n >> 24);
        p[3] = uint8_t(n >> 16);
        p[4] = uint8_t(n >> 8);
        p[5] = uint8_t(n);
        std::memset(p + 6, int(i & 0xFF), n);
    }
    sum = 0;
    for (size_t at = 0; bytes.size() - at >= 6;) {
        const uint8_t* p = bytes.data() + at;
        uint64_t n = uint64_t(p[2]) << 24 | uint64_t(p[3]) << 16 | uint64_t(p[4]) << 8 | p[5];
        if (n > bytes.size() - at - 6)
            break;
        sum += uint64_t(p[0]) << 8 | p[1];
        for (uint64_t k = 0; k < n; ++k)
            sum += p[6 + k];
        at += 6 + n;
    }
    return bytes;
}

void bm_block_stream_ours(benchmark::State& state) {
    for (auto _ : state) {
        uint64_t sum = 0;
        std::vector<uint8_t> bytes = block_stream_ours(sum);
        benchmark::DoNotOptimize(sum);
    }
}

void bm_block_stream_reference(benchmark::State& state) {
    for (auto _ : state) {
        uint64_t sum = 0;
        std::vector<uint8_t> bytes = block_stream_reference(sum);
        benchmark::DoNotOptimize(sum);
    }
}

BENCHMARK(bm_expand_ours);
BENCHMARK(bm_expand_reference);
BENCHMARK(bm_lookup_ours);
BENCHMARK(bm_lookup_reference);
BENCHMARK(bm_query_ours);
BENCHMARK(bm_query_reference);
BENCHMARK(bm_translate_ours);
BENCHMARK(bm_translate_reference);
BENCHMARK(bm_block_stream_ours);
BENCHMARK(bm_block_stream_reference);

void check_results(const std::string& root) {
    auto_ptr_t<map_source> source(new map_source);
    source->addref();
    char* expanded = strings() != nullptr ? strings()->process(expand_text, source.get()) : nullptr;
    kiv_bench::check(expanded != nullptr && hand_expand(expand_text, hashed_variables()) == expanded,
                     "expanded text");
    free(expanded);

    bool same_items = true;
    for (const std::string& name : lookup_names()) {
        auto_ptr_t<kiv::i_object> item(named_col()->get_item_by_name(name.c_str()));
        same_items = same_items && item.get() == plain_find(name.c_str());
    }
    kiv_bench::check(same_items, "items found by name");

    std::vector<std::string> ours, theirs;
    if (kiv::i_xml_node* root_node = xml_root()) {
        auto_ptr_t<kiv::i_object_col> hits(root_node->select_nodes(query));
        for (unsigned i = 0; hits && i < hits->get_count(); ++i) {
            auto_ptr_t<kiv::i_object> item(hits->get_item_by_pos(i));
            kiv::i_xml_node* node = kiv_cast_i_xml_node(item);
            ours.push_back(node != nullptr ? node->get_text() : "<not a node>");
        }
    }
    std::vector<const plain_node*> plain_hits;
    plain_query(plain_root(), plain_hits);
    for (const plain_node* node : plain_hits)
        theirs.push_back(node->text);
    kiv_bench::check(!ours.empty() && ours == theirs, "query hits (" + std::to_string(ours.size()) + ")");

    bool same_translations = prepare_catalog(root);
    for (const std::string& msg : asked_messages())
        same_translations = same_translations && translator() != nullptr &&
                            std::strcmp(translator()->translate(msg.c_str(), "de"), plain_translate(msg)) == 0;
    kiv_bench::check(same_translations, "translations");

    uint64_t our_sum = 0, their_sum = 1;
    bool same_bytes = block_stream_ours(our_sum) == block_stream_reference(their_sum);
    kiv_bench::check(same_bytes && our_sum == their_sum, "block stream bytes and payload sums");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_core_paths_bench_");
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()))
        return 1;
    kiv_enable_trace(false);
    if (!kiv_initialize())
        return 1;
    kiv_library_entry();
    int rc = kiv_bench::run_with_ratios(
        argc, argv,
        {{"string expansion vs hand expander", "bm_expand_ours", "bm_expand_reference"},
         {"collection lookups by name vs plain scan", "bm_lookup_ours", "bm_lookup_reference"},
         {"xml query vs hand walk of a plain tree", "bm_query_ours", "bm_query_reference"},
         {"translator lookups vs hash map", "bm_translate_ours", "bm_translate_reference"},
         {"block stream write and read vs hand-written", "bm_block_stream_ours", "bm_block_stream_reference"}},
        [&] { check_results(root); });
    kept().clear();
    kiv_terminate();
    kiv_rmdir(root.c_str(), true);
    return rc;
}
