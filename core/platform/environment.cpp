// environment.cpp --
//
//     The process environment of the platform layer: one lock for our
//     readers and writers, and writes that never free or shift what a
//     reader holding no lock of ours may be walking.
//
//     Readers that take no lock of ours walk `environ` at any time: glibc's
//     getenv on any thread (name resolution, which may wait seconds on a
//     name server, the toolkits, the C library itself) loads `environ`
//     once and walks that array to its null; Tcl reads it under its own
//     mutex only (a script's env() read, a thread's end), index by index,
//     fetching `environ` again for every index, so one walk may go on in a
//     newer array; a forked child or an exec copies it. Such a reader may
//     be held up for any time between two steps. glibc's setenv would
//     reallocate the array, freeing it under them, and its unsetenv
//     shifts entries down, past a reader. Here:
//
//     - No array published in `environ` and no entry string is ever freed.
//       A caller may keep what getenv gave it, as glibc never frees its
//       strings either. Each distinct "name=value" text is made once and
//       shared by every array that holds it.
//     - Slot by slot, an array changes only by single pointer stores, and
//       only in three ways: a slot takes another entry of the same name
//       (a new value: a reader sees the old text or the new one); the
//       first null slot takes a new name while the slot after it is null
//       already (a reader sees the end or the new entry, then the end);
//       the last entry becomes null when its variable is unset. So every
//       name stays at the place it had when a reader started, and a
//       reader, however stale its array, finds each variable that stayed
//       set throughout its walk, with a value it had during that walk.
//     - Any other change (a variable unset in the middle, an environment
//       changed behind our back) switches `environ` to another array of
//       ours, one per order of names: each such array is kept with its
//       order and used again whenever the environment takes that order
//       again, its values brought up to date before it is published. A
//       stale reader still in it sees names where they were, values old
//       or new.
//     - Every array that can be published has the same number of slots,
//       which only grows, and at least one more than any array that was
//       in `environ` before it: a walk that reads on in a newer array
//       never passes its end.
//
//     Memory therefore grows with the distinct names, values and orders
//     of names the environment takes (and with changes that others make
//     in an array of ours, after which it is never used again), not with
//     the number of writes: setting a variable to its value allocates
//     nothing; switching it among values already seen allocates nothing.

#include "platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kiv::platform {

namespace {

// Created on first use and never destroyed, so environment reads at
// process exit stay safe. Reader-preferring (the default of the
// underlying rwlock), so a reader may nest without a waiting writer
// shutting it out.
std::shared_mutex& env_mutex() {
    static std::shared_mutex* m = new std::shared_mutex;
    return *m;
}

// An array of ours, for `environ`.
struct env_array {
    char** slots = nullptr;  // `capacity` pointers, calloc-ed; never freed
    size_t capacity = 0;
    size_t length = 0;  // entries before the first null; the slots after are null
};

struct env_blocks {
    // "name=value" (a view of the string itself) -> our string: every
    // entry of our arrays. Kept for good.
    std::unordered_map<std::string_view, char*> entries;
    // Hash of an order of names (order_hash) -> our arrays of that order,
    // not published now, which may be published again. An array that
    // leaves this map otherwise than by being published is never used
    // again.
    std::unordered_multimap<uint64_t, env_array> arrays;
    // The array of ours published last (slots null: none yet) and the
    // entries we stored in it: when `environ` still points there and it
    // holds just these, nobody else changed the environment since.
    env_array published;
    std::vector<char*> shown;
    // Slots of every array that may be published; only grows.
    size_t capacity = 0;
    // Arrays that will never be published again, kept for the readers
    // that may still walk them (and so that they stay reachable).
    std::vector<char**> retired;
};

// Guarded by the environment lock held alone; never destroyed.
env_blocks& blocks() {
    static env_blocks* b = new env_blocks;
    return *b;
}

// TZ as the last tzset of ours read it: whether it was set, and its
// value. Guarded by the environment lock held alone.
bool tz_read_set = false;
std::string tz_read_value;

// Runs tzset and notes the TZ it read. Called with the lock held alone.
void tzset_noted() {
    const char* tz = getenv("TZ");
    tz_read_set = tz != nullptr;
    tz_read_value = tz != nullptr ? tz : "";
    tzset();
}

// Stores one slot for the readers that take no lock: the entry's text is
// complete before they can see its address.
void store_slot(char** slot, char* entry) {
    __atomic_store_n(slot, entry, __ATOMIC_RELEASE);
}

// Returns: the length of the name of `entry`: the text before its first
//     "=", or all of it when it holds none (a hand-made environment).
size_t name_length(const char* entry) {
    const char* eq = std::strchr(entry, '=');
    return eq != nullptr ? static_cast<size_t>(eq - entry) : std::strlen(entry);
}

bool has_name(const char* entry, const char* name, size_t name_len) {
    return std::strncmp(entry, name, name_len) == 0 && entry[name_len] == '=';
}

bool same_name(const char* a, const char* b) {
    size_t n = name_length(a);
    return n == name_length(b) && std::strncmp(a, b, n) == 0;
}

// Returns: a hash of the order of names in `entries` (FNV-1a over each
//     name and a NUL after it; no name holds a NUL).
uint64_t order_hash(const char* const* entries, size_t count) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < count; ++i) {
        const char* entry = entries[i];
        for (size_t k = 0, n = name_length(entry); k <= n; ++k) {
            h ^= k < n ? static_cast<unsigned char>(entry[k]) : 0u;
            h *= 1099511628211ull;
        }
    }
    return h;
}

