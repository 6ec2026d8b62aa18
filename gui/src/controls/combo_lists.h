// combo_lists.h --
//
//     Read-only number lists shared by the time and date controls.

#ifndef KIV_GUI_COMBO_LISTS_H
#define KIV_GUI_COMBO_LISTS_H

#include <wx/combobox.h>

namespace kiv {

// A read-only drop-down list of `first`..`last` printed with `format`
// ("%02d" or "%d"), `width` pixels wide (-1: default), showing its first
// entry.
inline wxComboBox* make_number_list(wxWindow* parent, int first, int last, const char* format,
                                    int width) {
    wxArrayString entries;
    for (int i = first; i <= last; i++)
        entries.Add(wxString::Format(format, i));
    auto* list = new wxComboBox(parent, wxID_ANY, entries[0], wxDefaultPosition, wxSize(width, -1),
                                entries, wxCB_READONLY | wxCB_DROPDOWN);
    list->SetSelection(0);
    return list;
}

// Selects `text`, appending it first when the list lacks it: a GTK
// read-only list ignores a value it does not hold.
inline void select_entry(wxComboBox* list, const wxString& text) {
    int index = list->FindString(text, true);
    if (index == wxNOT_FOUND)
        index = list->Append(text);
    list->SetSelection(index);
}

// Returns: the list's text read as a decimal number, 0 when it is none.
inline unsigned list_number(wxComboBox* list) {
    if (list == nullptr)
        return 0;
    unsigned long value = 0;
    return list->GetValue().ToCULong(&value) ? static_cast<unsigned>(value) : 0;
}

}  // namespace kiv

#endif
