#pragma once
// Names folded for searching: each character lower case and without its accents, one character for one,
// so that a position in the folded name is the same position in the name.

#include <string>

class NameFold {
public:
    // The name as shown: the part before a tab, without the "&" that marks the underlined character.
    static std::wstring Shown(const wchar_t* text);
    // Lower case, accents dropped ("Éditeur" becomes "editeur"), the same length as the text.
    static std::wstring Fold(const std::wstring& text);
    static wchar_t FoldCharacter(wchar_t character);
};
