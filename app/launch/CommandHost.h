#pragma once
// What the fixed commands need from the application that shows the menu. The application implements
// it; the launcher calls it, so nothing below the application needs to know the application.

#include <windows.h>

class CommandHost {
public:
    // The About box, modal; returns when it has closed.
    virtual INT_PTR ShowAbout() = 0;
    // Ends the program as its own Exit entry does.
    virtual void Exit() = 0;

protected:
    ~CommandHost() = default;
};
