#include "ui/icons/AppIcon.h"

// Outside any namespace, as Q_INIT_RESOURCE requires. Calling it also keeps the linker from
// dropping the resource's initialiser, which nothing else in the static library references.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

QIcon appIcon()
{
    initIconResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/klingelwacht-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/klingelwacht-32.png"), QSize(32, 32));
    return icon;
}

QIcon lineDownIcon()
{
    initIconResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/klingelwacht-down-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/klingelwacht-down-32.png"), QSize(32, 32));
    return icon;
}
