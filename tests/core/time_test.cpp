// time_test.cpp --
//
//     Time helpers under three zones (UTC, Europe/Berlin,
//     America/New_York), with one date in winter and one in summer, so
//     each conversion is checked on both sides of a daylight-saving
//     change: building times from local and from UTC fields, formatting
//     for the local zone and for other offsets, the zone cache, and the
//     time object.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_time.h>

#include "core_session.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

struct zone {
    const char* tz;
    int winter_offset;  // hours east of UTC in January
    int summer_offset;  // hours east of UTC in July
};

// 2009-01-14 07:08:47 UTC and 2009-07-14 07:08:47 UTC.
const unsigned winter_instant = 1231916927;
const unsigned summer_instant = 1247555327;

std::string text(char* heap) {
    std::string s = heap != nullptr ? heap : "(null)";
    std::free(heap);
    return s;
}

class time_in_zone : public ::testing::TestWithParam<zone> {
protected:
    void SetUp() override {
        kiv_set_env("TZ", GetParam().tz);
        session = new kiv_test::core_session(false);  // refreshes the zone cache
    }
    void TearDown() override {
        delete session;
        kiv_set_env("TZ", nullptr);
    }
    kiv_test::core_session* session = nullptr;
};

}  // namespace

TEST_P(time_in_zone, zone_cache_holds_the_standard_offset) {
    EXPECT_EQ(kiv_local_timezone(), GetParam().winter_offset * 3600);
    if (GetParam().winter_offset == GetParam().summer_offset) {
        EXPECT_EQ(kiv_timezone_dst(), 0);
    }
}

TEST_P(time_in_zone, fields_read_as_utc_give_that_instant_on_both_sides_of_a_change) {
    EXPECT_EQ(kiv_calc_time(2009, 1, 14, 7, 8, 47, true), winter_instant);
    EXPECT_EQ(kiv_calc_time(2009, 7, 14, 7, 8, 47, true), summer_instant);
}

TEST_P(time_in_zone, fields_read_as_local_time_follow_that_dates_daylight_saving) {
    EXPECT_EQ(kiv_calc_time(2009, 1, 14, 7 + GetParam().winter_offset, 8, 47), winter_instant);
    EXPECT_EQ(kiv_calc_time(2009, 7, 14, 7 + GetParam().summer_offset, 8, 47), summer_instant);
}

TEST_P(time_in_zone, local_offset_shows_local_time_and_other_offsets_show_shifted_utc) {
    int local = kiv_local_timezone();
    char expected[32];
    std::snprintf(expected, sizeof expected, "2009-01-14 %02d:08:47", 7 + GetParam().winter_offset);
    EXPECT_EQ(text(kiv_format_time(winter_instant, local)), expected);
    std::snprintf(expected, sizeof expected, "2009-07-14 %02d:08:47", 7 + GetParam().summer_offset);
    EXPECT_EQ(text(kiv_format_time(summer_instant, local)), expected);

    if (local != 0) {
        EXPECT_EQ(text(kiv_format_time(winter_instant, 0)), "2009-01-14 07:08:47");
        EXPECT_EQ(text(kiv_format_time(summer_instant, 0)), "2009-07-14 07:08:47");
    }
    EXPECT_EQ(text(kiv_format_time(summer_instant, 3 * 3600 + 1800)), "2009-07-14 10:38:47");
    EXPECT_EQ(text(kiv_format_time(winter_instant, -10 * 3600)), "2009-01-13 21:08:47");
}

TEST_P(time_in_zone, time_object_reads_the_local_fields_of_its_instant) {
    auto_ptr_t<kiv::i_time> t(kiv_get_time(summer_instant));
    EXPECT_EQ(t->get_year(), 2009u);
    EXPECT_EQ(t->get_month(), 7u);
    EXPECT_EQ(t->get_day(), 14u);
    EXPECT_EQ(t->get_hour(), static_cast<unsigned>(7 + GetParam().summer_offset));
    EXPECT_EQ(t->get_minute(), 8u);
    EXPECT_EQ(t->get_second(), 47u);
    EXPECT_EQ(t->get_absolute(), summer_instant);
    auto_ptr_t<kiv::i_time> built(kiv_construct_time(2009, 1, 14, 7 + GetParam().winter_offset, 8, 47));
    ASSERT_TRUE(built);
    EXPECT_EQ(built->get_absolute(), winter_instant);
}

INSTANTIATE_TEST_SUITE_P(zones, time_in_zone,
                         ::testing::Values(zone{"UTC", 0, 0}, zone{"Europe/Berlin", 1, 2},
                                           zone{"America/New_York", -5, -4}),
                         [](const ::testing::TestParamInfo<zone>& info) {
                             std::string name = info.param.tz;
                             for (char& c : name)
                                 if (c == '/')
                                     c = '_';
                             return name;
                         });

