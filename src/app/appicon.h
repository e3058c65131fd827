#pragma once

#include <QIcon>

// The program's icon, drawn at the usual sizes (same design as tavrel.svg).
QIcon AppIcon();
