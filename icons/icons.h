#pragma once
// The 30 x 30 pictures beside the style and visibility controls, drawn at run time.
#include <QPixmap>

namespace tivarel {

QPixmap WebIcon();        // green web: spokes from triangle centres
QPixmap TriangleIcon();   // green triangle mesh
QPixmap RingsIcon(int size = 30);   // nested green, blue and red contour rings
QPixmap BallsIcon();      // white balls joined by a bond
QPixmap CellBoxIcon();    // white wire box

}  // namespace tivarel
