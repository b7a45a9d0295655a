#pragma once
// One packaged (Store) app as Windows lists it in its Applications folder.

#include "base/WString.h"

struct PackagedApp {
    // The AppUserModelID it is started and recognised by: "PackageFamilyName!ApplicationId".
    WString id;
    // The name Windows' own Start menu shows.
    WString name;
    // Follows the package's full name, which carries its version: it changes when the package is updated.
    unsigned stamp = 0;
    // The folder the package is installed in, which goes when the app is removed; empty when not known.
    WString folder;
};
