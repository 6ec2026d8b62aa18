// i_search_item.h --
//
//     One place found by a search (a city, a street or a house): its
//     64-bit id (get_id), its text (get_name), its type and its point.
//     The search panel hands one to the map view with the GUI event
//     "AVL_EVT_FEATURE_FOUND"; the view centres on it and marks it.

#ifndef KIV_GUI_ADDIN_I_SEARCH_ITEM_H
#define KIV_GUI_ADDIN_I_SEARCH_ITEM_H

#include <kiv/core/i_string.h>

namespace kiv {

class i_search_item : public virtual i_typed_object, public virtual i_named_object {
public:
    enum { type_city = 0, type_street = 1, type_house = 2 };
    // Returns: 0 city, 1 street, 2 house.
    virtual int get_type() = 0;
    virtual double get_lat() = 0;
    virtual double get_lon() = 0;

protected:
    ~i_search_item() = default;
};

}  // namespace kiv

// Returns: the search-item interface of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::i_search_item* kiv_cast_i_search_item(kiv::i_object* obj);

#endif
