// made_locale.h --
//
//     Locales made for a test, as a host program would set them, for the
//     whole process (setlocale) or for one thread (uselocale): localedef
//     compiles a glibc locale (tr_TR.UTF-8, de_DE.UTF-8) from the sources
//     of the Debian package "locales" into a private temporary folder,
//     which LOCPATH names only while setlocale loads it. Nothing is
//     installed on the system; the folder goes when the process ends.
//     Used by the tests of several libraries; headers only.

#ifndef KIV_TEST_MADE_LOCALE_H
#define KIV_TEST_MADE_LOCALE_H

#include <kiv/core/env.h>
#include <kiv_test/run_command.h>

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace kiv_test {

namespace made_locale_detail {

// The folder of the made locales; removed with the process.
struct folder {
    std::string path;  // "" until made
    folder() = default;
    folder(const folder&) = delete;
    folder& operator=(const folder&) = delete;
    ~folder() {
        if (!path.empty())
            run_command("rm -rf '" + path + "'");
    }
};

inline folder& made() {
    static folder f;
    return f;
}

}  // namespace made_locale_detail

// Sets one category of the process to a made locale ("tr_TR.UTF-8":
// the locale tr_TR in the charmap UTF-8) while it lives; the category
// goes back to what it was at the end.
class scoped_locale {
public:
    scoped_locale(int category, const std::string& name) : category_(category) {
        why_ = make(name);
        if (!why_.empty())
            return;
        const char* now = setlocale(category, nullptr);
        before_ = now != nullptr ? now : "C";
        std::string locpath_before;
        bool had_locpath = kiv_get_env("LOCPATH", locpath_before);
        kiv_set_env("LOCPATH", made_locale_detail::made().path.c_str());
        active_ = setlocale(category, name.c_str()) != nullptr;
        kiv_set_env("LOCPATH", had_locpath ? locpath_before.c_str() : nullptr);
        if (!active_)
            why_ = "setlocale refused the locale " + name + " that localedef made";
    }
    ~scoped_locale() {
        if (active_)
            setlocale(category_, before_.c_str());
    }
    scoped_locale(const scoped_locale&) = delete;
    scoped_locale& operator=(const scoped_locale&) = delete;

    // Returns: "" when the locale is in force, else why it is not (a test
    //     fails with it: the machine lacks what scripts/setup installs).
    const std::string& why() const { return why_; }

private:
    // Makes the locale `name` in the folder, once per process.
    // Returns: "" when it is there, else why not.
    static std::string make(const std::string& name) {
        made_locale_detail::folder& f = made_locale_detail::made();
        if (f.path.empty()) {
            const char* temp = getenv("TMPDIR");
            std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/kiv_locales_XXXXXX";
            if (mkdtemp(pattern.data()) == nullptr)
                return "cannot make a folder for the locales from " + pattern;
            f.path = pattern;
        }
        const std::string dir = f.path + "/" + name;
        if (access((dir + "/LC_CTYPE").c_str(), R_OK) == 0)
            return "";
        const size_t dot = name.find('.');
        if (dot == std::string::npos)
            return "a made locale is named LANGUAGE_TERRITORY.CHARMAP, not " + name;
        std::string out;
        int status = run_command("localedef -i '" + name.substr(0, dot) + "' -f '" + name.substr(dot + 1) + "' '" +
                                     dir + "' 2>&1",
                                 &out);
        if (access((dir + "/LC_CTYPE").c_str(), R_OK) != 0)
            return "localedef could not make " + name + " (exit " + std::to_string(status) + "): " + out +
                   " -- it needs the locale sources of the Debian package \"locales\", which scripts/setup installs";
        return "";
    }

    int category_;
    std::string before_;   // the category's setting before; restored at the end
    bool active_ = false;  // whether the made locale was set
    std::string why_;      // "" when in force
};

// Gives the calling thread a locale of its own while it lives, as a host
// does with uselocale: the process's locale with one category set to a
// made locale. The process's locale is switched only while the object is
// made (the copy is taken with duplocale: glibc's newlocale never frees
// the copy of LOCPATH it makes); other threads are left alone after that. The
// thread gets its locale from before back at the end. Stays on its
// thread.
class scoped_thread_locale {
public:
    scoped_thread_locale(int category, const std::string& name) {
        {
            scoped_locale process(category, name);
            why_ = process.why();
            if (!why_.empty())
                return;
            own_ = duplocale(LC_GLOBAL_LOCALE);
        }
        if (own_ == static_cast<locale_t>(0)) {
            why_ = "duplocale could not copy the locale " + name;
            return;
        }
        before_ = uselocale(own_);
    }
    ~scoped_thread_locale() {
        if (own_ != static_cast<locale_t>(0)) {
            uselocale(before_);
            freelocale(own_);
        }
    }
    scoped_thread_locale(const scoped_thread_locale&) = delete;
    scoped_thread_locale& operator=(const scoped_thread_locale&) = delete;

    // Returns: "" when the locale is in force on this thread, else why not.
    const std::string& why() const { return why_; }

private:
    locale_t own_ = static_cast<locale_t>(0);     // the thread's own locale; null when not made
    locale_t before_ = static_cast<locale_t>(0);  // the thread's locale before; restored at the end
    std::string why_;                             // "" when in force
};

// Returns: `value` with one decimal as the process's own printf writes it
//     now on the calling thread, to check that a made locale is the one
//     in force ("1,5" under a decimal comma).
inline std::string decimal_text(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace kiv_test

#endif
