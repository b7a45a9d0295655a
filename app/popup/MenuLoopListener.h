#pragma once
// What reads the messages of the menu loop through MenuLoopFilter.

#include <windows.h>

class MenuLoopListener {
public:
    virtual ~MenuLoopListener() = default;
    // A message the menu loop of this thread is about to handle: 1 when it was handled here and the loop
    // must not see it (the listeners after this one do not see it either).
    virtual int OnMenuLoopMessage(const MSG& message) = 0;
};
