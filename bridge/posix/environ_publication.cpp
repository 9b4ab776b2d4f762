// Publishing the environment without freeing or shortening anything a reader may hold.
//
// Growth copies into a new, zero-filled array with room to spare and publishes it with one release
// store; the old one stays allocated for whoever is still walking it. In place, slots only ever
// change from one valid entry to another: a removed variable's slot takes a copy of one chosen live
// entry (the hole filler), and a later addition reuses that hole. A reader may see the filler twice,
// always with one value, and never meets a null before the end it saw.
#include "environ_publication.h"

#include "zknative7_alloc.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

// Every array this library has published, newest first, kept so none is ever freed.
struct PublishedArray {
    PublishedArray* previous;
    size_t slots;  // room in entries, the terminating null included
    char** entries;
};
PublishedArray* newestPublished = nullptr;

// The live entry that the newest array's holes repeat. It stays set after additions have reused
// every hole (they do not look for more), so it may repeat nothing; it is null only once a new
// array or a change of that entry itself has shown there are none.
const char* holeFiller = nullptr;

// Every "NAME=VALUE" this library has stored, so a value set again reuses its string.
char** knownEntries = nullptr;
size_t knownSlots = 0;  // a power of two, at least twice knownCount
size_t knownCount = 0;

constexpr size_t kFewestSlots = 32;

// Most entries differ from the name in their first two bytes; checking those inline keeps a scan
// past holes and unrelated variables cheap.
bool hasName(const char* entry, const char* name, size_t nameBytes) {
    if (entry[0] != name[0]) {
        return false;
    }
    if (nameBytes == 1) {
        return entry[1] == '=';
    }
    return entry[1] == name[1] && std::strncmp(entry + 2, name + 2, nameBytes - 2) == 0 && entry[nameBytes] == '=';
}

void publishSlot(char** slot, const char* entry) {
    __atomic_store_n(slot, const_cast<char*>(entry), __ATOMIC_RELEASE);
}

size_t hashOf(const char* bytes, size_t length) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    }
    return static_cast<size_t>(hash ^ (hash >> 32));
}

bool growKnownEntries() {
    size_t slots = knownSlots == 0 ? 64 : knownSlots * 2;
    char** table = static_cast<char**>(sMalloc(slots * sizeof(char*)));
    if (table == nullptr) {
        return false;
    }
    std::memset(table, 0, slots * sizeof(char*));
    for (size_t i = 0; i < knownSlots; ++i) {
        if (char* entry = knownEntries[i]) {
            size_t probe = hashOf(entry, std::strlen(entry)) & (slots - 1);
            while (table[probe] != nullptr) {
                probe = (probe + 1) & (slots - 1);
            }
            table[probe] = entry;
        }
    }
    sFree(knownEntries);  // only this file ever reads the table, under the lock
    knownEntries = table;
    knownSlots = slots;
    return true;
}

// The stored string equal to `entry`, made once and kept for good; null when the heap is exhausted.
const char* knownEntry(const char* entry, size_t entryBytes) {
    if ((knownCount + 1) * 2 > knownSlots && !growKnownEntries()) {
        return nullptr;
    }
    size_t probe = hashOf(entry, entryBytes) & (knownSlots - 1);
    for (; knownEntries[probe] != nullptr; probe = (probe + 1) & (knownSlots - 1)) {
        if (std::strcmp(knownEntries[probe], entry) == 0) {
            return knownEntries[probe];
        }
    }
    char* stored = static_cast<char*>(sMalloc(entryBytes + 1));
    if (stored == nullptr) {
        return nullptr;
    }
    std::memcpy(stored, entry, entryBytes + 1);
    knownEntries[probe] = stored;
    ++knownCount;
    return stored;
}

bool isKnownEntry(const char* entry) {
    if (knownSlots == 0) {
        return false;
    }
    size_t probe = hashOf(entry, std::strlen(entry)) & (knownSlots - 1);
    for (; knownEntries[probe] != nullptr; probe = (probe + 1) & (knownSlots - 1)) {
        if (std::strcmp(knownEntries[probe], entry) == 0) {
            return knownEntries[probe] == entry;
        }
    }
    return false;
}

