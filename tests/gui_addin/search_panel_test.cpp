// search_panel_test.cpp --
//
//     The map search panel on the ozm driver and its demo town: a town,
//     a street and a house found by typing as a user does, the street
//     match lower-casing both the names and the typed text, and the
//     activated house centring the map on it with the marker shown.

#include "addin_session.h"

#include <kiv/gui_addin/map_search_panel.h>

#include <gtest/gtest.h>

#include <wx/textctrl.h>

using namespace kiv_gui_test;

namespace {

// The name of the item at `row` of `items`.
std::string name_at(kiv::i_object_col* items, long row) {
    auto_ptr_t<kiv::i_object> holder(items->get_item_by_pos(static_cast<unsigned>(row)));
    kiv::i_search_item* item = kiv_cast_i_search_item(holder);
    return item != nullptr && item->get_name() != nullptr ? item->get_name() : "";
}

long selected_row(wxListCtrl* list) {
    return list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

void send_enter(wxTextCtrl* field) {
    wxCommandEvent enter(wxEVT_TEXT_ENTER, field->GetId());
    enter.SetEventObject(field);
    field->GetEventHandler()->ProcessEvent(enter);
}

void activate_row(wxListCtrl* list, long row) {
    wxListEvent event(wxEVT_LIST_ITEM_ACTIVATED, list->GetId());
    event.SetEventObject(list);
    event.SetIndex(row);
    list->GetEventHandler()->ProcessEvent(event);
}

TEST(search_panel, a_town_a_street_and_a_house_end_with_the_map_centred_and_marked) {
    env_var fonts("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    env_var maps("KIV_OZM_MAPS_PATH", KIV_BIN_DIR "/demo/ozm/maps");
    env_var render("KIV_OZM_RENDER_CONFIG_PATH", KIV_BIN_DIR "/demo/ozm/render");
    addin_session s(nullptr, true, "gis_ozm_driver.so");
    ASSERT_NE(s.map, nullptr);
    ASSERT_TRUE(s.map->set_center(53.9, 27.3, 100000));
    auto_ptr_t<kiv::map_search_panel> panel(new kiv::map_search_panel(s.frame));
    panel->addref();
    ASSERT_NE(panel->get_wnd(), nullptr);
    s.gui.frame_service->get_frame_manager()->AddPane(panel->get_wnd(), wxAuiPaneInfo().Left().Name("search"));
    s.gui.frame_service->get_frame_manager()->Update();

    // Each keystroke searches again: the town by its first letters, upper
    // case typed.
    panel->city_field()->SetValue(wxString::FromUTF8("Новы"));
    ASSERT_EQ(panel->cities()->get_count(), 1u);
    EXPECT_EQ(name_at(panel->cities(), 0), "Новы Двор");
    EXPECT_EQ(panel->city_list()->GetItemCount(), 1);
    EXPECT_EQ(panel->city_list()->GetItemText(0, 1), wxString::FromUTF8("Новы Двор"));
    EXPECT_EQ(panel->city_list()->GetItemText(0, 0), "1");

    // Enter selects the town: its streets load, the first one selected
    // with its houses.
    send_enter(panel->city_field());
    ASSERT_EQ(panel->streets()->get_count(), 13u);
    EXPECT_EQ(selected_row(panel->street_list()), 0);
    EXPECT_EQ(panel->houses()->get_count(), 5u);

    // The street match: names and typed text both lower-cased, Cyrillic
    // included; no match falls back to row 0.
    struct typed {
        const char* text;
        const char* street;
    } cases[] = {
        {"BIRCH", "Birch Street"},
        {"УЛІЦА", nullptr},
        {"УЛИЦА Ш", "улица Школьная"},
        {"no such street", nullptr},
        {"birch st", "Birch Street"},
    };
    for (const typed& t : cases) {
        panel->street_field()->SetValue(wxString::FromUTF8(t.text));
        long row = selected_row(panel->street_list());
        ASSERT_GE(row, 0) << t.text;
        if (t.street != nullptr)
            EXPECT_EQ(name_at(panel->streets(), row), t.street) << t.text;
        else
            EXPECT_EQ(row, 0) << t.text;
        EXPECT_EQ(panel->houses()->get_count(), 5u) << t.text;
    }
    // Birch Street is chosen: its houses, with their ids as row data.
    ASSERT_EQ(name_at(panel->streets(), selected_row(panel->street_list())), "Birch Street");
    ASSERT_EQ(panel->house_list()->GetItemCount(), 5);
    EXPECT_EQ(panel->house_list()->GetItemText(2), wxString::FromUTF8(name_at(panel->houses(), 2)));

    // Enter in the street field moves to the houses; activating one
    // centres the map on it at 1:10000 and marks it.
    send_enter(panel->street_field());
    EXPECT_EQ(selected_row(panel->house_list()), 0);
    auto_ptr_t<kiv::i_object> house_holder(panel->houses()->get_item_by_pos(2));
    kiv::i_search_item* house = kiv_cast_i_search_item(house_holder);
    ASSERT_NE(house, nullptr);
    EXPECT_EQ(house->get_type(), kiv::i_search_item::type_house);
    activate_row(panel->house_list(), 2);
    ASSERT_TRUE(pump_until([&] { return s.map->get_found_location().lat == house->get_lat(); }));
    EXPECT_EQ(s.map->get_found_location().lon, house->get_lon());
    EXPECT_EQ(s.map->get_scale(), 10000u);
    // The view takes the new centre when it draws next.
    EXPECT_TRUE(pump_until([&] {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        kiv::geo_point c{0, 0};
        return vp && vp->get_center(c) && c.lat == house->get_lat() && c.lon == house->get_lon();
    }));

    // A new town search clears the streets and houses and the street field
    // without matching a street.
    panel->city_field()->SetValue("zzz");
    EXPECT_EQ(panel->cities()->get_count(), 0u);
    EXPECT_EQ(panel->streets()->get_count(), 0u);
    EXPECT_EQ(panel->house_list()->GetItemCount(), 0);
    EXPECT_TRUE(panel->street_field()->GetValue().empty());
    // Activating nothing or a row past the end queues nothing.
    activate_row(panel->city_list(), -1);
    activate_row(panel->city_list(), 5);
    pump();
    EXPECT_EQ(s.map->get_found_location().lat, house->get_lat());

    s.gui.frame_service->get_frame_manager()->DetachPane(panel->get_wnd());
}

}  // namespace
