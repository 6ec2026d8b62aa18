// auto_translator.h --
//
//     "svc_auto_translator": on the load event of every library loaded
//     after kiv_gui's entry has run, adds that library's translation
//     catalog to "svc_translator" and its help book "help/<name>_doc.zip"
//     (under the root) to the frame service's help controller.

#ifndef KIV_GUI_SRC_AUTO_TRANSLATOR_H
#define KIV_GUI_SRC_AUTO_TRANSLATOR_H

#include <kiv/core/object.h>

namespace kiv {

class auto_translator : public object {
public:
    // Installs the handler of "KIV_CORE_EVT_LOAD_LIBRARY" (any object).
    auto_translator();
    // Uninstalls it; once this returns no callback runs any more.
    ~auto_translator() override;

    // Handles one load event; always lets later handlers run. Runs on
    // the loading thread.
    bool on_load_library(i_event* event);
};

}  // namespace kiv

#endif
