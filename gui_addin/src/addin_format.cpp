// addin_format.cpp --
//
//     The texts the map add-in shows: scales, times, intervals,
//     coordinates and numbers, the place near a point, and lists kept in
//     the application's configuration. Numbers never follow the process
//     locale: the map view shows every number with a "." before its
//     decimals (get_fmt_float's comma is its own, fixed), and a
//     translated pattern is used only when it still holds the one number
//     conversion of its original (a catalog is outside input; it never
//     becomes a format string).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui_addin/addin_lib.h>

#include <wx/config.h>
#include <wx/datetime.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kiv;

namespace {

// Returns: the translation of `pattern` with its conversion (such as "%d")
//     replaced by `number`; the untranslated pattern when the
//     translation does not hold `conversion` exactly once and nothing else
//     after a "%".
wxString fill_pattern(const char* pattern, const char* conversion, const std::string& number) {
    auto fill = [&](const std::string& text, std::string& out) {
        size_t at = text.find(conversion);
        if (at == std::string::npos)
            return false;
        std::string rest = text.substr(0, at) + text.substr(at + std::strlen(conversion));
        if (rest.find('%') != std::string::npos)
            return false;
        out = text.substr(0, at) + number + text.substr(at + std::strlen(conversion));
        return true;
    };
    std::string out;
    const char* translated = kiv_translate(pattern, "");
    if (translated == nullptr || !fill(translated, out))
        fill(pattern, out);
    return wxString::FromUTF8(out.c_str());
}

}  // namespace

wxString get_fmt_scale(unsigned scale) {
    double metres = scale / 100.0;  // what one screen centimetre shows
    if (metres >= 1000)
        return fill_pattern("%.1f km", "%.1f", format_fixed(metres / 1000, 1));
    return fill_pattern("%.0f m", "%.0f", format_fixed(metres, 0));
}

wxString get_fmt_time(time_t t) {
    struct tm local;
    if (localtime_r(&t, &local) == nullptr)
        return wxString();
    char buffer[64];
    size_t n = strftime(buffer, sizeof buffer, "%d.%m.%y %H:%M:%S", &local);
    return wxString::FromUTF8(buffer, n);
}

wxString get_fmt_interval(long seconds) {
    wxTimeSpan span = wxTimeSpan::Seconds(seconds);
    bool days = std::labs(seconds) >= 24L * 3600;
    const char* format = days ? kiv_translate("%D day, %H:%M:%S", "") : "%H:%M:%S";
    return span.Format(wxString::FromUTF8(format != nullptr ? format : "%D day, %H:%M:%S"));
}

wxString get_fmt_coord(double lat, double lon) {
    if (!is_valid_coords(lat, lon))
        return wxString();
    // Degrees and minutes of the absolute value: the letter tells the
    // hemisphere, so -53.5 reads S 53' 30.0000.
    auto part = [](double value, char positive, char negative, int width) {
        double a = std::fabs(value);
        double whole = std::floor(a);
        std::string degrees = std::to_string(static_cast<int>(whole));
        if (degrees.size() < static_cast<size_t>(width))
            degrees.insert(0, width - degrees.size(), '0');
        return std::string(1, value >= 0 ? positive : negative) + " " + degrees + "' " +
               format_fixed((a - whole) * 60, 4);
    };
    std::string text = part(lat, 'N', 'S', 2) + ", " + part(lon, 'E', 'W', 3);
    return wxString::FromUTF8(text.c_str());
}

wxString get_fmt_float(double value, int digits) {
    if (digits < 0)
        digits = 0;
    if (digits > 30)
        digits = 30;
    std::string text = format_fixed(value, digits);
    for (char& c : text)
        if (c == '.')
            c = ',';
    return wxString::FromUTF8(text.c_str());
}

wxString get_location(double lat, double lon) {
    if (kiv_core() == nullptr)
        return wxString();
    auto_ptr_t<i_object> service(kiv_core()->get_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(service);
    if (gis == nullptr)
        return wxString();
    char* text = gis->get_location_text("", lat, lon, 1000, kiv_translate(" km from ", ""));
    wxString result;
    if (text != nullptr && *text != 0)
        result = wxString::FromUTF8(text);
    std::free(text);
    return result;
}

bool get_reg_str_values(const wxString& key, wxArrayString& out) {
    out.Clear();
    wxConfigBase* config = wxConfigBase::Get();
    wxString value;
    if (config == nullptr || !config->Read(key, &value))
        return false;
    wxString token;
    for (wxUniChar c : value) {
        if (c == ';' || c == '\n' || c == '\r') {
            if (!token.empty())
                out.Add(token);
            token.clear();
        } else {
            token += c;
        }
    }
    if (!token.empty())
        out.Add(token);
    return !out.IsEmpty();
}

bool get_reg_long_values(const wxString& key, wxArrayLong& out) {
    out.Clear();
    wxArrayString items;
    if (!get_reg_str_values(key, items))
        return false;
    for (const wxString& item : items) {
        long number = 0;
        if (item.ToLong(&number, 10))
            out.Add(number);
    }
    return !out.IsEmpty();
}
