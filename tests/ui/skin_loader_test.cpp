#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/skin_loader.h"

namespace vidora {
namespace {

class SkinLoaderTest : public test::WindowTest {
  protected:
    // Loads the skin text (with a traced 400 x 200 picture "g.bmp") into a fresh parent.
    std::vector<SkinGroupPanel*> load(const std::string& ini, bool* result = nullptr) {
        folder.write("ui.ini", ini);
        test::tracedPicture(400, 200).saveBmp(folder.file("g.bmp"));
        std::vector<SkinGroupPanel*> groups;
        const bool loaded = loadSkinGroups(folder.file("ui.ini"), makeParent(), &listener, &groups);
        if (result)
            *result = loaded;
        return groups;
    }
    test::TempFolder folder;
    test::RecordingListener listener;
};

const char* kOneGroup = R"([GROUPS]
GROUPNUM=1
GROUPNAME1=Tools
[Tools]
PICTUREFILE=g.bmp
PANELID=4115
X=3
Y=4
WIDTH=120
HEIGHT=40
)";

TEST_F(SkinLoaderTest, NoGroupsWithoutAFileOrWithGroupNumZero) {
    EXPECT_FALSE(loadSkinGroups(folder.file("missing.ini"), makeParent(), &listener));
    bool result = true;
    EXPECT_TRUE(
        load("[GROUPS]\nGROUPNUM=0\nGROUPNAME1=Tools\n[Tools]\nPANELID=4115\n", &result).empty());
    EXPECT_FALSE(result);
    EXPECT_EQ(findWindowById(4115), nullptr);
}

TEST_F(SkinLoaderTest, BuildsAVisibleChildGroupNamedAfterItsSection) {
    const std::string ini = std::string(kOneGroup) + R"(CONTROLS=2
CONTROLID_1=1
CONTROLTYPE_1=5
CONTROLSTATE_1=2
CONTROLX_1=10
CONTROLY_1=5
CONTROLWIDTH_1=20
CONTROLHEIGHT_1=20
CONTROLHINT_1=Record
CONTROLID_2=2
CONTROLTYPE_2=0
CONTROLSTATE_2=9
CONTROLX_2=40
CONTROLY_2=5
CONTROLWIDTH_2=20
CONTROLHEIGHT_2=20
)";
    const auto groups = load(ini);
    ASSERT_EQ(groups.size(), 1u);
    SkinGroupPanel* g = groups[0];
    EXPECT_EQ(findWindowById(4115), g);
    const auto* native = host.window(g->handle());
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->params.caption, "Tools");
    EXPECT_EQ(native->params.className, "VD_GroupPanel");
    EXPECT_EQ(native->rect, Rect::fromSize(3, 4, 120, 40));
    EXPECT_TRUE(native->style & WS_CHILD);
    EXPECT_TRUE(host.isVisible(g->handle()));
    EXPECT_EQ(g->drawingBuffer().width(), 120);
    EXPECT_EQ(g->drawingBuffer().height(), 40);
    ASSERT_EQ(g->controls().size(), 2u);
    const SkinControl& c = g->controls()[0];
    EXPECT_EQ(c.type, CONTROL_LATCH);
    EXPECT_EQ(c.state, STATE_DOWN);
    EXPECT_EQ(c.savedState, STATE_DOWN);
    EXPECT_EQ(c.appearance, 0);
    EXPECT_EQ(c.group, g);
    // A state outside the known ones starts as normal.
    EXPECT_EQ(g->controls()[1].state, STATE_NORMAL);
    Rect area;
    EXPECT_EQ(g->tooltipAt(15, 10, &area), "Record");
    EXPECT_EQ(area, Rect::fromSize(10, 5, 20, 20));
    EXPECT_EQ(g->tooltipAt(45, 10, nullptr), "");  // no hint, no tooltip
    EXPECT_EQ(g->tooltipAt(35, 10, nullptr), "");
}

TEST_F(SkinLoaderTest, SecondAppearanceOffsetsAreReadOnlyWhenDeclared) {
    const std::string offsets =
        "NORMALOFFSET=120\nHILIGHTOFFSET=240\nDOWNOFFSET=360\nDOWNHLOFFSET=480\n"
        "DISABLEOFFSSET=600\nNORMALOFFSET2=720\nHILIGHTOFFSET2=840\nDOWNOFFSET2=960\n"
        "DOWNHLOFFSET2=1080\nDISABLEOFFSSET2=1200\n";
    auto without = load(std::string(kOneGroup) + offsets);
    ASSERT_EQ(without.size(), 1u);
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(without[0]->xOffset(0, s), 120 * (s + 1));
        EXPECT_EQ(without[0]->xOffset(1, s), 0) << s;
        EXPECT_EQ(without[0]->yOffset(0, s), 0);
    }
    destroyAllWindows();
    auto with = load(std::string(kOneGroup) + "MULTIAPPEARNCE=1\n" + offsets);
    ASSERT_EQ(with.size(), 1u);
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(with[0]->xOffset(1, s), 720 + 120 * s);
}

