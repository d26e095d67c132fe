#pragma once

#include <QString>

#include "core/text.h"

namespace pw {

// The program's GBK text at the edge to Qt, both ways.
inline QString ToQString(const Text& text) { return QString::fromUtf8(ToUtf8(text)); }
inline Text FromQString(const QString& text) { return FromUtf8(text.toStdString()); }

}  // namespace pw
