// toolbar.h --
//
//     A tool bar that tells where one of its tools sits, so a drop-down
//     can open right under the tool.

#ifndef KIV_GUI_ADDIN_TOOLBAR_H
#define KIV_GUI_ADDIN_TOOLBAR_H

#include <kiv/core/export.h>

#include <wx/toolbar.h>

namespace kiv {

class KIV_EXPORT toolbar : public wxToolBar {
public:
    toolbar(wxWindow* parent, int id, long style);

    // Returns: the tool bar's tools (owned by it).
    wxToolBarToolsList* GetTools() { return &m_tools; }
    // Returns: the left edge of the tool `id` at the tool bar's bottom
    //     line, in the tool bar parent's coordinates; (0, 0) when no tool
    //     has that id.
    wxPoint get_toolbar_offset(unsigned id);
};

}  // namespace kiv

#endif