TEST_F(SkinLoaderTest, VerticalLayoutTakesTheBackgroundFromTheYOffset) {
    auto groups = load(std::string(kOneGroup) +
                       "BITMAPLAYOUT=1\nPANELOFFSET=30\nMASKOFFSET=90\nDOWNOFFSET=45\n");
    ASSERT_EQ(groups.size(), 1u);
    SkinGroupPanel* g = groups[0];
    EXPECT_EQ(g->panelOrigin(), (Point{0, 30}));
    EXPECT_EQ(g->maskOrigin(), (Point{0, 90}));
    EXPECT_EQ(g->yOffset(0, STATE_DOWN), 45);
    EXPECT_EQ(g->xOffset(0, STATE_DOWN), 0);
    // Shown means rendered: the buffer holds the picture from (0, 30).
    const Bitmap24& buffer = g->drawingBuffer();
    for (const auto& [x, y] : {std::pair{0, 0}, {119, 0}, {0, 39}, {57, 21}})
        EXPECT_EQ(buffer.pixel(x, y), test::tracePixel(x, y + 30)) << x << "," << y;
}

TEST_F(SkinLoaderTest, TrackerThumbStartsInTheMiddleOfItsTravel) {
    auto groups = load(std::string(kOneGroup) +
                       "CONTROLS=1\nCONTROLID_1=1\nCONTROLTYPE_1=3\nCONTROLX_1=0\nCONTROLY_1=10\n"
                       "CONTROLWIDTH_1=120\nCONTROLHEIGHT_1=20\nCONTROLTRACKERWIDTH_1=20\n"
                       "CONTROLTRACKEROFFSETX_1=300\nCONTROLTRACKEROFFSETY_1=7\n");
    ASSERT_EQ(groups.size(), 1u);
    const SkinControl& t = groups[0]->controls()[0];
    EXPECT_EQ(t.thumbPosition, 50);
    EXPECT_EQ(t.thumbWidth, 20);
    EXPECT_EQ(t.thumbImageX, 300);
    EXPECT_EQ(t.thumbImageY, 7);
    EXPECT_EQ(groups[0]->trackerValue(1), 50);
}

TEST_F(SkinLoaderTest, AMissingGroupSectionGivesAnEmptyGroup) {
    auto groups = load("[GROUPS]\nGROUPNUM=2\nGROUPNAME1=Tools\nGROUPNAME2=Nowhere\n" +
                       std::string(kOneGroup).substr(std::string(kOneGroup).find("[Tools]")));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1]->id(), 0);
    EXPECT_EQ(host.window(groups[1]->handle())->rect, Rect{});
    EXPECT_TRUE(groups[1]->controls().empty());
    EXPECT_TRUE(groups[1]->picture().empty());  // "./<folder>/" names no picture
    EXPECT_EQ(findWindowById(4115), groups[0]);
}

TEST_F(SkinLoaderTest, AGroupUnderTheIdOfAWindowOfTheProgramIsLeftOut) {
    const std::string tools = std::string(kOneGroup).substr(std::string(kOneGroup).find("[Tools]"));
    for (const int32_t taken : {MAIN_WINDOW_ID, MONITOR_PANEL_ID, CONTROL_PANEL_ID}) {
        std::string ini =
            "[GROUPS]\nGROUPNUM=2\nGROUPNAME1=Taken\nGROUPNAME2=Tools\n[Taken]\n"
            "PICTUREFILE=g.bmp\nWIDTH=10\nHEIGHT=10\nPANELID=" +
            std::to_string(taken) + "\n" + tools;
        bool result = false;
        auto groups = load(ini, &result);
        EXPECT_TRUE(result);
        ASSERT_EQ(groups.size(), 1u) << taken;
        EXPECT_EQ(groups[0]->id(), TOOL_GROUP_ID);
        EXPECT_EQ(dynamic_cast<SkinGroupPanel*>(findWindowById(taken)), nullptr) << taken;
        destroyAllWindows();
    }
}

