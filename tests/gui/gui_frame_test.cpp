// gui_frame_test.cpp --
//
//     "svc_gui_frame": what it gives (application, top frame, help
//     controller, docking manager), the help provider's lifetime, the
//     View-menu items that show and hide docking panes (also with
//     translated labels), the titles and the message box.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/gui_lib.h>

#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/cshelp.h>
#include <wx/dialog.h>
#include <wx/panel.h>

#include <fstream>
#include <string>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// Writes the catalog "viewer" of `language` under the session's root and
// makes that language current.
void use_catalog(gui_session& session, const std::string& language,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string folder = session.core.root.path() + "/i18n/" + language;
    ASSERT_TRUE(kiv_make_path(folder.c_str()));
    std::ofstream out(folder + "/viewer.lng");
    for (const auto& entry : entries)
        out << "msgid \"" << entry.first << "\"\nmsgstr \"" << entry.second << "\"\n\n";
    out.close();
    auto_ptr_t<i_object> service(kiv_core()->get_service("svc_translator"));
    i_translator* translator = kiv_cast_i_translator(service);
    ASSERT_NE(translator, nullptr);
    translator->add_catalog("viewer");
    translator->set_language(language.c_str());
}

// A frame with a docked pane "Maps" (left, 200 x 150 wanted) around a
// centre pane, laid out.
struct docked_frame {
    explicit docked_frame(gui_session& session, const std::vector<std::string>& menus = {"&File", "&View"}) {
        frame = session.open_frame(menus);
        manager = session.frame_service->get_frame_manager();
        maps = new wxPanel(frame, wxID_ANY, wxDefaultPosition, wxSize(200, 150));
        manager->AddPane(maps, wxAuiPaneInfo().Name("Maps").Caption("Maps").Left().BestSize(200, 150));
        manager->AddPane(new wxPanel(frame), wxAuiPaneInfo().Name("centre").CenterPane());
        manager->Update();
        pump();
    }
    wxAuiPaneInfo& pane() { return manager->GetPane("Maps"); }

    wxFrame* frame;
    wxAuiManager* manager;
    wxPanel* maps;
};

// The labels of a menu's items, with "=id" for command ids (the ids
// wxWidgets makes up for wxID_ANY are left out).
std::vector<std::string> items_of(wxMenu* menu) {
    std::vector<std::string> out;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        std::string text = item->GetItemLabelText().utf8_str().data();
        if (item->GetId() >= 0)
            text += "=" + std::to_string(item->GetId());
        out.push_back(text);
    }
    return out;
}

TEST(gui_frame, gives_the_application_its_frame_the_help_and_the_docking_manager) {
    gui_session session;
    gui_frame* service = session.frame_service;
    EXPECT_EQ(service->get_app(), wxTheApp);
    EXPECT_NE(service->get_help(), nullptr);
    ASSERT_NE(service->get_frame_manager(), nullptr);
    EXPECT_EQ(service->get_frame_manager()->GetFlags(), 201u);
    EXPECT_EQ(service->get_frame_manager()->GetManagedWindow(), nullptr);
    EXPECT_EQ(kiv_cast_i_gui_frame(service), static_cast<i_gui_frame*>(service));
    EXPECT_EQ(kiv_cast_i_gui_frame(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gui_frame(session.event_service), nullptr);
    i_named_object* named = nullptr;
    ASSERT_TRUE(service->get_interface("i_named_object", reinterpret_cast<void**>(&named)));
    EXPECT_STREQ(named->get_name(), "gui_frame");

    EXPECT_EQ(service->get_frame(), nullptr);
    wxFrame* frame = session.open_frame();
    EXPECT_EQ(service->get_frame(), frame);
    EXPECT_EQ(service->get_frame_manager()->GetManagedWindow(), frame);
    // A top window that is no frame gives no frame.
    wxDialog* dialog = new wxDialog(nullptr, wxID_ANY, "top");
    wxTheApp->SetTopWindow(dialog);
    EXPECT_EQ(service->get_frame(), nullptr);
    wxTheApp->SetTopWindow(frame);
    dialog->Destroy();
}

TEST(gui_frame, the_help_provider_refers_to_the_controller_and_goes_with_the_service) {
    gui_session session;
    auto* provider = dynamic_cast<wxHelpControllerHelpProvider*>(wxHelpProvider::Get());
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->GetHelpController(), session.frame_service->get_help());
    session.drop_event_service();
    session.drop_frame_service();
    EXPECT_EQ(wxHelpProvider::Get(), nullptr);

    // A provider someone installed later is theirs and stays.
    session.register_frame_service();
    wxHelpProvider* later = new wxSimpleHelpProvider;
    delete wxHelpProvider::Set(later);
    session.drop_frame_service();
    EXPECT_EQ(wxHelpProvider::Get(), later);
    delete wxHelpProvider::Set(nullptr);
}

