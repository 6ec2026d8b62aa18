// search_panel_test.cpp --
//
//     The map search panel on the ozm driver and its demo town: a town,
//     a street and a house found by typing as a user does, the street
//     match lower-casing both the names and the typed text, and the
//     activated house centring the map on it with the marker shown; the
//     name column filling the list as the pane changes its size; a first
//     search in either alphabet; and the panel released while its lists
//     stay on screen with rows in them.

#include "addin_session.h"

#include <kiv/gui_addin/map_search_panel.h>

#include <gtest/gtest.h>

#include <wx/textctrl.h>
#include <wx/weakref.h>

using namespace kiv_gui_test;

namespace {

// The name of the item at `row` of `items`.
std::string name_at(kiv::i_object_col* items, long row) {
    auto_ptr_t<kiv::i_object> holder(items->get_item_by_pos(static_cast<unsigned>(row)));
    kiv::i_search_item* item = kiv_cast_i_search_item(holder);
    return item != nullptr && item->get_name() != nullptr ? item->get_name() : "";
}

using list_ctrl_ptr = kiv::list_ctrl*;

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

// The ozm driver on the demo maps, with the search panel docked left in
// the session's frame as the viewer docks it.
class demo_search {
public:
    demo_search() {
        panel.reset(new kiv::map_search_panel(s.frame));
        panel->addref();
        EXPECT_NE(panel->get_wnd(), nullptr);
        if (panel->get_wnd() == nullptr)
            return;
        manager()->AddPane(panel->get_wnd(), wxAuiPaneInfo().Left().Name("search").BestSize(220, 400));
        manager()->Update();
        pump();
    }
    ~demo_search() {
        if (panel && panel->get_wnd() != nullptr)
            manager()->DetachPane(panel->get_wnd());
    }
    wxAuiManager* manager() { return s.gui.frame_service->get_frame_manager(); }

