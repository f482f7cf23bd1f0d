// The tool bar's pictures and the program's icon, drawn here so the program
// needs no image format plugins.
#pragma once
#include <QIcon>

// The picture of a command that has a tool-bar button.
QIcon commandIcon(int id);
QIcon programIcon();
