// The tool bar's pictures and the program's icon, drawn here so the program
// needs no image format plugins.
#pragma once
#include <QIcon>

// The picture of a tool-bar command (100, 101, 111-116, 118, 121).
QIcon commandIcon(int id);
QIcon programIcon();
