// date_time_picker_format.cpp --
//
//     Our own converter of the date-time picker's display format. A run
//     of one code letter is one code; its length picks the form:
//       d dd ddd dddd    day; two digits; short and long weekday name
//       M MM MMM MMMM    month; two digits; short and long month name
//       y yy yyyy        last digit, last two digits, whole year
//       h hh / H HH      12-hour / 24-hour, one or two digits
//       m mm, s ss       minute, second
//       t tt             "A"/"P", "AM"/"PM"
//     Text in single quotes is literal, '' is a quote; any other
//     character stands for itself. Names follow the current locale.

#include <kiv/gui/date_time_picker.h>

#include "date_time_picker_format.h"

#include <cstring>

namespace kiv {

namespace {

const char* const code_letters = "dMyhHmst";

wxString number(int value, size_t run) {
    return run >= 2 ? wxString::Format("%02d", value) : wxString::Format("%d", value);
}

wxString convert(wxUniChar letter, size_t run, const wxDateTime::Tm& tm, const wxDateTime& value) {
    switch (char(letter)) {
    case 'd':
        if (run <= 2)
            return number(tm.mday, run);
        return wxDateTime::GetWeekDayName(value.GetWeekDay(),
                                          run == 3 ? wxDateTime::Name_Abbr : wxDateTime::Name_Full);
    case 'M':
        if (run <= 2)
            return number(int(tm.mon) + 1, run);
        return wxDateTime::GetMonthName(tm.mon, run == 3 ? wxDateTime::Name_Abbr : wxDateTime::Name_Full);
    case 'y':
        if (run == 1)
            return wxString::Format("%d", tm.year % 10);
        if (run == 2)
            return wxString::Format("%02d", tm.year % 100);
        return wxString::Format("%d", tm.year);
    case 'h':
        return number(tm.hour % 12 == 0 ? 12 : tm.hour % 12, run);
    case 'H':
        return number(tm.hour, run);
    case 'm':
        return number(tm.min, run);
    case 's':
        return number(tm.sec, run);
    case 't':
        if (run == 1)
            return tm.hour < 12 ? "A" : "P";
        return tm.hour < 12 ? "AM" : "PM";
    default:
        return wxString(letter);
    }
}

bool is_code(wxUniChar c) {
    return c.IsAscii() && c != 0 && std::strchr(code_letters, char(c)) != nullptr;
}

}  // namespace

bool format_uses(const wxString& format, const char* letters) {
    bool literal = false;
    for (size_t i = 0; i < format.length(); i++) {
        const wxUniChar c = format[i];
        if (c == '\'') {
            literal = !literal;
            continue;
        }
        if (!literal && c.IsAscii() && c != 0 && std::strchr(letters, char(c)) != nullptr)
            return true;
    }
    return false;
}

wxString date_time_picker::format_value(const wxString& format, const wxDateTime& value) {
    if (!value.IsValid())
        return wxString();
    const wxDateTime::Tm tm = value.GetTm();
    wxString out;
    bool literal = false;
    size_t i = 0;
    while (i < format.length()) {
        const wxUniChar c = format[i];
        if (c == '\'') {
            if (i + 1 < format.length() && format[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            literal = !literal;
            i++;
            continue;
        }
        if (literal || !is_code(c)) {
            out += c;
            i++;
            continue;
        }
        size_t run = 1;
        while (i + run < format.length() && format[i + run] == c)
            run++;
        out += convert(c, run, tm, value);
        i += run;
    }
    return out;
}

}  // namespace kiv
