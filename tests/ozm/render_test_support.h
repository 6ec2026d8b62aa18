// render_test_support.h --
//
//     Helpers of the render configuration tests: XML elements made from
//     text, layer and picture files in a private folder, file times set
//     to the nanosecond, and a capture of the trace channel.

#ifndef KIV_TESTS_OZM_RENDER_TEST_SUPPORT_H
#define KIV_TESTS_OZM_RENDER_TEST_SUPPORT_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>
#include <kiv/image/image_lib.h>
#include <kiv_test/trace_capture.h>

#include "../core/core_session.h"
#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace kiv_test {

// The root element of an XML text (one reference, held); empty when the
// text does not parse.
inline auto_ptr_t<kiv::i_xml_node> xml_element(const std::string& text) {
    auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_xml"));
    kiv::i_xml_proc* xml = kiv_cast_i_xml_proc(svc);
    EXPECT_NE(xml, nullptr);
    return auto_ptr_t<kiv::i_xml_node>(xml != nullptr ? xml->parse_text(text.c_str()) : nullptr);
}

inline void put_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    ASSERT_EQ(std::fclose(f), 0);
}

// Sets a file's modification time exactly.
inline void set_file_time(const std::string& path, time_t seconds, long nanoseconds) {
    timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A width × height PNG of one colour at `path`.
inline void put_png(const std::string& path, unsigned width, unsigned height, unsigned color) {
    auto_ptr_t<kiv::i_image> img(kiv_image_create(width, height, color));
    ASSERT_TRUE(img);
    ASSERT_TRUE(img->save_image(path.c_str(), kiv::image_format_png, 100));
}

}  // namespace kiv_test

#endif
