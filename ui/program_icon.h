#pragma once
// The program's icon, the icon resource of the main window's class: the ring logo that the
// default skin also draws in the caption, painted at the sizes desktops ask for (title bars,
// task bars, window switchers). Needs a QGuiApplication; GUI thread.
#include <QIcon>
#include <QImage>
#include <QPainter>

namespace vidora {

// The logo centred at `centre` with an outer radius of `radius` pixels.
void paintProgramLogo(QPainter& painter, QPointF centre, qreal radius);

// The logo on a transparent square of `size` pixels, as the icon shows it at that size.
QImage programIconImage(int size);

// The icon of an icon resource; null for resources the program does not have.
QIcon programIcon(int resource);

}  // namespace vidora
