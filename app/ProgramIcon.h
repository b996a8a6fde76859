#pragma once
// The program's icon, drawn rather than loaded: a pocket player whose screen
// shows a play sign, with a conversion arrow on its corner.

#include <QIcon>
#include <QImage>

// The icon on a transparent square of `size` pixels.
QImage DrawProgramIcon(int size);
// The icon in the sizes a desktop asks for.
QIcon ProgramIcon();
