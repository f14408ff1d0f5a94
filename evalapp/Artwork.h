// The program's pictures, drawn in code: the window icon and the about box's logo.
#pragma once
#include <QIcon>
#include <QImage>

// 32 x 32, the icon of the main window and the options dialog.
QIcon ProgramIcon();

// 53 x 144 pixels, 24-bit colour.
QImage AboutLogo();
