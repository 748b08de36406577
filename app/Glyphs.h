// The glyphs of the configuration page's buttons, drawn in code: each has an enabled image and a
// grey one for the disabled state.
#ifndef QUILLON_APP_GLYPHS_H
#define QUILLON_APP_GLYPHS_H

#include <QIcon>

// A magnifying glass (Search...).
QIcon SearchGlyph();
// A green check mark (OK).
QIcon OkGlyph();
// A diskette (Save).
QIcon SaveGlyph();

#endif