TEST(gui_frame, a_frame_destroyed_while_attached_leaves_the_service_safe_to_release) {
    gui_session session;
    docked_frame docked(session);
    session.frame_service->add_view_menu_cmd("Maps");
    docked.frame->Destroy();
    session.frame = nullptr;
    pump();
    EXPECT_EQ(session.frame_service->get_frame(), nullptr);
    EXPECT_EQ(session.frame_service->get_frame_manager()->GetManagedWindow(), nullptr);
    session.drop_event_service();
    session.drop_frame_service();
}

TEST(view_menu, an_item_hides_its_pane_keeping_its_size_and_shows_it_again_at_that_size) {
    gui_session session;
    docked_frame docked(session);
    session.frame_service->add_view_menu_cmd("Maps");
    const int id = session.event_service->get_cmd_id("Maps");
    EXPECT_EQ(id, 6100);
    EXPECT_EQ(items_of(session.menu("&View")), (std::vector<std::string>{"placeholder", "Maps=6100"}));
    wxMenuItem* item = docked.frame->GetMenuBar()->FindItem(id);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->IsCheckable());
    EXPECT_EQ(item->GetHelp(), "Show/hide Maps");

    menu_state state = menu_item_state(docked.frame, id);
    EXPECT_TRUE(state.enabled);
    EXPECT_TRUE(state.checked);

    wxSize shown_size = docked.maps->GetSize();
    ASSERT_GT(shown_size.x, 100);
    // A stale wish, as after the user dragged the sash: hiding replaces
    // it with the size the pane really had.
    docked.pane().BestSize(60, 60);
    ASSERT_TRUE(choose_menu_item(docked.frame, id));
    pump();
    EXPECT_FALSE(docked.pane().IsShown());
    EXPECT_FALSE(docked.maps->IsShown());
    EXPECT_EQ(docked.pane().best_size, shown_size);
    state = menu_item_state(docked.frame, id);
    EXPECT_TRUE(state.enabled);
    EXPECT_FALSE(state.checked);

    ASSERT_TRUE(choose_menu_item(docked.frame, id));
    pump();
    EXPECT_TRUE(docked.pane().IsShown());
    EXPECT_TRUE(docked.maps->IsShown());
    EXPECT_EQ(docked.maps->GetSize().x, shown_size.x);
    EXPECT_TRUE(menu_item_state(docked.frame, id).checked);
}

TEST(view_menu, translated_labels_still_find_their_pane_by_its_name) {
    gui_session session;
    use_catalog(session, "de",
                {{"&View", "&Ansicht"}, {"Maps", "Karten"}, {"Show/hide %s", "%s zeigen %n/%x verbergen"}});
    docked_frame docked(session, {"&Datei", "&Ansicht"});
    session.frame_service->add_view_menu_cmd("Maps");
    const int id = session.event_service->get_cmd_id("Maps");
    EXPECT_EQ(items_of(session.menu("&Ansicht")), (std::vector<std::string>{"placeholder", "Karten=6100"}));
    // The translation is no format: only its "%s" is replaced.
    EXPECT_EQ(docked.frame->GetMenuBar()->FindItem(id)->GetHelp(), "Karten zeigen %n/%x verbergen");

    EXPECT_TRUE(menu_item_state(docked.frame, id).checked);
    ASSERT_TRUE(choose_menu_item(docked.frame, id));
    EXPECT_FALSE(docked.pane().IsShown());
    EXPECT_FALSE(menu_item_state(docked.frame, id).checked);
}

