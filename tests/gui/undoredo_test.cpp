// undoredo_test.cpp --
//
//     The undo/redo history: linear sequences with refused steps, what is
//     released when a new command drops the redo tail, and the Edit-menu
//     items that follow can_undo and can_redo.

#include <kiv/gui/undoredo_service.h>

#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <string>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// A command that appends its name to a shared log on each step and
// refuses the steps it is told to refuse.
class logged_command : public undoredo_command {
public:
    logged_command(std::string* log, char name) : log_(log), name_(name) {}
    ~logged_command() override { *log_ += std::string("~") + name_; }
    bool undo() override {
        if (refuse_undo)
            return false;
        *log_ += std::string("u") + name_;
        return true;
    }
    bool redo() override {
        if (refuse_redo)
            return false;
        *log_ += std::string("r") + name_;
        return true;
    }
    bool refuse_undo = false;
    bool refuse_redo = false;

private:
    std::string* log_;
    char name_;
};

auto_ptr_t<undoredo_service> make_history() {
    auto_ptr_t<undoredo_service> history(new undoredo_service(false));
    history->addref();
    return history;
}

TEST(undoredo, a_fresh_history_has_nothing_to_undo_or_redo) {
    auto_ptr_t<undoredo_service> history = make_history();
    EXPECT_FALSE(history->can_undo());
    EXPECT_FALSE(history->can_redo());
    EXPECT_FALSE(history->undo());
    EXPECT_FALSE(history->redo());
    EXPECT_FALSE(history->push_command(nullptr));
    EXPECT_STREQ(history->get_name(), "undoredo_service");
    EXPECT_NE(kiv_cast_i_undoredo_service(history.get()), nullptr);
}

TEST(undoredo, a_new_command_after_an_undo_releases_the_undone_one) {
    std::string log;
    auto_ptr_t<undoredo_service> history = make_history();
    EXPECT_TRUE(history->push_command(new logged_command(&log, 'A')));
    EXPECT_TRUE(history->push_command(new logged_command(&log, 'B')));
    EXPECT_TRUE(history->undo());
    EXPECT_TRUE(history->can_redo());
    EXPECT_TRUE(history->push_command(new logged_command(&log, 'C')));
    EXPECT_EQ(log, "rArBuBrC~B");  // C is done before B goes
    EXPECT_FALSE(history->can_redo());
    EXPECT_TRUE(history->undo());
    EXPECT_TRUE(history->undo());
    EXPECT_FALSE(history->undo());
    EXPECT_TRUE(history->redo());
    EXPECT_TRUE(history->redo());
    EXPECT_FALSE(history->redo());
    EXPECT_EQ(log, "rArBuBrC~BuCuArArC");
    history.reset();
    EXPECT_EQ(log, "rArBuBrC~BuCuArArC~A~C");
}

TEST(undoredo, refused_steps_leave_the_position_and_the_next_try_asks_the_same_command) {
    std::string log;
    auto_ptr_t<undoredo_service> history = make_history();

    // Refused on push: never kept, and the caller's reference is the last.
    auto_ptr_t<logged_command> refused(new logged_command(&log, 'X'));
    refused->addref();
    refused->refuse_redo = true;
    EXPECT_FALSE(history->push_command(refused.get()));
    EXPECT_EQ(refused->get_ref_count(), 1);
    EXPECT_FALSE(history->can_undo());
    auto_ptr_t<undoredo_command> bare(new undoredo_command);
    bare->addref();
    EXPECT_FALSE(history->push_command(bare.get()));

    auto* a = new logged_command(&log, 'A');
    ASSERT_TRUE(history->push_command(a));
    a->refuse_undo = true;
    EXPECT_FALSE(history->undo());
    EXPECT_TRUE(history->can_undo());
    EXPECT_FALSE(history->can_redo());
    a->refuse_undo = false;
    EXPECT_TRUE(history->undo());
    a->refuse_redo = true;
    EXPECT_FALSE(history->redo());
    EXPECT_TRUE(history->can_redo());
    a->refuse_redo = false;
    EXPECT_TRUE(history->redo());
    EXPECT_EQ(log, "rAuArA");
}

TEST(undoredo, the_edit_menu_items_follow_the_history) {
    gui_session session;
    wxFrame* frame = session.open_frame({"&File", "&Edit"});
    const int undo_id = session.event_service->get_cmd_id("CMD_EDIT_UNDO");
    const int redo_id = session.event_service->get_cmd_id("CMD_EDIT_REDO");
    std::string log;
    {
        auto_ptr_t<undoredo_service> history(new undoredo_service(true));
        history->addref();
        wxMenu* edit = session.menu("&Edit");
        ASSERT_EQ(edit->GetMenuItemCount(), 4u);  // undo, redo, separator, placeholder
        EXPECT_EQ(edit->FindItemByPosition(0)->GetId(), undo_id);
        EXPECT_EQ(edit->FindItemByPosition(1)->GetId(), redo_id);
        EXPECT_TRUE(edit->FindItemByPosition(2)->IsSeparator());
        EXPECT_EQ(edit->FindItemByPosition(0)->GetItemLabelText(), "Undo");

        EXPECT_FALSE(menu_item_state(frame, undo_id).enabled);
        EXPECT_FALSE(menu_item_state(frame, redo_id).enabled);
        history->push_command(new logged_command(&log, 'A'));
        EXPECT_TRUE(menu_item_state(frame, undo_id).enabled);
        EXPECT_FALSE(menu_item_state(frame, redo_id).enabled);
        EXPECT_TRUE(choose_menu_item(frame, undo_id));
        EXPECT_EQ(log, "rAuA");
        EXPECT_FALSE(menu_item_state(frame, undo_id).enabled);
        EXPECT_TRUE(menu_item_state(frame, redo_id).enabled);
        EXPECT_TRUE(choose_menu_item(frame, redo_id));
        EXPECT_EQ(log, "rAuArA");

        // A second service finds the items there: it adds none and binds
        // nothing.
        auto_ptr_t<undoredo_service> second(new undoredo_service(true));
        second->addref();
        EXPECT_EQ(edit->GetMenuItemCount(), 4u);
    }
    // The bindings went with the service; the items stay, disabled.
    EXPECT_TRUE(menu_item_state(frame, undo_id).found);
    EXPECT_FALSE(menu_item_state(frame, undo_id).enabled);
}

TEST(undoredo, without_an_edit_menu_nothing_is_added) {
    gui_session session;
    wxFrame* frame = session.open_frame({"&File"});
    auto_ptr_t<undoredo_service> history(new undoredo_service(true));
    history->addref();
    EXPECT_FALSE(menu_item_state(frame, session.event_service->get_cmd_id("CMD_EDIT_UNDO")).found);
}

}  // namespace
