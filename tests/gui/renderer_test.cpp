// renderer_test.cpp --
//
//     The renderer service switching one parent window between object
//     renderers (also when the parent window dies first), and the
//     property sheet built from application pages.

#include <kiv/core/object_col.h>
#include <kiv/gui/property_sheet.h>
#include <kiv/gui/renderer_service.h>

#include "gui_harness.h"
#include "test_trees.h"

#include <gtest/gtest.h>

#include <wx/frame.h>
#include <wx/notebook.h>
#include <wx/panel.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

class renderers : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "renderers", wxPoint(0, 0), wxSize(400, 300));
        parent = new wxPanel(frame, wxID_ANY);
        show_and_wait(frame);
        service.reset(new renderer_service(frame, parent));
        service->addref();
        for (const char* name : {"map", "table"}) {
            auto_ptr_t<recording_renderer> r(new recording_renderer(name, parent));
            r->addref();
            service->register_renderer(r.get());
            made.push_back(r);
        }
    }
    void TearDown() override {
        service.reset();
        made.clear();
        if (frame != nullptr)
            frame->Destroy();
        pump();
    }

    wxFrame* frame = nullptr;
    wxWindow* parent = nullptr;
    auto_ptr_t<renderer_service> service;
    std::vector<auto_ptr_t<recording_renderer>> made;
};

TEST_F(renderers, activation_shows_one_window_at_the_parents_size_and_passes_the_object) {
    recording_renderer& map = *made[0];
    recording_renderer& table = *made[1];
    auto_ptr_t<object_col> first(new object_col);
    first->addref();
    auto_ptr_t<object_col> second(new object_col);
    second->addref();

    EXPECT_TRUE(service->activate_renderer("map", first.get()));
    EXPECT_TRUE(map.window->IsShown());
    EXPECT_EQ(map.window->GetSize(), parent->GetClientSize());
    EXPECT_EQ(map.given.back(), first.get());

    // Again: only the object changes; the window is not resized.
    map.window->SetSize(10, 10);
    EXPECT_TRUE(service->activate_renderer("map", second.get()));
    EXPECT_EQ(map.window->GetSize(), wxSize(10, 10));
    EXPECT_EQ(map.given.back(), second.get());
    EXPECT_EQ(map.given.size(), 2u);

    EXPECT_TRUE(service->activate_renderer("table", first.get()));
    EXPECT_FALSE(map.window->IsShown());
    EXPECT_TRUE(table.window->IsShown());

    // Resizing the parent resizes the current renderer only.
    parent->SetSize(300, 200);
    EXPECT_EQ(table.window->GetSize(), wxSize(300, 200));
    EXPECT_EQ(map.window->GetSize(), wxSize(10, 10));

    // An unknown name hides the shown one and still succeeds.
    EXPECT_TRUE(service->activate_renderer("nothing", first.get()));
    EXPECT_FALSE(table.window->IsShown());
    EXPECT_EQ(service->get_current(), nullptr);
    EXPECT_EQ(table.given.size(), 1u);
}

TEST_F(renderers, unregistering_the_current_renderer_clears_it) {
    service->activate_renderer("table", nullptr);
    recording_renderer* table = made[1].get();
    service->unregister_renderer(table);
    made.pop_back();  // the last reference: the renderer is gone
    EXPECT_EQ(service->get_current(), nullptr);
    auto_ptr_t<i_object_col> left(service->get_renderers());
    ASSERT_TRUE(left);
    EXPECT_EQ(left->get_count(), 1u);
    parent->SetSize(200, 100);  // no renderer to resize, nothing touched
    EXPECT_TRUE(service->activate_renderer("map", nullptr));
    EXPECT_TRUE(made[0]->window->IsShown());
}

TEST_F(renderers, the_service_outlives_its_parent_window) {
    ASSERT_TRUE(service->activate_renderer("map", nullptr));
    // The usual order at shut-down: the windows go first.
    frame->Destroy();
    frame = nullptr;
    pump();
    EXPECT_EQ(service->get_renderer_parent_wnd(), nullptr);
    // Releasing the service must not reach the destroyed parent.
    service.reset();
}

// One notebook page per application page.
class test_page : public object, public virtual i_property_page {
public:
    explicit test_page(const char* title) : title_(title) {}
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_property_page", static_cast<i_property_page*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    void add_page(wxNotebook* notebook) override {
        notebook->AddPage(new wxPanel(notebook, wxID_ANY), title_);
    }

private:
    const char* title_;
};

TEST(property_sheet_case, pages_come_from_the_objects_that_are_pages_and_read_only_disables_ok) {
    auto_ptr_t<object_col> pages(new object_col);
    pages->addref();
    for (const char* title : {"General", "Style"}) {
        auto_ptr_t<test_page> page(new test_page(title));
        page->addref();
        pages->add_item(page.get(), false);
        auto_ptr_t<object_col> not_a_page(new object_col);
        not_a_page->addref();
        pages->add_item(not_a_page.get(), false);
    }
    for (bool read_only : {false, true}) {
        property_sheet sheet(nullptr, pages.get(), "Properties", wxOK | wxCANCEL);
        sheet.set_read_only(read_only);
        ASSERT_EQ(sheet.get_notebook()->GetPageCount(), 2u);
        EXPECT_EQ(sheet.get_notebook()->GetPageText(1), "Style");
        EXPECT_EQ(sheet.get_notebook()->GetSelection(), 0);
        bool ok_enabled = !read_only;
        answer_next_dialog(wxID_CANCEL, [&ok_enabled](wxDialog& dialog) {
            ok_enabled = dialog.FindWindow(wxID_OK)->IsEnabled();
        });
        EXPECT_EQ(sheet.ShowModal(), wxID_CANCEL);
        EXPECT_EQ(ok_enabled, !read_only) << read_only;
    }
    EXPECT_EQ(pages->get_ref_count(), 1);
}

}  // namespace