TEST(view_menu, the_item_lands_in_the_toolbars_submenu_when_the_view_menu_has_one) {
    gui_session session;
    wxFrame* frame = session.open_frame();
    wxMenu* view = session.menu("&View");
    wxMenu* toolbars = new wxMenu;
    toolbars->Append(wxID_ANY, "Standard");
    view->AppendSubMenu(toolbars, "&Toolbars");
    view->Append(wxID_ANY, "After");
    session.frame_service->add_view_menu_cmd("Search");
    EXPECT_EQ(items_of(toolbars), (std::vector<std::string>{"Standard", "Search=6100"}));
    EXPECT_EQ(view->GetMenuItemCount(), 3u);
    EXPECT_EQ(frame->GetMenuBar()->FindItem(6100)->GetMenu(), toolbars);
}

TEST(view_menu, a_toolbars_item_without_a_submenu_leaves_the_view_menu_the_target) {
    gui_session session;
    session.open_frame();
    wxMenu* view = session.menu("&View");
    view->Append(wxID_ANY, "&Toolbars");
    session.frame_service->add_view_menu_cmd("Search");
    EXPECT_EQ(items_of(view), (std::vector<std::string>{"placeholder", "Toolbars", "Search=6100"}));
}

TEST(view_menu, the_same_name_twice_gives_two_items_with_one_id) {
    gui_session session;
    docked_frame docked(session);
    session.frame_service->add_view_menu_cmd("Maps");
    session.frame_service->add_view_menu_cmd("Maps");
    EXPECT_EQ(items_of(session.menu("&View")),
              (std::vector<std::string>{"placeholder", "Maps=6100", "Maps=6100"}));
    // One choice still toggles the pane once.
    ASSERT_TRUE(choose_menu_item(docked.frame, 6100));
    EXPECT_FALSE(docked.pane().IsShown());
}

TEST(view_menu, nothing_is_added_or_bound_without_a_view_menu_a_menu_bar_a_frame_or_a_name) {
    gui_session session;
    session.frame_service->add_view_menu_cmd("Maps");  // no frame yet
    wxFrame* frame = session.open_frame({"&File"});
    session.frame_service->add_view_menu_cmd("Maps");
    session.frame_service->add_view_menu_cmd("");
    session.frame_service->add_view_menu_cmd(nullptr);
    EXPECT_EQ(items_of(session.menu("&File")), (std::vector<std::string>{"placeholder"}));
    frame->SetMenuBar(nullptr);
    session.frame_service->add_view_menu_cmd("Maps");
    // No command id was taken for the name.
    EXPECT_EQ(session.event_service->get_cmd_id("Maps"), 6100);

    // Without the GUI event service nothing is added either.
    wxMenuBar* bar = new wxMenuBar;
    bar->Append(new wxMenu, "&View");
    frame->SetMenuBar(bar);
    session.drop_event_service();
    session.frame_service->add_view_menu_cmd("Layers");
    EXPECT_EQ(session.menu("&View")->GetMenuItemCount(), 0u);
}

TEST(view_menu, an_item_whose_pane_is_gone_is_unchecked_and_does_nothing) {
    gui_session session;
    docked_frame docked(session);
    session.frame_service->add_view_menu_cmd("Layers");
    const int id = session.event_service->get_cmd_id("Layers");
    menu_state state = menu_item_state(docked.frame, id);
    EXPECT_TRUE(state.enabled);
    EXPECT_FALSE(state.checked);
    EXPECT_TRUE(choose_menu_item(docked.frame, id));
    EXPECT_TRUE(docked.pane().IsShown());
}

