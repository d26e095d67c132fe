#pragma once

#include "core/text.h"

namespace pw {

// The address of site page 1 to 4 (hybb, txbb, bbgcs, mft), or empty for any other index.
Text SitePageAddress(int pageIndex);

// Page buttons 1 to 4: silence the lesson, show the web view, open the pages window on
// their page. Each button has its own handler.
void OnPageButtonClicked(int page);
void OnPageButton1Clicked();
void OnPageButton2Clicked();
void OnPageButton3Clicked();
void OnPageButton4Clicked();

// Buttons 5 to 8: the notice "正在整理，请等待升级" and nothing else.
void OnButton5Clicked();
void OnButton6Clicked();
void OnButton7Clicked();
void OnButton8Clicked();

// Created handler of the pages window: gives its web view the page `PageIndex` names.
void OnPagesWindowCreated();

}  // namespace pw
