#include "icons/icons.h"

#include <QPainter>
#include <QRadialGradient>

namespace tivarel {

namespace {
constexpr int kSize = 30;
const QColor kGreen(26, 178, 26);

QPixmap Blank(int size = kSize) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::black);
    return pixmap;
}

// Two triangles sharing an edge, as the meshes are drawn.
const QPointF kMesh[4] = {{4, 25}, {15, 4}, {26, 25}, {26, 8}};
}  // namespace

QPixmap WebIcon() {
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setPen(QPen(kGreen, 1.5));
    for (const auto& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{1, 3, 2}}) {
        const QPointF c = (kMesh[tri[0]] + kMesh[tri[1]] + kMesh[tri[2]]) / 3.0;
        for (int k : tri) p.drawLine(c, kMesh[k]);
    }
    return pixmap;
}

QPixmap TriangleIcon() {
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setPen(QPen(kGreen, 1.5));
    p.drawPolygon(kMesh, 3);
    const QPointF second[3] = {kMesh[1], kMesh[3], kMesh[2]};
    p.drawPolygon(second, 3);
    return pixmap;
}

QPixmap RingsIcon(int size) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[3] = {QColor(51, 230, 51), QColor(102, 102, 255), QColor(255, 77, 77)};
    const double centre = size / 2.0, step = size * 0.4 / 3.0;
    for (int ring = 0; ring < 3; ++ring) {
        p.setPen(QPen(colours[ring], size / 15.0));
        const double r = size * 0.4 - step * ring;
        p.drawEllipse(QPointF(centre, centre), r, r * 0.8);
    }
    return pixmap;
}

QPixmap BallsIcon() {
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(180, 180, 180), 2));
    p.drawLine(QPointF(9, 20), QPointF(21, 10));
    for (const QPointF centre : {QPointF(9, 20), QPointF(21, 10)}) {
        QRadialGradient shade(centre - QPointF(2, 2), 7);
        shade.setColorAt(0, Qt::white);
        shade.setColorAt(1, QColor(120, 120, 120));
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawEllipse(centre, 6, 6);
    }
    return pixmap;
}

QPixmap CellBoxIcon() {
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setPen(QPen(Qt::white, 1));
    const QRectF front(4, 10, 16, 16), back(10, 4, 16, 16);
    p.drawRect(front);
    p.drawRect(back);
    p.drawLine(front.topLeft(), back.topLeft());
    p.drawLine(front.topRight(), back.topRight());
    p.drawLine(front.bottomLeft(), back.bottomLeft());
    p.drawLine(front.bottomRight(), back.bottomRight());
    return pixmap;
}

}  // namespace tivarel
