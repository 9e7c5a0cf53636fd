// CornerText: outlined corner lines.
#include "platform/corner_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace velmora {

namespace {

constexpr int MARGIN = 4;
const QColor FILL(255, 255, 220);
const QColor OUTLINE(0, 0, 0);

} // namespace

int CornerTextHeight(int height)
{
    return std::clamp(height / 40, 11, 16);
}

void DrawCornerText(QImage& target, const QRect& area, const CornerStrings& corners)
{
    const QRect clip = area.intersected(target.rect());
    if (clip.isEmpty())
        return;
    QPainter painter(&target);
    painter.setClipRect(clip);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(CornerTextHeight(clip.height()));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height();
    for (size_t corner = 0; corner < corners.size(); ++corner) {
        const QStringList& lines = corners[corner];
        const bool right = corner == 1 || corner == 3;
        const bool bottom = corner >= 2;
        int y = bottom ? clip.bottom() + 1 - MARGIN - lineHeight * static_cast<int>(lines.size())
                       : clip.top() + MARGIN;
        for (const QString& line : lines) {
            const int width = metrics.horizontalAdvance(line);
            const int x = right ? clip.right() + 1 - MARGIN - width : clip.left() + MARGIN;
            const int baseline = y + metrics.ascent();
            // The outline: the text in the dark colour one pixel off in every direction.
            painter.setPen(OUTLINE);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (dx != 0 || dy != 0)
                        painter.drawText(x + dx, baseline + dy, line);
            painter.setPen(FILL);
            painter.drawText(x, baseline, line);
            y += lineHeight;
        }
    }
}

} // namespace velmora
