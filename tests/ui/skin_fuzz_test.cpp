// Random and damaged skins: whatever the file says, loading, drawing and clicking stay inside
// the pictures and buffers (run under ASan/UBSan in CI) and never crash.
#include <gtest/gtest.h>

#include <random>

#include "test_support.h"
#include "ui/skin_loader.h"

namespace vidora {
namespace {

class SkinFuzzTest : public test::WindowTest {
  protected:
    std::mt19937 rng{20261207};

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    // Mostly plausible numbers, sometimes extreme or not numbers at all.
    std::string value() {
        switch (pick(0, 9)) {
            case 0:
                return std::to_string(pick(-2147483647, 2147483647));
            case 1:
                return "-" + std::to_string(pick(0, 100));
            case 2:
                return "garbage";
            case 3:
                return "";
            case 4:
                return "99999999999999";
            default:
                return std::to_string(pick(0, 260));
        }
    }
    std::vector<uint8_t> picture() {
        Bitmap24 p(pick(1, 300), pick(1, 120));
        for (auto& byte : p.bits())
            byte = static_cast<uint8_t>(pick(0, 4) == 0 ? 255 : pick(0, 6));
        std::vector<uint8_t> bytes = p.toBmpBytes();
        switch (pick(0, 3)) {
            case 0:  // truncated anywhere, even inside the header
                bytes.resize(static_cast<size_t>(pick(0, static_cast<int>(bytes.size()))));
                break;
            case 1:  // a damaged header
                bytes[static_cast<size_t>(pick(14, 53))] = static_cast<uint8_t>(pick(0, 255));
                break;
            default:
                break;
        }
        return bytes;
    }
};

TEST_F(SkinFuzzTest, RandomSkinsNeitherCrashNorReachOutsideTheirPictures) {
    const char* groupKeys[] = {"PANELID",
                               "X",
                               "Y",
                               "WIDTH",
                               "HEIGHT",
                               "MULTIAPPEARNCE",
                               "BITMAPLAYOUT",
                               "PANELOFFSET",
                               "MASKOFFSET",
                               "STRETCH",
                               "STRETCHDIRECTION",
                               "STRETCHSTART",
                               "STRETCHEND",
                               "NORMALOFFSET",
                               "HILIGHTOFFSET",
                               "DOWNOFFSET",
                               "DOWNHLOFFSET",
                               "DISABLEOFFSSET",
                               "NORMALOFFSET2",
                               "HILIGHTOFFSET2",
                               "DOWNOFFSET2",
                               "DOWNHLOFFSET2",
                               "DISABLEOFFSSET2"};
    const char* controlKeys[] = {"CONTROLID",
                                 "CONTROLTYPE",
                                 "CONTROLSTATE",
                                 "CONTROLSHAPE",
                                 "CONTROLX",
                                 "CONTROLY",
                                 "CONTROLWIDTH",
                                 "CONTROLHEIGHT",
                                 "CONTROLTRACKERWIDTH",
                                 "CONTROLTRACKEROFFSETX",
                                 "CONTROLTRACKEROFFSETY"};
    int groupsBuilt = 0;
    for (int round = 0; round < 120; ++round) {
        test::TempFolder folder;
        for (int k = 0; k < 3; ++k)
            folder.write("p" + std::to_string(k) + ".bmp", picture());
        std::string ini = "[GROUPS]\nGROUPNUM=" + std::to_string(pick(-1, 4)) + "\n";
        for (int g = 1; g <= 4; ++g)
            ini += "GROUPNAME" + std::to_string(g) + "=G" + std::to_string(g) + "\n";
        for (int g = 1; g <= 4; ++g) {
            ini += "[G" + std::to_string(g) + "]\nPICTUREFILE=p" + std::to_string(pick(0, 3)) +
                   ".bmp\n";
            for (const char* key : groupKeys) {
                // Sizes stay modest most of the time so that the groups get real buffers.
                const bool size = std::string(key) == "WIDTH" || std::string(key) == "HEIGHT";
                ini += std::string(key) + "=" +
                       (size && pick(0, 3) ? std::to_string(pick(1, 200)) : value()) + "\n";
            }
            const int controls = pick(0, 12);
            ini += "CONTROLS=" + (pick(0, 8) ? std::to_string(controls) : value()) + "\n";
            for (int c = 1; c <= controls; ++c) {
                for (const char* key : controlKeys)
                    ini += std::string(key) + "_" + std::to_string(c) + "=" +
                           (std::string(key) == "CONTROLID" && pick(0, 2) ? std::to_string(c)
                                                                          : value()) +
                           "\n";
                ini += "CONTROLHINT_" + std::to_string(c) + "=" +
                       std::string(static_cast<size_t>(pick(0, 90)), 'x') + "\n";
            }
        }
        folder.write("ui.ini", ini);

        std::vector<SkinGroupPanel*> groups;
        loadSkinGroups(folder.file("ui.ini"), makeParent(200, 700), nullptr, &groups);
        for (SkinGroupPanel* g : groups) {
            ++groupsBuilt;
            const int count = static_cast<int>(g->controls().size());
            for (int step = 0; step < 60; ++step) {
                const int x = pick(-20, 220), y = pick(-20, 220);
                const uint32_t messages[] = {WM_MOUSEMOVE,  WM_LBUTTONDOWN, WM_LBUTTONUP,
                                             WM_MOUSELEAVE, WM_KILLFOCUS,   WM_PAINT};
                const uint32_t m = messages[pick(0, 5)];
                if (m == WM_PAINT)
                    host.paint(g->handle());
                else
                    host.mouse(g->handle(), m, x, y);
                const int h = g->hitTest(x, y);
                EXPECT_TRUE(h >= -1 && h <= count) << h;
                const int id = pick(-2, count + 2);
                switch (pick(0, 6)) {
                    case 0:
                        g->setEnabled(id, pick(0, 1));
                        break;
                    case 1:
                        g->setAppearance(id, pick(-1, 3));
                        break;
                    case 2:
                        g->setThumbPosition(id, pick(-1000, 1000));
                        break;
                    case 3:
                        g->disableAll();
                        break;
                    case 4:
                        g->enableAll();
                        break;
                    case 5:
                        host.moveWindow(g->handle(),
                                        Rect::fromSize(0, 0, pick(0, 200), pick(0, 300)), false);
                        break;
                    default:
                        (void)g->trackerValue(id);
                        break;
                }
                (void)g->tooltipAt(x, y, nullptr);
            }
        }
        MainWindowSkin skin;
        std::string main = "[MAINWND]\nPICTUREFILE=p" + std::to_string(pick(0, 2)) + ".bmp\n";
        for (const char* key :
             {"MASKCOLOR", "WIDTH", "HEIGHT", "RIGHTBORDER_WIDTH", "MONITOR_X", "MONITOR_Y"})
            main += std::string(key) + "=" + value() + "\n";
        folder.write("main.ini", main);
        readMainWindowSkin(skin, folder.file("main.ini"));
        for (const Rect& cut : skin.cutList) {
            EXPECT_GE(cut.left, 0);
            EXPECT_LE(cut.bottom, skin.frame.height());
        }
        destroyAllWindows();
    }
    EXPECT_GT(groupsBuilt, 50);  // the rounds really exercised groups
}

TEST_F(SkinFuzzTest, TruncatedPicturesAreRefusedAtEveryLength) {
    const std::vector<uint8_t> bytes = test::tracedPicture(9, 7).toBmpBytes();
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(Bitmap24::fromBmpBytes(std::span(bytes).first(n))) << n;
    EXPECT_TRUE(Bitmap24::fromBmpBytes(bytes));
}

}  // namespace
}  // namespace vidora
