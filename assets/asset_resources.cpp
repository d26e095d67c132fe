#include "assets/asset_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitAssetsQrc() { Q_INIT_RESOURCE(assets); }

namespace pw {

void InitAssetResources() { InitAssetsQrc(); }

QString BackgroundPicturePath() { return QStringLiteral(":/assets/background.jpg"); }

QString ButtonPicturePath(int button) {
    return QStringLiteral(":/assets/button%1.jpg").arg(button);
}

QString IconPath() { return QStringLiteral(":/assets/pebblewick.png"); }

}  // namespace pw
