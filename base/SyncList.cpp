#include "base/SyncList.h"

SyncList::SyncList() {
    listLock.Init();
}

void SyncList::Lock() {
    listLock.Enter();
    // Iterations need the lock only to count themselves, so they start and end while we wait without
    // it. Once the count is 0 under the lock no iteration can begin until Unlock. A thread already
    // holding the lock (Clear calling Remove) finds the count 0 and never waits here.
    while (iterations > 0) {
        if (!gate.Handle())
            gate.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME);
        gate.Reset();
        listLock.Leave();
        // Without an event (no kernel resources left) the count is polled.
        if (gate.Handle())
            WaitForSingleObject(gate.Handle(), INFINITE);
        else
            Sleep(1);
        listLock.Enter();
    }
}

void SyncList::Unlock() {
    listLock.Leave();
}

void SyncList::BeginIteration() {
    listLock.Enter();
    iterations++;
    listLock.Leave();
}

void SyncList::EndIteration() {
    listLock.Enter();
    // The event exists only when a modification has waited for an iteration.
    if (iterations > 0 && --iterations == 0 && gate.Handle())
        gate.Set();
    listLock.Leave();
}

void SyncList::PushBack(SyncListItem* element) {
    if (!element)
        return;
    Lock();
    element->next = nullptr;
    element->previous = tail;
    if (tail)
        tail->next = element;
    else
        head = element;
    tail = element;
    Unlock();
}

void SyncList::PushFront(SyncListItem* element) {
    if (!element)
        return;
    Lock();
    element->previous = nullptr;
    element->next = head;
    if (head)
        head->previous = element;
    else
        tail = element;
    head = element;
    Unlock();
}

void SyncList::InsertBefore(SyncListItem* position, SyncListItem* element) {
    if (!element)
        return;
    if (!position) {
        PushBack(element);
        return;
    }
    Lock();
    element->next = position;
    element->previous = position->previous;
    if (position->previous)
        position->previous->next = element;
    else
        head = element;
    position->previous = element;
    Unlock();
}

void SyncList::InsertSorted(SyncListItem* element, Comparison comparison, void* userData) {
    if (!element)
        return;
    SyncListItem* before = nullptr;
    BeginIteration();
    for (SyncListItem* present = head; present; present = present->next) {
        if (comparison(present, element, userData) > 0) {
            before = present;
            break;
        }
    }
    EndIteration();
    if (before)
        InsertBefore(before, element);
    else if (!head)
        PushFront(element);
    else
        PushBack(element);
}

int SyncList::Remove(SyncListItem* element) {
    if (!element)
        return 0;
    Lock();
    SyncListItem* present = head;
    while (present && present != element)
        present = present->next;
    if (!present) {
        Unlock();
        return 0;
    }
    if (element->previous)
        element->previous->next = element->next;
    else
        head = element->next;
    if (element->next)
        element->next->previous = element->previous;
    else
        tail = element->previous;
    element->next = element->previous = nullptr;
    Unlock();
    return 1;
}

void SyncList::Clear() {
    Lock();
    while (head) {
        SyncListItem* first = head;
        Remove(first);
        delete first;
    }
    Unlock();
}
