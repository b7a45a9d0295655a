#include "app/popup/MenuItemData.h"

#include <new>
#include <unordered_set>

namespace {

// The records alive. The menus and their messages live on one thread, but tests and a second tree may
// build menus on others, so the set has a lock of its own.
struct Registry {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_set<ULONG_PTR> records;
};

Registry& Records() {
    static Registry registry;
    return registry;
}

} // namespace

MenuItemData* MenuItemData::New() {
    MenuItemData* record = new (std::nothrow) MenuItemData;
    if (!record)
        return nullptr;
    Registry& registry = Records();
    int known = 0;
    AcquireSRWLockExclusive(&registry.lock);
    try {
        registry.records.insert(reinterpret_cast<ULONG_PTR>(record));
        known = 1;
    } catch (const std::bad_alloc&) {
    }
    ReleaseSRWLockExclusive(&registry.lock);
    if (!known) {
        delete record;
        return nullptr;
    }
    return record;
}

void MenuItemData::Delete(MenuItemData* record) {
    if (!record)
        return;
    Registry& registry = Records();
    AcquireSRWLockExclusive(&registry.lock);
    registry.records.erase(reinterpret_cast<ULONG_PTR>(record));
    ReleaseSRWLockExclusive(&registry.lock);
    delete record;
}

MenuItemData* MenuItemData::FromItemData(ULONG_PTR data) {
    if (!data)
        return nullptr;
    Registry& registry = Records();
    AcquireSRWLockShared(&registry.lock);
    int known = registry.records.count(data) != 0;
    ReleaseSRWLockShared(&registry.lock);
    return known ? reinterpret_cast<MenuItemData*>(data) : nullptr;
}
