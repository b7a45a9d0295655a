#pragma once
// What the About box needs of the program's update checker, which lives above the framework: the time
// of the last automatic check and whether the checks keep failing, and a check started at once when the
// user switches checks on.

#include "base/WString.h"

class UpdateSwitch {
public:
    // The last automatic check as the user's short date and time; empty when none ran.
    virtual int FormatLastCheck(WString& text) = 0;
    // Starts a check now, whatever the weekly rule says; 1 when one was started.
    virtual int CheckNow() = 0;
    // 1 when the automatic checks have found no valid answer for a month while trying.
    virtual int ChecksFailing() = 0;

protected:
    ~UpdateSwitch() = default;
};
