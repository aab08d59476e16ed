#include "gui/program_icon.hpp"

#include <QString>

// The resources live in a static library; the program has to pull them in.
static void loadIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace dl250t {

QIcon programIcon() {
    static const bool loaded = (loadIconResources(), true);
    (void)loaded;
    QIcon icon;
    for (int size : kProgramIconSizes) {
        icon.addFile(QStringLiteral(":/icons/dl250t-config-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace dl250t
