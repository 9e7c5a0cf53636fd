#include "app/image_area.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>

namespace velmora {

QWidget* TileUnderPointer(const ImageArea& area)
{
    const QWidget* under = QApplication::widgetAt(QCursor::pos());
    for (int k = 0; k < area.Mode() && under != nullptr; ++k) {
        QWidget* tile = area.Tile(k);
        if (tile != nullptr && (tile == under || tile->isAncestorOf(under)))
            return tile;
    }
    return nullptr;
}

} // namespace velmora
