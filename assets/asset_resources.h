#pragma once

#include <QString>

namespace pw {

// Registers the pictures compiled into the UI library (":/assets/..."). The UI library
// is static, so its resources are only linked in when something calls this.
void InitAssetResources();

// ":/assets/background.jpg", ":/assets/buttonN.jpg" (N = 1 to 8), ":/assets/pebblewick.png".
QString BackgroundPicturePath();
QString ButtonPicturePath(int button);
QString IconPath();

}  // namespace pw