// Returns: whether `array` holds the names of `wanted` in the same slots.
bool same_order(const env_array& array, const std::vector<char*>& wanted) {
    if (array.length != wanted.size())
        return false;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (!same_name(array.slots[i], wanted[i]))
            return false;
    return true;
}

// Returns: our string with the text `text`, made on first use; null
//     when memory runs out.
char* intern(env_blocks& b, std::string_view text) {
    auto known = b.entries.find(text);
    if (known != b.entries.end())
        return known->second;
    char* entry = static_cast<char*>(std::malloc(text.size() + 1));
    if (entry == nullptr)
        return nullptr;
    std::memcpy(entry, text.data(), text.size());
    entry[text.size()] = '\0';
    try {
        b.entries.emplace(std::string_view(entry, text.size()), entry);
    } catch (const std::bad_alloc&) {
        std::free(entry);
        return nullptr;
    }
    return entry;
}

// Returns: whether our last published array still holds what we stored
//     in it (no one wrote into it in place, as glibc's setenv and
//     unsetenv do in whatever array `environ` points to).
bool published_intact(const env_blocks& b) {
    const char* const* slots = b.published.slots;
    return slots != nullptr && std::equal(b.shown.begin(), b.shown.end(), slots) && slots[b.shown.size()] == nullptr;
}

// Returns: whether `wanted` can be written into our array in `environ`
//     slot by slot (see the file's comment): the names it keeps stay
//     where they are, and only names after them come or go.
bool fits_in_place(const env_blocks& b, const std::vector<char*>& wanted) {
    if (wanted.size() + 1 > b.published.capacity)
        return false;
    for (size_t i = 0, n = std::min(b.shown.size(), wanted.size()); i < n; ++i)
        if (!same_name(b.shown[i], wanted[i]))
            return false;
    return true;
}

// Keeps `array`, no longer published, for its order of names to come
// back when `reusable`, else for good.
void keep(env_blocks& b, const env_array& array, bool reusable) {
    try {
        if (reusable)
            b.arrays.emplace(order_hash(array.slots, array.length), array);
        else
            b.retired.push_back(array.slots);
    } catch (const std::bad_alloc&) {
        // Unreachable from here on, still never freed.
    }
}

