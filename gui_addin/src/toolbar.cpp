// toolbar.cpp --
//
//     The tool bar that finds a tool's left edge (see toolbar.h).

#include <kiv/gui_addin/toolbar.h>

#include <wx/control.h>

namespace kiv {

toolbar::toolbar(wxWindow* parent, int id, long style)
    : wxToolBar(parent, id, wxDefaultPosition, wxDefaultSize, style) {}

wxPoint toolbar::get_toolbar_offset(unsigned id) {
    if (FindById(static_cast<int>(id)) == nullptr)
        return wxPoint(0, 0);
    wxRect bar = GetRect();
    wxSize tool = GetToolSize();
    int separation = GetToolSeparation();
    int sum = 0;
    for (wxToolBarToolBase* item : m_tools) {
        if (item->IsButton())
            sum += tool.x;
        else if (item->IsSeparator())
            sum += separation;
        else if (item->IsControl() && item->GetControl() != nullptr)
            sum += item->GetControl()->GetSize().x;
        if (item->GetId() == static_cast<int>(id))
            break;
    }
    return wxPoint(bar.x + sum - tool.x, bar.y + bar.height - 1);
}

}  // namespace kiv
