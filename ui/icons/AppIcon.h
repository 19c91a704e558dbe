#pragma once

#include <QIcon>

/// The red desk telephone at 16 x 16 and 32 x 32 pixels, for the window and the tray.
QIcon appIcon();

/// The greyed telephone with a small cross, in the same sizes: no call can arrive.
QIcon lineDownIcon();
