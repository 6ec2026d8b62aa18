// xml_bench.cpp --
//
//     The XML service on a generated 10 MB render-style document, against
//     raw Expat walking the same document with the same three callbacks
//     (start, end, character data) that only count what they see. Ours
//     also builds the tree of nodes and frees it; the second comparison
//     adds writing the tree back as text. The last lines print the ratios.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    static kiv::i_xml_proc* proc = [] {
        kiv_set_env("KIV_ROOT_PATH", "/tmp");
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

void bm_expat_walk(benchmark::State& state) {
    const std::string& doc = document();
    for (auto _ : state) {
        walk_counts counts;
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &counts);
        XML_SetElementHandler(parser, count_start, count_end);
        XML_SetCharacterDataHandler(parser, count_text);
        if (XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE) == XML_STATUS_ERROR)
            state.SkipWithError("expat failed");
        XML_ParserFree(parser);
        benchmark::DoNotOptimize(counts);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

BENCHMARK(bm_kiv_parse)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(bm_kiv_parse_write)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(bm_expat_walk)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::printf("document: %zu bytes\n", document().size());
    return kiv_bench::run_with_ratios(argc, argv,
                                      {{"xml parse (tree built and freed) vs raw expat walk", "bm_kiv_parse",
                                        "bm_expat_walk"},
                                       {"xml parse and write vs raw expat walk", "bm_kiv_parse_write",
                                        "bm_expat_walk"}});
}
