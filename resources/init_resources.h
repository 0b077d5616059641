#pragma once

// Registers the compiled-in icons (":/icons/<id>.svg") and bitmaps (":/bitmaps/<id>.svg").
// The resource data sits in a static library, so nothing would pull it into a program
// unless something refers to it; calling this once before the first lookup does. Safe to
// call any number of times and from any thread.
void InitTapwatchResources();