// The entry holes will repeat while `name` is removed. Replacing it later costs a new array, so it
// is one this library never stored (inherited, so the program is least likely to change it), or
// failing that the earliest other entry; null when there is none.
const char* chooseHoleFiller(char* const* entries, size_t count, const char* name, size_t nameBytes) {
    const char* earliest = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const char* equals = std::strchr(entries[i], '=');
        if (hasName(entries[i], name, nameBytes) || equals == nullptr || equals == entries[i]) {
            continue;  // a child must inherit nothing but variables, and no entry more often than it was there
        }
        if (!isKnownEntry(entries[i])) {
            return entries[i];
        }
        earliest = earliest == nullptr ? entries[i] : earliest;
    }
    return earliest;
}

size_t entryCount(char* const* entries) {
    size_t count = 0;
    while (entries != nullptr && entries[count] != nullptr) {
        ++count;
    }
    return count;
}

// Publishes a new array holding `from`'s entries without the variable `dropped` (when not null) and
// without holes, then `added` (when not null). The array it replaces is left exactly as it was.
char** publishCopy(char* const* from, size_t count, const char* dropped, size_t droppedBytes, const char* added) {
    size_t slots = 2 * (count + 2) > kFewestSlots ? 2 * (count + 2) : kFewestSlots;
    PublishedArray* array = static_cast<PublishedArray*>(sMalloc(sizeof(PublishedArray)));
    char** entries = array == nullptr ? nullptr : static_cast<char**>(sMalloc(slots * sizeof(char*)));
    if (entries == nullptr) {
        sFree(array);
        return nullptr;
    }
    std::memset(entries, 0, slots * sizeof(char*));
    size_t kept = 0;
    bool fillerKept = false;
    for (size_t i = 0; i < count; ++i) {
        bool isFiller = from[i] == holeFiller;
        if ((dropped != nullptr && hasName(from[i], dropped, droppedBytes)) || (isFiller && fillerKept)) {
            continue;
        }
        fillerKept = fillerKept || isFiller;
        entries[kept++] = from[i];
    }
    if (added != nullptr) {
        entries[kept] = const_cast<char*>(added);
    }
    if (!fillerKept) {
        holeFiller = nullptr;
    }
    *array = PublishedArray{newestPublished, slots, entries};
    newestPublished = array;
    __atomic_store_n(&environ, entries, __ATOMIC_RELEASE);
    return entries;
}

// The newest array of ours, adopting the current one first if someone else replaced environ.
char** ownArray() {
    char** current = __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
    if (newestPublished != nullptr && current == newestPublished->entries) {
        return current;
    }
    return publishCopy(current, entryCount(current), nullptr, 0, nullptr);
}

}  // namespace

bool publishAssignment(const char* entry, size_t entryBytes, size_t nameBytes) {
    const char* stored = knownEntry(entry, entryBytes);
    char** entries = stored == nullptr ? nullptr : ownArray();
    if (entries == nullptr) {
        return false;
    }
    size_t count = 0;
    size_t matches = 0;
    size_t match = 0;
    size_t hole = SIZE_MAX;
    bool fillerSeen = false;
    for (; entries[count] != nullptr; ++count) {
        if (hasName(entries[count], entry, nameBytes) && matches++ == 0) {
            match = count;
        }
        if (entries[count] == holeFiller) {
            if (fillerSeen && hole == SIZE_MAX) {
                hole = count;
            }
            fillerSeen = true;
        }
    }
    if (matches == 1) {
        if (entries[match] == holeFiller) {
            holeFiller = nullptr;  // it had no holes, or they would have matched too
        }
        publishSlot(&entries[match], stored);
        return true;
    }
    if (matches > 1) {
        // One variable in several slots cannot change them all at once: a child could inherit two
        // values. A new array changes them together.
        return publishCopy(entries, count, entry, nameBytes, stored) != nullptr;
    }
    if (hole != SIZE_MAX) {
        publishSlot(&entries[hole], stored);
        return true;
    }
    if (count + 1 < newestPublished->slots) {
        publishSlot(&entries[count], stored);  // the slot after it is null already
        return true;
    }
    return publishCopy(entries, count, nullptr, 0, stored) != nullptr;
}

bool publishRemoval(const char* name, size_t nameBytes) {
    char** entries = ownArray();
    if (entries == nullptr) {
        return false;
    }
    size_t count = 0;
    bool present = false;
    bool fillerLive = false;  // a writer around this library may have replaced it
    for (; entries[count] != nullptr; ++count) {
        fillerLive = fillerLive || entries[count] == holeFiller;
        present = present || hasName(entries[count], name, nameBytes);
    }
    if (!present) {
        return true;
    }
    if (!fillerLive || hasName(holeFiller, name, nameBytes)) {
        holeFiller = chooseHoleFiller(entries, count, name, nameBytes);
    }
    if (holeFiller == nullptr) {
        return publishCopy(entries, count, name, nameBytes, nullptr) != nullptr;  // nothing else is left
    }
    for (size_t i = 0; i < count; ++i) {
        if (hasName(entries[i], name, nameBytes)) {
            publishSlot(&entries[i], holeFiller);
        }
    }
    return true;
}