// Makes `wanted` (entries of ours, in order) the environment: in an
// array of ours kept for its order of names when there is one, else in
// place in our array in `environ` (`ours`) when the change allows it,
// else in a new array. `walked` is the length of the array in `environ`
// now. A kept array is preferred to a change in place, which would leave
// the kept one unused for good.
// Returns: false when memory runs out (then nothing changed).
bool publish(env_blocks& b, std::vector<char*>& wanted, bool ours, size_t walked) {
    // Any array published now has a null after its entries, and more
    // slots than the array a walk may still be in.
    const size_t needed = std::max(wanted.size(), walked) + 1;
    if (b.capacity < needed)
        b.capacity = std::max({needed, b.capacity * 2, size_t(64)});
    env_array target;
    auto range = b.arrays.equal_range(order_hash(wanted.data(), wanted.size()));
    for (auto it = range.first; it != range.second; ++it) {
        if (same_order(it->second, wanted)) {
            if (it->second.capacity == b.capacity)
                target = it->second;
            else
                keep(b, it->second, false);  // too short to be published again
            b.arrays.erase(it);
            break;
        }
    }

    if (target.slots == nullptr && ours && fits_in_place(b, wanted)) {
        char** slots = b.published.slots;
        const size_t kept = std::min(b.shown.size(), wanted.size());
        for (size_t i = b.shown.size(); i > kept; --i)
            store_slot(&slots[i - 1], nullptr);  // the last first: never a hole
        for (size_t i = 0; i < wanted.size(); ++i)
            if (i >= kept || slots[i] != wanted[i])
                store_slot(&slots[i], wanted[i]);  // names kept, or one after the last
        b.published.length = wanted.size();
        b.shown.swap(wanted);
        return true;
    }

    if (target.slots == nullptr) {
        target.slots = static_cast<char**>(std::calloc(b.capacity, sizeof(char*)));
        if (target.slots == nullptr)
            return false;
        target.capacity = b.capacity;
        target.length = wanted.size();
    }
    // A kept array has the same names in the same slots and nulls after
    // them; only values may be out of date.
    for (size_t i = 0; i < wanted.size(); ++i)
        if (target.slots[i] != wanted[i])
            store_slot(&target.slots[i], wanted[i]);
    __atomic_store_n(&environ, target.slots, __ATOMIC_SEQ_CST);

    // The array published before waits for its order to come back,
    // unless someone else wrote into it or it is too short.
    if (b.published.slots != nullptr)
        keep(b, b.published, published_intact(b) && b.published.capacity == b.capacity);
    b.published = target;
    b.shown.swap(wanted);
    return true;
}

}  // namespace

env_reading::env_reading() {
    env_mutex().lock_shared();
}

env_reading::~env_reading() {
    env_mutex().unlock_shared();
}

bool env_get(const char* name, std::string& value) {
    if (name == nullptr || *name == '\0')
        return false;
    std::shared_lock<std::shared_mutex> lock(env_mutex());
    const char* v = getenv(name);
    if (v == nullptr)
        return false;
    value = v;
    return true;
}

bool env_set(const char* name, const char* value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr)
        return false;
    const size_t name_len = std::strlen(name);
    const bool unset = value == nullptr || *value == '\0';
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    env_blocks& b = blocks();
    char** env = environ;
    const bool ours = b.published.slots != nullptr && env == b.published.slots && published_intact(b);
    if (ours) {
        // Nothing to do, found without allocating: the one entry of the
        // name holds the value already, or the name is not set.
        size_t count = 0;
        const char* first = nullptr;
        for (const char* entry : b.shown)
            if (has_name(entry, name, name_len) && count++ == 0)
                first = entry;
        if (unset ? count == 0 : count == 1 && std::strcmp(first + name_len + 1, value) == 0)
            return true;
    }
    try {
        std::vector<char*> base;
        if (ours) {
            base = b.shown;
        } else {
            // Changed behind our back (Tcl's env array writes through
            // glibc), or never written by us: its texts become ours, as
            // their owners may free them.
            for (char** p = env; p != nullptr && *p != nullptr; ++p) {
                char* entry = intern(b, *p);
                if (entry == nullptr)
                    return false;
                base.push_back(entry);
            }
        }
        char* entry = nullptr;
        if (!unset && (entry = intern(b, std::string(name) + "=" + value)) == nullptr)
            return false;
        // Every entry of the name goes (a hand-made environment may hold
        // two); the new one takes the place of the first.
        std::vector<char*> wanted;
        bool found = false;
        for (char* known : base) {
            if (has_name(known, name, name_len)) {
                if (!found && entry != nullptr)
                    wanted.push_back(entry);
                found = true;
            } else {
                wanted.push_back(known);
            }
        }
        if (!found && entry != nullptr)
            wanted.push_back(entry);
        if (wanted == base)
            return true;  // the same texts in the same order
        return publish(b, wanted, ours, base.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// tzset and mktime rewrite the C library's time-zone state (mktime
// runs tzset itself), so they take the lock alone, not beside readers:
// two of them side by side would write that state together.
void tz_refresh() {
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    tzset_noted();
}

bool tz_refresh_if_changed() {
    std::unique_lock<std::shared_mutex> lock(env_mutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    // Compared with what the last tzset read rather than counted in
    // env_set: TZ may also change behind our wrapper (Tcl's env array).
    const char* tz = getenv("TZ");
    if ((tz != nullptr) != tz_read_set || (tz != nullptr && tz_read_value != tz))
        tzset_noted();
    return true;
}

long long mktime_local(struct tm* fields) {
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    return static_cast<long long>(mktime(fields));
}

}  // namespace kiv::platform
