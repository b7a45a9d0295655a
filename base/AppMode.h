#pragma once
// Whether Windows asks programs for dark colours (the "app mode" of Windows 10 1809 and later).

// 1 when the user chose the dark app mode and high contrast is off: high contrast always wins, its
// colours are the system's own.
int AppsUseDarkMode();