TEST(time_calc, out_of_range_fields_give_zero) {
    EXPECT_EQ(kiv_calc_time(1969, 12, 31, 23, 59, 59, true), 0u);
    EXPECT_EQ(kiv_calc_time(2009, 13, 1, 0, 0, 0, true), 0u);
    EXPECT_EQ(kiv_calc_time(2009, 1, 32, 0, 0, 0, true), 0u);
    EXPECT_EQ(kiv_calc_time(2009, 1, 1, 24, 0, 0, true), 0u);
    EXPECT_EQ(kiv_calc_time(2009, 1, 1, 0, 60, 0, true), 0u);
    EXPECT_EQ(kiv_calc_time(2009, 1, 1, 0, 0, 60, true), 0u);
    EXPECT_EQ(kiv_calc_time(2200, 1, 1, 0, 0, 0, true), 0u);  // past the 32-bit range
    EXPECT_EQ(kiv_calc_time(4000000000u, 1, 1, 0, 0, 0, true), 0u);
    EXPECT_EQ(kiv_construct_time(2009, 13, 1, 0, 0, 0), nullptr);
}

TEST(time_calc, month_zero_and_day_zero_step_back) {
    EXPECT_EQ(kiv_calc_time(2009, 0, 15, 0, 0, 0, true), kiv_calc_time(2008, 12, 15, 0, 0, 0, true));
    EXPECT_EQ(kiv_calc_time(2009, 3, 0, 0, 0, 0, true), kiv_calc_time(2009, 2, 28, 0, 0, 0, true));
    EXPECT_EQ(kiv_calc_time(2106, 2, 7, 6, 28, 15, true), 0xFFFFFFFFu);
}

TEST(time_format, flags_choose_date_time_or_both) {
    EXPECT_EQ(kiv_format_time(winter_instant, 0, 0), nullptr);
    EXPECT_EQ(text(kiv_format_time(winter_instant, 3600, 3)), "2009-01-14 08:08:47");
    EXPECT_EQ(text(kiv_format_time(winter_instant, 3600, 2)), "2009-01-14");
    EXPECT_EQ(text(kiv_format_time(winter_instant, 3600, 1)), "08:08:47");
    EXPECT_EQ(text(kiv_format_time(winter_instant, 3600, 0xF1)), "08:08:47");  // other bits ignored
    EXPECT_EQ(std::string(text(kiv_format_time(1, 3600))).size(), 19u);
}

TEST(time_format, output_is_cut_to_the_buffer_and_always_terminated) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(kiv_format_time_impl(buffer, 5, static_cast<int>(winter_instant), 3600, 3));
    EXPECT_STREQ(buffer, "2009");
    EXPECT_FALSE(kiv_format_time_impl(buffer, 0, 0, 0, 3));
    EXPECT_FALSE(kiv_format_time_impl(nullptr, 8, 0, 0, 3));
    EXPECT_FALSE(kiv_format_time_impl(buffer, 8, 0, 0, 0));
    EXPECT_STREQ(buffer, "");
}

TEST(time_object, zero_gives_zero_fields_and_set_absolute_zero_loads_now) {
    kiv_set_env("TZ", "UTC");
    kiv_test::core_session session(false);
    auto_ptr_t<kiv::i_time> t(kiv_get_time(0));
    EXPECT_EQ(t->get_year(), 1900u);
    EXPECT_EQ(t->get_month(), 1u);
    EXPECT_EQ(t->get_day(), 0u);
    EXPECT_EQ(t->get_hour() + t->get_minute() + t->get_second(), 0u);
    EXPECT_TRUE(t->set_absolute(0));
    time_t now = time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    EXPECT_EQ(t->get_year(), static_cast<unsigned>(local.tm_year + 1900));
    kiv_set_env("TZ", nullptr);
}

TEST(time_object, month_thirteen_normalises_to_january_of_the_next_year) {
    kiv_set_env("TZ", "UTC");
    kiv_test::core_session session(false);
    auto_ptr_t<kiv::i_time> t(kiv_get_time(winter_instant));
    EXPECT_TRUE(t->set_month(13));
    EXPECT_EQ(t->get_absolute(), kiv_calc_time(2010, 1, 14, 7, 8, 47, true));
    EXPECT_EQ(t->get_year(), 2010u);
    EXPECT_EQ(t->get_month(), 1u);
    kiv_set_env("TZ", nullptr);
}

TEST(time_object, answers_only_i_time) {
    auto_ptr_t<kiv::i_time> t(kiv_get_time(1));
    EXPECT_EQ(kiv_cast_i_time(t), t.get());
    void* out = &out;
    EXPECT_FALSE(t->get_interface("i_object", &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(kiv_cast_i_time(nullptr), nullptr);
}
