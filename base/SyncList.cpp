#include "base/SyncList.h"

SyncList::SyncList() {
    listLock.Init();
    countLock.Init();
    gate.Create(1, 1, nullptr, 0);
}

void SyncList::Lock() {
    listLock.Enter();
    if (gate.Handle())
        WaitForSingleObject(gate.Handle(), INFINITE);
}

void SyncList::Unlock() {
    listLock.Leave();
}

void SyncList::BeginIteration() {
    countLock.Enter();
    if (iterations == 0) {
        listLock.Enter();
        gate.Reset();
        listLock.Leave();
    }
    iterations++;
    countLock.Leave();
}

void SyncList::EndIteration() {
    countLock.Enter();
    if (iterations > 0 && --iterations == 0)
        gate.Set();
    countLock.Leave();
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