TEST(gui_titles, come_from_the_environment_translated_and_stay_valid) {
    gui_session session;
    kiv_set_env("KIV_APP_TITLE", nullptr);
    kiv_set_env("APP_SPLASH_TITLE", nullptr);
    EXPECT_STREQ(kiv_get_app_name(), "");
    EXPECT_STREQ(kiv_get_splash_name(), "");
    use_catalog(session, "de", {{"Map Viewer", "Kartenbetrachter"}});
    kiv_set_env("KIV_APP_TITLE", "Map Viewer");
    kiv_set_env("APP_SPLASH_TITLE", "Loading maps");
    const char* app = kiv_get_app_name();
    EXPECT_STREQ(app, "Kartenbetrachter");
    EXPECT_STREQ(kiv_get_splash_name(), "Loading maps");
    kiv_set_env("KIV_APP_TITLE", "Other");
    EXPECT_STREQ(kiv_get_app_name(), "Other");
    EXPECT_STREQ(app, "Kartenbetrachter");
    kiv_set_env("KIV_APP_TITLE", nullptr);
    kiv_set_env("APP_SPLASH_TITLE", nullptr);
}

TEST(message_box, takes_the_application_title_and_the_frame_when_none_are_given) {
    gui_session session;
    kiv_set_env("KIV_APP_TITLE", nullptr);
    wxFrame* frame = session.open_frame();
    answer_next_dialog(wxID_YES);
    EXPECT_EQ(message_box("Save the layout?", "", wxYES_NO), wxYES);
    kiv_set_env("KIV_APP_TITLE", "Map Viewer");
    answer_next_dialog(wxID_OK);
    EXPECT_EQ(message_box("Done"), wxOK);
    answer_next_dialog(wxID_NO);
    // wxWidgets passes over a hidden parent, so the other frame is shown.
    wxFrame* other = new wxFrame(nullptr, wxID_ANY, "other", wxPoint(0, 0), wxSize(200, 100));
    show_and_wait(other);
    EXPECT_EQ(message_box("Given", "Caption", wxYES_NO, other), wxNO);
    kiv_set_env("KIV_APP_TITLE", nullptr);

    ASSERT_EQ(dialogs_seen().size(), 3u);
    EXPECT_EQ(dialogs_seen()[0].title, "");
    EXPECT_EQ(dialogs_seen()[0].message, "Save the layout?");
    EXPECT_EQ(dialogs_seen()[0].parent, frame);
    EXPECT_EQ(dialogs_seen()[1].title, "Map Viewer");
    EXPECT_EQ(dialogs_seen()[1].parent, frame);
    EXPECT_EQ(dialogs_seen()[2].title, "Caption");
    EXPECT_EQ(dialogs_seen()[2].parent, other);
    other->Destroy();
}

TEST(message_box, without_a_frame_service_opens_without_a_parent) {
    gui_session session(false);
    answer_next_dialog(wxID_OK);
    EXPECT_EQ(message_box("Alone", "Lonely"), wxOK);
    ASSERT_EQ(dialogs_seen().size(), 1u);
    EXPECT_EQ(dialogs_seen()[0].parent, nullptr);
}

// Last: the flag never comes back in this program.
TEST(view_menu, after_the_gui_terminates_nothing_is_added) {
    gui_session session;
    session.open_frame();
    EXPECT_TRUE(kiv_gui_is_running());
    kiv_gui_terminate();
    EXPECT_FALSE(kiv_gui_is_running());
    session.frame_service->add_view_menu_cmd("Maps");
    EXPECT_EQ(items_of(session.menu("&View")), (std::vector<std::string>{"placeholder"}));
    EXPECT_EQ(session.event_service->get_cmd_id("Maps"), 6100);
}

}  // namespace
