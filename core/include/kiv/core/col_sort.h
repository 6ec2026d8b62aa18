// col_sort.h --
//
//     Ordering a collection of named objects by name, for lists shown to
//     people (maps, layers) that must not depend on load order.

#ifndef KIV_CORE_COL_SORT_H
#define KIV_CORE_COL_SORT_H

#include <kiv/core/i_object_col.h>

// Copies the items of `src_col` that answer i_named_object into a new
// collection, ordered by name (unsigned bytes, as strcmp). Ascending keeps
// equal names in source order; descending is the exact reverse of the
// ascending order (equal names come out in reverse source order). Items
// without a name interface are left out; `src_col` is not changed.
// Returns: the new collection with one reference for the caller; null
//     for a null collection.
KIV_EXTERN_C kiv::i_object_col* kiv_sort_col(kiv::i_object_col* src_col, bool ascending);

#endif
