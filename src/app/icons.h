#pragma once
// Pictures the application draws itself: one category icon (48 px) and one
// format icon (32 px) per output category, the command pictures in their
// enabled and disabled forms, and the logo.
#include <QIcon>
#include <QPixmap>

namespace vexa::app {

QPixmap CategoryIcon(int category);  // 48 x 48
QPixmap FormatIcon(int category);    // 32 x 32

enum class TCommandGlyph { Add, Start, Stop, Pause, Resume, Options, Remove, Rename, Clear, Up, Down };
// An icon whose disabled mode is a picture of its own, not Qt's greyed copy.
QIcon CommandIcon(TCommandGlyph glyph);
QPixmap CommandPicture(TCommandGlyph glyph, bool enabled);

// withHint adds the line that tells an empty list how to begin.
QPixmap LogoPicture(const QSize& size, bool withHint = true);

}  // namespace vexa::app
