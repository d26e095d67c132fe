// Widget tests that need no web engine: the block progress bar and the Chinese standard
// buttons. Run offscreen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QLocale>
#include <QRegularExpression>

#include <vector>

#include "ui/controls.h"
#include "ui/translations.h"

namespace pw {
namespace {

// Runs of the bar's chunk colour along its middle row: {start, length} each.
std::vector<std::pair<int, int>> ChunkRuns(StoredPositionBar& bar) {
    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb chunk = bar.palette().highlight().color().rgb();
    std::vector<std::pair<int, int>> runs;
    const int y = shot.height() / 2;
    for (int x = 0; x < shot.width(); ++x) {
        if ((shot.pixel(x, y) & 0xFFFFFF) != (chunk & 0xFFFFFF)) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == x) {
            ++runs.back().second;
        } else {
            runs.emplace_back(x, 1);
        }
    }
    return runs;
}

TEST(BlockProgressBar, DrawsSeparateChunksUpToThePosition) {
    StoredPositionBar bar;
    bar.resize(352, 24);
    struct Case {
        int position;
        int drawnPercent;
    };
    for (const Case c : {Case{0, 0}, {50, 50}, {100, 100}, {150, 100}, {-5, 0}}) {
        bar.SetPosition(c.position);
        const auto runs = ChunkRuns(bar);
        SCOPED_TRACE(c.position);
        if (c.drawnPercent == 0) {
            EXPECT_TRUE(runs.empty());
            continue;
        }
        ASSERT_GE(runs.size(), 3u);
        // Equal chunks with gaps between them, starting at the left.
        EXPECT_LE(runs.front().first, 3);
        for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
            EXPECT_EQ(runs[i].second, runs.front().second);
            EXPECT_GE(runs[i + 1].first - (runs[i].first + runs[i].second), 1);
        }
        // The chunks reach the position, give or take one chunk and gap.
        const int end = runs.back().first + runs.back().second;
        const int wanted = (bar.width() - 4) * c.drawnPercent / 100;
        EXPECT_NEAR(end, wanted, runs.front().second + 4);
    }
    // The stored position is what was written, clamped as before.
    bar.SetPosition(150);
    EXPECT_EQ(bar.Position(), 150);
    EXPECT_EQ(bar.value(), 100);
}

QString WithoutMnemonic(QString text) {
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&"));
    return text.remove(mnemonic).trimmed();
}

TEST(ChineseStandardButtons, YesNoAndOkReadInChinese) {
    ASSERT_TRUE(InstallChineseTranslations(*QCoreApplication::instance()));
    QMessageBox question;
    question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(WithoutMnemonic(question.button(QMessageBox::Yes)->text()), QStringLiteral("是"));
    EXPECT_EQ(WithoutMnemonic(question.button(QMessageBox::No)->text()), QStringLiteral("否"));
    QMessageBox notice;
    notice.setStandardButtons(QMessageBox::Ok);
    EXPECT_EQ(WithoutMnemonic(notice.button(QMessageBox::Ok)->text()), QStringLiteral("确定"));
}

}  // namespace
}  // namespace pw

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests happens at build time, without a QApplication.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    // The machine's locale must not matter: an English one is the harder case.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