TEST_F(SkinLoaderTest, ReadsTheMainWindowSectionAndCutList) {
    // A 12 x 10 frame: column 0 masked in rows 2..4, column 1 masked from row 7 to the
    // bottom, column 2 masked twice (only the first run counts), column 5 beyond MONITOR_X.
    const Rgb mask{255, 0, 255};
    Bitmap24 frame(12, 10);
    for (int y = 2; y <= 4; ++y)
        frame.setPixel(0, y, mask);
    for (int y = 7; y <= 9; ++y)
        frame.setPixel(1, y, mask);
    frame.setPixel(2, 1, mask);
    frame.setPixel(2, 5, mask);
    frame.setPixel(5, 0, mask);
    frame.saveBmp(folder.file("frame.bmp"));
    std::string ini =
        "[mainwnd]\nPICTUREFILE=frame.bmp\nMASKCOLOR=16711935\nWIDTH=1030\n"
        "HEIGHT=725\nRIGHTBORDER_WIDTH=11\nMONITOR_X=4\nMONITOR_Y=49\n"
        "MENULEFT=944\nMENUTOP=687\nMENUWIDTH=74\nMENUHEIGHT=27\n";
    for (int n = 1; n <= 10; ++n)
        ini += "LEFT" + std::to_string(n) + "=" + std::to_string(n) + "\nTOP" + std::to_string(n) +
               "=" + std::to_string(10 * n) + "\nWIDTH" + std::to_string(n) + "=" +
               std::to_string(100 + n) + "\nHEIGHT" + std::to_string(n) + "=" +
               std::to_string(200 + n) + "\n";
    folder.write("ui.ini", ini);
    MainWindowSkin skin;
    EXPECT_TRUE(readMainWindowSkin(skin, folder.file("ui.ini")));
    EXPECT_EQ(skin.frame.width(), 12);
    EXPECT_EQ(skin.maskColor, 0xFF00FFu);
    EXPECT_EQ(skin.width, 1030);
    EXPECT_EQ(skin.height, 725);
    EXPECT_EQ(skin.rightBorderWidth, 11);
    EXPECT_EQ(skin.monitorX, 4);
    EXPECT_EQ(skin.monitorY, 49);
    EXPECT_EQ(skin.pieces[6].left, 7);
    EXPECT_EQ(skin.pieces[6].top, 70);
    EXPECT_EQ(skin.pieces[9].width, 110);
    EXPECT_EQ(skin.pieces[9].height, 210);
    EXPECT_EQ(skin.menu.left, 944);
    EXPECT_EQ(skin.menu.height, 27);
    EXPECT_EQ(skin.cutList, (std::vector<Rect>{{0, 2, 1, 6}, {1, 7, 2, 10}, {2, 1, 3, 3}}));

    MainWindowSkin empty;
    EXPECT_TRUE(readMainWindowSkin(empty, folder.file("none.ini")));
    EXPECT_TRUE(empty.frame.empty());
    EXPECT_TRUE(empty.cutList.empty());
    EXPECT_EQ(empty.width, 0);
}

// The skin check the programs run before they create the main window: every way a skin can be
// unusable is named, and the skin the build draws passes.
TEST(SkinFault, NamesWhatMakesASkinUnusable) {
    test::TempFolder folder;
    EXPECT_EQ(skinFault(folder.path().string()), "There is no skin file ui.ini.");

    test::tracedPicture(400, 200).saveBmp(folder.file("g.bmp"));
    const std::string window = "[MAINWND]\nPICTUREFILE=g.bmp\nWIDTH=400\nHEIGHT=200\n";
    const std::string groups =
        "[GROUPS]\nGROUPNUM=1\nGROUPNAME1=Tools\n[Tools]\nPICTUREFILE=g.bmp\n";
    const struct {
        std::string ini;
        std::string fault;
    } cases[] = {
        {groups, "ui.ini has no [MAINWND] section."},
        {groups + "[MAINWND]\nPICTUREFILE=g.bmp\nWIDTH=400\n",
         "ui.ini gives the main window no size."},
        {groups + "[MAINWND]\nWIDTH=400\nHEIGHT=200\n", "ui.ini names no picture for [MAINWND]."},
        {groups + "[MAINWND]\nPICTUREFILE=none.bmp\nWIDTH=400\nHEIGHT=200\n",
         "The picture none.bmp of [MAINWND] is missing or not a 24-bit BMP."},
        {window, "ui.ini declares no button groups."},
        {window + "[GROUPS]\nGROUPNUM=2\nGROUPNAME1=Tools\n[Tools]\nPICTUREFILE=g.bmp\n",
         "ui.ini declares group 2 without its section."},
        {window + "[GROUPS]\nGROUPNUM=1\nGROUPNAME1=Tools\n[Tools]\nPICTUREFILE=ui.ini\n",
         "The picture ui.ini of [Tools] is missing or not a 24-bit BMP."},
        {window + groups, ""},
    };
    for (const auto& c : cases) {
        folder.write("ui.ini", c.ini);
        EXPECT_EQ(skinFault(folder.path().string()), c.fault) << c.ini;
    }
}

TEST(SkinFault, TheDefaultSkinIsComplete) {
    EXPECT_EQ(skinFault(std::string(VIDORA_TEST_RUN_DIR) + "/UI"), "");
}

}  // namespace
}  // namespace vidora
