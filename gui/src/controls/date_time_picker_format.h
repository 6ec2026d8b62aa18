// date_time_picker_format.h --
//
//     Reading the picker format codes of the date-time picker.

#ifndef KIV_GUI_DATE_TIME_PICKER_FORMAT_H
#define KIV_GUI_DATE_TIME_PICKER_FORMAT_H

#include <wx/string.h>

namespace kiv {

// Returns: true when `format` uses, outside quotes, one of the code
// letters in `letters` (for example "dMy" for a date).
bool format_uses(const wxString& format, const char* letters);

}  // namespace kiv

#endif
