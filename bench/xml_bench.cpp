// xml_bench.cpp --
//
//     The XML service on a generated 10 MB render-style document, against
//     raw Expat walking the same document with the same three callbacks
//     (start, end, character data) that only count what they see. Ours
//     also builds the tree of nodes and frees it; the second comparison
//     adds writing the tree back as text. First both must see the same
//     elements, attributes and text; every benchmark makes one untimed
//     pass before it measures. The last lines print the ratios.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const size_t target_size = 10 * 1024 * 1024;

const std::string& document() {
    static const std::string doc = [] {
        std::string d = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<render name=\"default\">\n";
        d.reserve(target_size + 4096);
        for (unsigned layer = 0; d.size() < target_size; ++layer) {
            d += "  <layer id=\"" + std::to_string(layer) + "\" name=\"roads &amp; paths\" visible=\"1\">\n";
            for (unsigned rule = 0; rule < 20; ++rule) {
                std::string n = std::to_string(rule);
                d += "    <rule type=\"" + n + "\" min_scale=\"1000\" max_scale=\"250000\">\n";
                d += "      <line color=\"#A0B0C0\" width=\"" + n + ".5\" dash=\"4,2\"/>\n";
                d += "      <fill color=\"#FFEEDD\" opacity=\"0.5\"/>\n";
                d += "      <label font=\"DejaVuSans\" size=\"11\">Street &lt;" + n + "&gt; label text</label>\n";
                d += "    </rule>\n";
            }
            d += "  </layer>\n";
        }
        d += "</render>\n";
        return d;
    }();
    return doc;
}

kiv::i_xml_proc* service() {
    static kiv_bench::run_folder root("kiv_xml_bench_");
    static kiv::i_xml_proc* proc = [] {
        kiv_set_env("KIV_ROOT_PATH", root.path().c_str());
        kiv_enable_trace(false);
        kiv_initialize();
        kiv::i_object* svc = kiv_core()->get_service("svc_xml");  // kept for the whole run
        return kiv_cast_i_xml_proc(svc);
    }();
    return proc;
}

