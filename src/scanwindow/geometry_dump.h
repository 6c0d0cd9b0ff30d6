#pragma once
// Developer aid for end-to-end scripts: with KVNSCAN_DUMP_GEOMETRY=<file> in the
// environment the scan window keeps that file up to date with where each named
// control is on the screen, so a script can click it without knowing the layout.
#include <QString>

class QWidget;

// One line per named widget in the window (the window itself first, its
// caption as value):
//   name x y width height visible enabled [value]
// with global coordinates, visible/enabled as 1/0, and value the text of an
// edit, memo, spin edit or drop-down, "true"/"false" for a check box, a button's
// caption (line breaks written as "\n", access key marks "&" left out), or the
// preview's picture size "WxH".
QString GeometryDumpText(const QWidget *window);

// Then for every other visible dialog (questions, input and file dialogs) a line
//   dialog x y width height 1 1 caption
// followed by one line per visible button of it:
//   button x y width height visible enabled caption
QString DialogsDumpText(const QWidget *window);

// Keeps the file named by KVNSCAN_DUMP_GEOMETRY current while the window lives;
// does nothing when the variable is unset or empty.
void InstallGeometryDump(QWidget *window);
