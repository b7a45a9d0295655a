#pragma once
// An intrusive doubly-linked list guarded by a lock and an iteration gate: modifications wait until
// every running iteration has ended; iterations may run side by side. The gate is a kernel event made
// only when a modification first has to wait, so a list that no other thread iterates costs no call
// into the kernel (under Wine every event operation is a round trip to the wineserver).

#include "base/CriticalSection.h"
#include "base/Event.h"

class SyncListItem {
public:
    virtual ~SyncListItem() = default;
    SyncListItem* next = nullptr;
    SyncListItem* previous = nullptr;
};

class SyncList {
public:
    // Less than, equal to or greater than 0, as the present element compares with the new one.
    typedef int (*Comparison)(const SyncListItem* present, const SyncListItem* added, void* userData);

    SyncList();
    ~SyncList() = default;
    SyncList(const SyncList&) = delete;
    SyncList& operator=(const SyncList&) = delete;

    void Lock();
    void Unlock();
    void BeginIteration();
    void EndIteration();

    void PushBack(SyncListItem* element);
    void PushFront(SyncListItem* element);
    void InsertBefore(SyncListItem* position, SyncListItem* element);
    void InsertSorted(SyncListItem* element, Comparison comparison, void* userData);
    int Remove(SyncListItem* element);
    void Clear();

    int IsEmpty() const { return head == nullptr; }
    SyncListItem* First() const { return head; }
    SyncListItem* Next(const SyncListItem* element) const { return element ? element->next : nullptr; }

private:
    // Guards the links and the count of iterations.
    CriticalSection listLock;
    // Reset by a modification that waits for iterations, set when the last of them ends.
    Event gate;
    int iterations = 0;
    SyncListItem* head = nullptr;
    SyncListItem* tail = nullptr;
};