void bm_kiv_parse(benchmark::State& state) {
    const std::string& doc = document();
    kiv::i_xml_proc* proc = service();
    // One untimed pass first: the timed ones do not pay the first touch
    // of the memory the tree takes.
    { auto_ptr_t<kiv::i_xml_node> warm_up(proc->parse_text(doc.c_str())); }
    for (auto _ : state) {
        auto_ptr_t<kiv::i_xml_node> root(proc->parse_text(doc.c_str()));
        if (!root)
            state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

void bm_kiv_parse_write(benchmark::State& state) {
    const std::string& doc = document();
    kiv::i_xml_proc* proc = service();
    {
        auto_ptr_t<kiv::i_xml_node> root(proc->parse_text(doc.c_str()));
        if (root)
            free(root->get_xml(false));
    }
    for (auto _ : state) {
        auto_ptr_t<kiv::i_xml_node> root(proc->parse_text(doc.c_str()));
        char* text = root ? root->get_xml(false) : nullptr;
        if (text == nullptr)
            state.SkipWithError("parse or write failed");
        free(text);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

struct walk_counts {
    size_t elements = 0;
    size_t attributes = 0;
    size_t text_bytes = 0;
};

void XMLCALL count_start(void* user, const XML_Char*, const XML_Char** attrs) {
    walk_counts* c = static_cast<walk_counts*>(user);
    ++c->elements;
    for (const XML_Char** a = attrs; *a != nullptr; a += 2)
        ++c->attributes;
}
void XMLCALL count_end(void*, const XML_Char*) {}
void XMLCALL count_text(void* user, const XML_Char*, int len) {
    static_cast<walk_counts*>(user)->text_bytes += static_cast<size_t>(len);
}

// Returns: false when Expat refused the document.
bool expat_walk(const std::string& doc, walk_counts& counts) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &counts);
    XML_SetElementHandler(parser, count_start, count_end);
    XML_SetCharacterDataHandler(parser, count_text);
    bool parsed = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE) != XML_STATUS_ERROR;
    XML_ParserFree(parser);
    return parsed;
}

void bm_expat_walk(benchmark::State& state) {
    const std::string& doc = document();
    walk_counts warm_up;
    expat_walk(doc, warm_up);
    for (auto _ : state) {
        walk_counts counts;
        if (!expat_walk(doc, counts))
            state.SkipWithError("expat failed");
        benchmark::DoNotOptimize(counts);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

BENCHMARK(bm_kiv_parse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_kiv_parse_write)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_expat_walk)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a tree holds, counted as the service keeps it: text trimmed of
// blanks at both ends.
struct tree_counts {
    size_t elements = 0;
    size_t attributes = 0;
    size_t text_bytes = 0;
    bool operator==(const tree_counts& o) const {
        return elements == o.elements && attributes == o.attributes && text_bytes == o.text_bytes;
    }
};

void count_tree(kiv::i_xml_node* node, tree_counts& counts) {
    ++counts.elements;
    auto_ptr_t<kiv::i_object_col> attrs(node->get_attributes());
    counts.attributes += attrs ? attrs->get_count() : 0;
    counts.text_bytes += std::strlen(node->get_text());
    auto_ptr_t<kiv::i_object_col> kids(node->get_child_nodes());
    for (unsigned i = 0; kids && i < kids->get_count(); ++i) {
        auto_ptr_t<kiv::i_object> item(kids->get_item_by_pos(i));
        if (kiv::i_xml_node* kid = kiv_cast_i_xml_node(item))
            count_tree(kid, counts);
    }
}

// The same counts from Expat directly: each element's character data
// collected and trimmed as the service trims it.
struct trimmed_walk {
    tree_counts counts;
    std::vector<std::string> open;
};

void XMLCALL trimmed_start(void* user, const XML_Char*, const XML_Char** attrs) {
    trimmed_walk* w = static_cast<trimmed_walk*>(user);
    ++w->counts.elements;
    for (const XML_Char** a = attrs; *a != nullptr; a += 2)
        ++w->counts.attributes;
    w->open.emplace_back();
}
void XMLCALL trimmed_end(void* user, const XML_Char*) {
    trimmed_walk* w = static_cast<trimmed_walk*>(user);
    const std::string& text = w->open.back();
    size_t begin = text.find_first_not_of(" \n\t");
    if (begin != std::string::npos)
        w->counts.text_bytes += text.find_last_not_of(" \n\t") + 1 - begin;
    w->open.pop_back();
}
void XMLCALL trimmed_text(void* user, const XML_Char* data, int len) {
    trimmed_walk* w = static_cast<trimmed_walk*>(user);
    if (!w->open.empty())
        w->open.back().append(data, static_cast<size_t>(len));
}

// Returns: the counts, or all zero when Expat refused `doc`.
tree_counts expat_counts(const std::string& doc) {
    trimmed_walk walk;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &walk);
    XML_SetElementHandler(parser, trimmed_start, trimmed_end);
    XML_SetCharacterDataHandler(parser, trimmed_text);
    bool parsed = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE) != XML_STATUS_ERROR;
    XML_ParserFree(parser);
    return parsed ? walk.counts : tree_counts();
}

// Ours and Expat see the same elements, attributes and text, and the
// text ours writes back holds them all again.
void check_results() {
    const std::string& doc = document();
    tree_counts reference = expat_counts(doc);
    tree_counts ours;
    std::string written;
    {
        auto_ptr_t<kiv::i_xml_node> root(service()->parse_text(doc.c_str()));
        if (root) {
            count_tree(root, ours);
            char* text = root->get_xml(false);
            if (text != nullptr)
                written = text;
            free(text);
        }
    }
    kiv_bench::check(reference.elements > 0 && ours == reference,
                     "parsed counts (" + std::to_string(ours.elements) + " elements, " +
                         std::to_string(ours.attributes) + " attributes, " + std::to_string(ours.text_bytes) +
                         " text bytes)");
    kiv_bench::check(expat_counts(written) == reference, "counts of the written text");
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("document: %zu bytes\n", document().size());
    return kiv_bench::run_with_ratios(argc, argv,
                                      {{"xml parse (tree built and freed) vs raw expat walk", "bm_kiv_parse",
                                        "bm_expat_walk"},
                                       {"xml parse and write vs raw expat walk", "bm_kiv_parse_write",
                                        "bm_expat_walk"}},
                                      check_results);
}
