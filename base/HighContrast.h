#pragma once
// Whether the user has turned high contrast on: the program then paints with the system's colours only,
// without gradients or colours of its own.

int IsHighContrast();
