#pragma once
// An intrusive doubly-linked list guarded by a lock and an iteration gate: modifications wait until
// every running iteration has ended; iterations may run side by side.

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
    CriticalSection listLock;
    Event gate;
    int iterations = 0;
    CriticalSection countLock;
    SyncListItem* head = nullptr;
    SyncListItem* tail = nullptr;
};
