#pragma once
#include <QIcon>
#include <QString>

namespace orv {

// The tool bar pictures, drawn as vector shapes so they stay sharp at 24 x 22
// and on high-density screens. Names are the buttons' picture names
// ("Open", "Grava", "Imprimir", "First", ...).
QIcon buttonIcon(const QString& name);
// The program's window icon.
QIcon applicationIcon();

}  // namespace orv
