#pragma once
// The About box: product name, version and the maker's address, and the switch for the automatic
// update check.

#include "framework/DialogBase.h"

class AboutDialog : public DialogBase {
public:
    AboutDialog() = default;
    ~AboutDialog() override = default;

protected:
    int OnInitDialog() override;
    int OnCommand(int id, WPARAM wParam, LPARAM lParam) override;
};