const char* publishedValue(const char* name, size_t nameBytes) {
    char** entries = __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
    if (entries == nullptr) {
        return nullptr;
    }
    // Read once: no load may move above the acquire loads below, so the compiler would read it
    // again for every entry.
    const char first = name[0];
    for (size_t i = 0;; ++i) {
        const char* entry = __atomic_load_n(&entries[i], __ATOMIC_ACQUIRE);
        if (entry == nullptr) {
            return nullptr;
        }
        if (entry[0] == first && hasName(entry, name, nameBytes)) {
            return entry + nameBytes + 1;
        }
    }
}

const char** publishedVariables(size_t* count) {
    char** entries = __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
    size_t slots = 0;
    while (entries != nullptr && __atomic_load_n(&entries[slots], __ATOMIC_ACQUIRE) != nullptr) {
        ++slots;
    }
    size_t nameSlots = kFewestSlots;  // a power of two, at least twice the entries
    while (nameSlots < 2 * slots) {
        nameSlots *= 2;
    }
    auto* listed = static_cast<const char**>(sMalloc((slots + 1) * sizeof(char*)));
    auto* names = static_cast<const char**>(sMalloc(nameSlots * sizeof(char*)));
    if (listed == nullptr || names == nullptr) {
        sFree(listed);
        sFree(names);
        return nullptr;
    }
    std::memset(names, 0, nameSlots * sizeof(char*));
    size_t kept = 0;
    for (size_t i = 0; i < slots; ++i) {
        const char* entry = __atomic_load_n(&entries[i], __ATOMIC_ACQUIRE);
        if (entry == nullptr) {
            break;  // someone else's unsetenv shifted entries down in place
        }
        const char* equals = std::strchr(entry, '=');
        if (equals == nullptr || equals == entry) {
            continue;
        }
        size_t nameBytes = static_cast<size_t>(equals - entry);
        size_t probe = hashOf(entry, nameBytes) & (nameSlots - 1);
        while (names[probe] != nullptr && !hasName(names[probe], entry, nameBytes)) {
            probe = (probe + 1) & (nameSlots - 1);
        }
        if (names[probe] == nullptr) {  // holes repeat one entry; a name can also be inherited twice
            names[probe] = entry;
            listed[kept++] = entry;
        }
    }
    sFree(names);
    *count = kept;
    return listed;
}

bool publishCompacted() {
    char** entries = ownArray();
    size_t count = entryCount(entries);
    size_t nameSlots = kFewestSlots;  // a power of two, at least twice the entries
    while (nameSlots < 2 * count) {
        nameSlots *= 2;
    }
    auto* names = static_cast<const char**>(entries == nullptr ? nullptr : sMalloc(nameSlots * sizeof(char*)));
    auto* kept = static_cast<char**>(names == nullptr ? nullptr : sMalloc((count + 1) * sizeof(char*)));
    bool published = false;
    if (kept != nullptr) {
        std::memset(names, 0, nameSlots * sizeof(char*));
        size_t keptCount = 0;
        for (size_t i = 0; i < count; ++i) {
            const char* equals = std::strchr(entries[i], '=');
            bool repeated = false;
            if (equals != nullptr && equals != entries[i]) {
                size_t nameBytes = static_cast<size_t>(equals - entries[i]);
                size_t probe = hashOf(entries[i], nameBytes) & (nameSlots - 1);
                while (names[probe] != nullptr && !hasName(names[probe], entries[i], nameBytes)) {
                    probe = (probe + 1) & (nameSlots - 1);
                }
                repeated = names[probe] != nullptr;
                names[probe] = entries[i];
            }
            if (!repeated) {
                kept[keptCount++] = entries[i];
            }
        }
        published = publishCopy(kept, keptCount, nullptr, 0, nullptr) != nullptr;
        if (published) {
            holeFiller = nullptr;  // none left; a copy that failed leaves the holes, still known as such
        }
    }
    sFree(kept);
    sFree(names);
    return published;
}
