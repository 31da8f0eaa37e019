#include "ProgramIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace qdx::viewer {

QIcon programIcon()
{
    // Rendered here rather than through the SVG icon plug-in, which a
    // system need not have installed.
    QSvgRenderer renderer(QStringLiteral(":/qdx/qdx_viewer.svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace qdx::viewer
