#pragma once
// The program's icon: a postage stamp with a postmark, painted here at
// every size a desktop asks for, so it stays sharp in a skinned caption
// (16 pixels) as in a task switcher.

#include <QIcon>
#include <QImage>

// The picture at one size (square, transparent round the stamp).
QImage PaintProgramIcon(int size);

// Every window's icon: main() gives it to the application.
QIcon ProgramIcon();
