#pragma once

namespace pbx {

/*
 * Registers the library's resources (":/CRECORDS_TXT", ":/CLOCK_BMP", ":/CLOCK1_BMP") with Qt's
 * resource system. A static library's resources are not registered by themselves, so every user
 * calls this before opening one; loadCallRecords() calls it for you. Safe to call any number of
 * times and from any thread.
 */
void initResources();

} // namespace pbx
