#include "ui/Glyphs.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The glyphs live in a static library: register its resources explicitly.
static void InitGlyphResources() { Q_INIT_RESOURCE(glyphs); }

namespace kestrin {

QIcon Glyph(const QString& name) {
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(name); it != cache.constEnd()) return *it;

    static const bool registered = (InitGlyphResources(), true);
    (void)registered;
    QIcon icon;
    QSvgRenderer renderer(QStringLiteral(":/glyphs/%1.svg").arg(name));
    if (renderer.isValid()) {
        for (int size : {16, 20, 24, 32, 48, 64, 128}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter painter(&pm);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
            painter.end();
            icon.addPixmap(pm);
        }
    }
    cache.insert(name, icon);
    return icon;
}

}  // namespace kestrin
