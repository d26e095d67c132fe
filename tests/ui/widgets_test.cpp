// Widget tests that need no web engine: the block progress bar, the Chinese standard
// buttons and the lesson menu's long groups. Run offscreen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>

#include <vector>

#include "ui/controls.h"
#include "ui/roll_up_menu.h"
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

// A group of 500 lessons scrolls by wheel and by keys, the keyboard's row always in view;
// new groups (a catalogue that arrives) keep the item under the pointer, and the selected
// item, where they are.
TEST(RollUpMenu, ALongGroupScrollsAndNewGroupsKeepTheItemUnderThePointer) {
    RollUpMenu menu;
    menu.resize(85, 500);
    const auto lessons = [](bool withNewFirst) {
        const QString guestbook = QStringLiteral("我要留言");
        QList<RollUpMenu::Group> groups{{QStringLiteral("儿童故事"), {}}, {guestbook, {guestbook}}};
        if (withNewFirst) groups[0].items.append(QStringLiteral("新课"));
        for (int i = 0; i < 500; ++i) groups[0].items.append(QStringLiteral("课%1").arg(i));
        return groups;
    };
    menu.SetGroups(lessons(false));
    const auto inView = [&](int item) {
        const QRect r = menu.itemRect(item);
        return r.top() >= menu.headerRect(0).bottom() && r.bottom() <= menu.headerRect(1).top();
    };

    const int top = menu.itemRect(0).top();
    QWheelEvent down(QPointF(40, 200), menu.mapToGlobal(QPointF(40, 200)), {}, {0, -3 * 120}, Qt::NoButton, {},
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(&menu, &down);
    EXPECT_EQ(menu.itemRect(0).top(), top - 3 * RollUpMenu::kItemHeight);

    QTest::keyClick(&menu, Qt::Key_End);  // the guestbook's header
    QTest::keyClick(&menu, Qt::Key_Up);
    EXPECT_EQ(menu.currentRow(), (RollUpMenu::Row{0, 499}));
    EXPECT_TRUE(inView(499));
    for (int i = 0; i < 3; ++i) QTest::keyClick(&menu, Qt::Key_PageUp);
    EXPECT_LT(menu.currentRow().item, 460);
    EXPECT_TRUE(inView(menu.currentRow().item));

    const int under = menu.currentRow().item + 2;
    const QPoint pointer = menu.itemRect(under).center();
    QTest::mouseClick(&menu, Qt::LeftButton, {}, pointer);
    QMouseEvent move(QEvent::MouseMove, pointer, menu.mapToGlobal(pointer), Qt::NoButton, {}, {});
    QApplication::sendEvent(&menu, &move);
    menu.SetGroups(lessons(true));
    EXPECT_TRUE(menu.itemRect(under + 1).contains(pointer));
    EXPECT_EQ(menu.selectedItem(), QPoint(0, under + 1));
    EXPECT_EQ(menu.ItemAccessibleName(0, under + 1), QStringLiteral("课%1").arg(under));
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