    env_var fonts{"KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu"};
    env_var maps{"KIV_OZM_MAPS_PATH", KIV_BIN_DIR "/demo/ozm/maps"};
    env_var render{"KIV_OZM_RENDER_CONFIG_PATH", KIV_BIN_DIR "/demo/ozm/render"};
    addin_session s{nullptr, false, "gis_ozm_driver.so"};
    auto_ptr_t<kiv::map_search_panel> panel;
};

// The names of every row of `items`.
std::vector<std::string> names_of(kiv::i_object_col* items) {
    std::vector<std::string> out;
    for (unsigned i = 0; i < items->get_count(); ++i)
        out.push_back(name_at(items, i));
    return out;
}

TEST(search_panel, a_first_search_finds_the_demo_town_in_either_alphabet) {
    demo_search d;
    ASSERT_NE(d.panel->get_wnd(), nullptr);
    struct typed {
        const char* text;
        std::vector<std::string> towns;
    } cases[] = {
        {"nov", {"Novy Dvor"}},
        {"нов", {"Новы Двор"}},
        {"Б", {"Белый Бор"}},
        {"kam", {"Kamenka"}},
        {"z", {"Zarechye"}},
        {"лес", {"Лесной"}},
    };
    for (const typed& t : cases) {
        d.panel->city_field()->SetValue(wxString::FromUTF8(t.text));
        EXPECT_EQ(names_of(d.panel->cities()), t.towns) << t.text;
        EXPECT_EQ(d.panel->city_list()->GetItemCount(), long(t.towns.size())) << t.text;
    }
    // The town under its Latin name has its streets too.
    d.panel->city_field()->SetValue("nov");
    send_enter(d.panel->city_field());
    EXPECT_EQ(d.panel->streets()->get_count(), 13u);
    EXPECT_EQ(d.panel->houses()->get_count(), 5u);
}

TEST(search_panel, the_name_column_takes_the_free_width_and_follows_the_pane) {
    demo_search d;
    ASSERT_NE(d.panel->get_wnd(), nullptr);
    d.panel->city_field()->SetValue(wxString::FromUTF8("Новы"));
    send_enter(d.panel->city_field());
    ASSERT_GT(d.panel->street_list()->GetItemCount(), 0);
    wxWindow* pane = d.panel->get_wnd();
    for (int width : {220, 420, 160}) {
        // What the docking manager does when the user drags the sash.
        pane->SetSize(wxSize(width, pane->GetSize().y));
        auto filled = [](list_ctrl_ptr list) {
            return list->GetColumnWidth(0) + list->GetColumnWidth(1) == list->GetClientSize().x;
        };
        pump_until([&] { return filled(d.panel->city_list()) && filled(d.panel->street_list()); });
        for (list_ctrl_ptr list : {d.panel->city_list(), d.panel->street_list()}) {
            EXPECT_TRUE(filled(list)) << width << ": " << list->GetColumnWidth(0) << " + " << list->GetColumnWidth(1)
                                      << " against " << list->GetClientSize().x;
            EXPECT_GT(list->GetClientSize().x, width - 30) << width;
        }
    }
    // The town's whole name fits.
    pane->SetSize(wxSize(220, pane->GetSize().y));
    kiv::list_ctrl* cities = d.panel->city_list();
    pump_until([&] { return cities->GetClientSize().x > 180; });
    int text_width = cities->GetTextExtent(wxString::FromUTF8("Новы Двор")).x;
    EXPECT_GT(cities->GetColumnWidth(1), text_width + 8);
}

TEST(search_panel, a_pane_shorter_than_its_fields_leaves_every_list_its_height) {
    demo_search d;
    ASSERT_NE(d.panel->get_wnd(), nullptr);
    wxWindow* pane = d.panel->get_wnd();
    for (int height : {240, 120}) {
        // The pane docked in a small window, or floating at its own size.
        pane->SetSize(wxSize(260, height));
        auto kept = [](list_ctrl_ptr list) { return list->GetSize().y >= list->GetMinSize().y; };
        pump_until([&] {
            return pane->GetSize().y == height && kept(d.panel->city_list()) && kept(d.panel->street_list()) &&
                   kept(d.panel->house_list());
        });
        for (list_ctrl_ptr list : {d.panel->city_list(), d.panel->street_list(), d.panel->house_list()})
            EXPECT_TRUE(kept(list)) << height << ": " << list->GetSize().y << " of " << list->GetMinSize().y;
    }
}

TEST(search_panel, released_while_the_frame_lives_its_lists_keep_no_rows) {
    demo_search d;
    ASSERT_NE(d.panel->get_wnd(), nullptr);
    ASSERT_TRUE(kiv_core()->register_service(d.panel.get(), "SVC_MAP_SEARCH_PANEL"));
    d.panel->city_field()->SetValue(wxString::FromUTF8("Новы"));
    send_enter(d.panel->city_field());
    wxWeakRef<kiv::list_ctrl> cities(d.panel->city_list()), streets(d.panel->street_list());
    ASSERT_EQ(cities->GetItemCount(), 1);
    ASSERT_GT(streets->GetItemCount(), 0);
    wxWindow* pane = d.panel->get_wnd();
    d.manager()->DetachPane(pane);
    // The registry holds the last reference: the panel goes, its window
    // stays in the frame.
    d.panel.reset();
    kiv_core()->unregister_service("SVC_MAP_SEARCH_PANEL");
    ASSERT_TRUE(cities && streets);
    for (kiv::list_ctrl* list : {cities.get(), streets.get()}) {
        EXPECT_EQ(list->GetItemCount(), 0);
        // A repaint, or a read of a row still counted, must not reach the
        // freed rows.
        list->Refresh();
        list->Update();
        if (list->GetItemCount() > 0) {
            EXPECT_FALSE(list->GetItemText(0, 1).empty());
        }
    }
    pump();
    pane->Destroy();
    pump();
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
    // Docked with a size, as every caller docks it: a pane given none is
    // as small as a new window (20 pixels), too narrow for GTK to draw the
    // panel's fields and lists in.
    s.gui.frame_service->get_frame_manager()->AddPane(panel->get_wnd(),
                                                      wxAuiPaneInfo().Left().Name("search").BestSize(220, 400));
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
    pump_until([&] { return s.map->get_found_location().lat == house->get_lat(); });
    EXPECT_EQ(s.map->get_found_location().lon, house->get_lon());
    EXPECT_EQ(s.map->get_scale(), 10000u);
    // The view takes the new centre when it draws next.
    pump_until([&] {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        kiv::geo_point c{0, 0};
        return vp && vp->get_center(c) && c.lat == house->get_lat() && c.lon == house->get_lon();
    });

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
