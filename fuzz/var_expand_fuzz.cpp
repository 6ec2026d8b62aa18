// var_expand_fuzz.cpp --
//
//     Expands any text through the string service, with a caller source
//     that knows every name and answers with text taken from the input,
//     so values holding "$" and braces are exercised too.

#include <kiv/core/string_proc.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class echo_source : public kiv::object, public kiv::i_var_subst {
public:
    explicit echo_source(std::string value) : value_(std::move(value)) {}
    char* get_variable_value(const char* name) override {
        if (std::strlen(name) % 3 == 0)
            return nullptr;  // unknown: falls through to the environment
        return strdup(value_.c_str());
    }

private:
    std::string value_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\n');
    std::string text = input.substr(0, split);
    std::string value = split != std::string::npos ? input.substr(split + 1) : "";
    static kiv::string_proc* proc = [] {
        kiv::string_proc* p = new kiv::string_proc();
        p->addref();
        return p;
    }();
    echo_source source(value);
    char* out = proc->process(text.c_str(), &source);
    if (out == nullptr)
        std::abort();
    free(out);
    return 0;
}
