#pragma once
// Adds a file to what Windows Error Reporting collects when this program fails.

// 1 when Windows Error Reporting accepted the file; 0 on systems without it (before Vista, Wine).
int RegisterReportFile(const wchar_t* path);
