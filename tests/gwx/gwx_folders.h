// gwx_folders.h --
//
//     Folders of the driver's tests: a maps folder holding the demo chart,
//     the environment that points the driver at it, and the snapshot
//     files the driver leaves in its temp folder.

#ifndef KIV_TESTS_GWX_GWX_FOLDERS_H
#define KIV_TESTS_GWX_GWX_FOLDERS_H

#include <kiv/core/env.h>

#include "../core/test_util.h"

#include <dirent.h>

#include <fstream>
#include <string>
#include <vector>

namespace kiv_test {

// Copies the demo chart into `maps` as `file`.
inline void copy_demo_chart(const temp_dir& maps, const std::string& file) {
    std::ifstream in(KIV_DEMO_CHARTS "/ashford.chart", std::ios::binary);
    std::ofstream(maps.file(file), std::ios::binary) << in.rdbuf();
}

// Copies the demo chart into `maps` as `file` and points the driver at
// it: the maps folder, `list` as the one listed map, none loaded at
// start, and TEMP (where snapshots go) in `tmp`.
inline void use_demo_chart(const temp_dir& maps, const temp_dir& tmp, const std::string& file, const char* list) {
    copy_demo_chart(maps, file);
    kiv_set_env("TEMP", tmp.path().c_str());
    kiv_set_env("KIV_GWX_MAPS_PATH", maps.path().c_str());
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    kiv_set_env("KIV_GWX_MAPS_LIST", list);
}

// Clears what use_demo_chart sets, and the font folder that loading the
// gis service sets.
inline void clear_demo_chart_env() {
    for (const char* name : {"TEMP", "KIV_FONT_PATH", "KIV_GWX_MAPS_PATH", "KIV_GWX_MAPS_LIST", "KIV_GWX_MAPS_LOAD"})
        kiv_set_env(name, nullptr);
}

// Returns: the names of the snapshot files ("gwx_...") in `folder`.
inline std::vector<std::string> snapshot_files(const std::string& folder) {
    std::vector<std::string> out;
    DIR* dir = opendir(folder.c_str());
    while (dirent* e = dir != nullptr ? readdir(dir) : nullptr)
        if (std::string(e->d_name).rfind("gwx_", 0) == 0)
            out.push_back(e->d_name);
    if (dir != nullptr)
        closedir(dir);
    return out;
}

}  // namespace kiv_test

#endif
