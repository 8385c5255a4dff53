#include "ui/skin_loader.h"

#include <algorithm>
#include <filesystem>

#include "platform/log/log.h"
#include "ui/profile_file.h"
#include "ui/skin_group_panel.h"

namespace vidora {
namespace {

std::string skinFolderOf(const std::string& skinFile) {
    const std::string folder = std::filesystem::path(skinFile).parent_path().generic_string();
    return folder.empty() ? "." : folder;
}

std::string numbered(const char* key, int32_t n) {
    return key + std::to_string(n);
}

constexpr const char* kStateOffsetKeys[5] = {"NORMALOFFSET", "HILIGHTOFFSET", "DOWNOFFSET",
                                             "DOWNHLOFFSET", "DISABLEOFFSSET"};

void readGroup(const ProfileFile& ini, const std::string& folder, int32_t number,
               SkinWindow* parent, ControlListener* listener,
               std::vector<SkinGroupPanel*>* groups) {
    const std::string section = ini.getText("GROUPS", numbered("GROUPNAME", number));
    const std::string picturePath = folder + "/" + ini.getText(section, "PICTUREFILE");
    const auto get = [&](const std::string& key) { return ini.getInt(section, key); };
    // A group under the id of one of the program's own windows would take that window's place
    // in the id registry (and a group under the main window's id would end the program when it
    // goes): such a group is left out.
    const int32_t panelId = get("PANELID");
    if (panelId == MAIN_WINDOW_ID || panelId == MONITOR_PANEL_ID || panelId == CONTROL_PANEL_ID)
        return;

    SkinWindow* window = createByKind(GROUP_PANEL_KIND, parent, panelId, get("X"), get("Y"),
                                      get("WIDTH"), get("HEIGHT"));
    auto* group = dynamic_cast<SkinGroupPanel*>(window);
    if (!group)
        return;
    group->create(WS_CHILD, 0, section);
    group->setListener(listener);
    group->createDrawingBuffer();
    group->loadPicture(picturePath);
    group->createTooltipWindow();

    const bool twoAppearances = get("MULTIAPPEARNCE") != 0;
    group->setBitmapLayout(get("BITMAPLAYOUT"), get("PANELOFFSET"), get("MASKOFFSET"));
    if (get("STRETCH") != 0)
        group->setStretch(true, get("STRETCHDIRECTION"), get("STRETCHSTART"), get("STRETCHEND"));
    for (int state = 0; state < 5; ++state) {
        group->setStateOffset(0, state, get(kStateOffsetKeys[state]));
        // The second set is read only for groups that declare it.
        group->setStateOffset(1, state,
                              twoAppearances ? get(std::string(kStateOffsetKeys[state]) + "2") : 0);
    }

    const int32_t count = std::min(get("CONTROLS"), kMaxGroupControls);
    for (int32_t k = 1; k <= count; ++k) {
        const auto key = [k](const char* name) {
            return std::string(name) + "_" + std::to_string(k);
        };
        SkinControl c;
        c.appearance = 0;
        c.id = get(key("CONTROLID"));
        c.type = get(key("CONTROLTYPE"));
        c.state = get(key("CONTROLSTATE"));
        if (c.state < STATE_NORMAL || c.state > STATE_HIDDEN)
            c.state = STATE_NORMAL;
        c.savedState = c.state;
        c.shape = get(key("CONTROLSHAPE"));
        c.x = get(key("CONTROLX"));
        c.y = get(key("CONTROLY"));
        c.width = get(key("CONTROLWIDTH"));
        c.height = get(key("CONTROLHEIGHT"));
        c.hint = ini.getText(section, key("CONTROLHINT"));
        if (c.type == CONTROL_TRACKER) {
            c.thumbWidth = get(key("CONTROLTRACKERWIDTH"));
            c.thumbImageX = get(key("CONTROLTRACKEROFFSETX"));
            c.thumbImageY = get(key("CONTROLTRACKEROFFSETY"));
            c.thumbPosition = static_cast<int32_t>((int64_t{c.width} - c.thumbWidth) / 2);
        }
        group->addTooltip(group->addControl(std::move(c)));
    }
    if (group->handle())
        windowHost().showWindow(group->handle(), ShowCommand::Show);
    else
        group->render();
    if (groups)
        groups->push_back(group);
}

}  // namespace

bool loadSkinGroups(const std::string& skinFile, SkinWindow* parent, ControlListener* listener,
                    std::vector<SkinGroupPanel*>* groups) {
    const ProfileFile ini = ProfileFile::load(skinFile);
    const int32_t declared = ini.getInt("GROUPS", "GROUPNUM");
    if (declared <= 0) {
        qCWarning(log::ui) << skinFile.c_str() << "declares no button groups";
        return false;
    }
    const std::string folder = skinFolderOf(skinFile);
    const int32_t count = std::min(declared, kMaxSkinGroups);
    for (int32_t i = 1; i <= count; ++i)
        readGroup(ini, folder, i, parent, listener, groups);
    return true;
}

bool readMainWindowSkin(MainWindowSkin& skin, const std::string& skinFile) {
    const ProfileFile ini = ProfileFile::load(skinFile);
    const auto get = [&](const std::string& key) {
        return std::clamp(ini.getInt("MAINWND", key), -kMaxSkinCoordinate, kMaxSkinCoordinate);
    };
    const std::string picture = ini.getText("MAINWND", "PICTUREFILE");
    auto frame = Bitmap24::loadBmp(skinFolderOf(skinFile) + "/" + picture);
    if (!frame)
        qCWarning(log::ui) << "the main window's frame picture" << picture.c_str() << "of"
                           << skinFile.c_str() << "does not load";
    skin.frame = frame ? std::move(*frame) : Bitmap24();
    // A colour, not a coordinate: taken as it stands.
    skin.maskColor = static_cast<uint32_t>(ini.getInt("MAINWND", "MASKCOLOR"));
    skin.width = get("WIDTH");
    skin.height = get("HEIGHT");
    skin.rightBorderWidth = get("RIGHTBORDER_WIDTH");
    skin.monitorX = get("MONITOR_X");
    skin.monitorY = get("MONITOR_Y");
    skin.cutList = buildCutList(skin.frame, skin.maskColor, skin.monitorX);
    for (int32_t n = 1; n <= 10; ++n) {
        FramePiece& piece = skin.pieces[static_cast<size_t>(n - 1)];
        piece.left = get(numbered("LEFT", n));
        piece.top = get(numbered("TOP", n));
        piece.width = get(numbered("WIDTH", n));
        piece.height = get(numbered("HEIGHT", n));
    }
    skin.menu = {get("MENULEFT"), get("MENUTOP"), get("MENUWIDTH"), get("MENUHEIGHT")};
    return true;
}

std::string skinFault(const std::string& folder) {
    const std::string file = folder + "/ui.ini";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return "There is no skin file ui.ini.";
    const ProfileFile ini = ProfileFile::load(file);
    if (!ini.hasSection("MAINWND"))
        return "ui.ini has no [MAINWND] section.";
    if (ini.getInt("MAINWND", "WIDTH") <= 0 || ini.getInt("MAINWND", "HEIGHT") <= 0)
        return "ui.ini gives the main window no size.";
    auto pictureFault = [&](const std::string& section) -> std::string {
        const std::string picture = ini.getText(section, "PICTUREFILE");
        if (picture.empty())
            return "ui.ini names no picture for [" + section + "].";
        if (!Bitmap24::loadBmp(folder + "/" + picture))
            return "The picture " + picture + " of [" + section +
                   "] is missing or not a 24-bit BMP.";
        return {};
    };
    if (std::string fault = pictureFault("MAINWND"); !fault.empty())
        return fault;
    const int32_t groups = std::min(ini.getInt("GROUPS", "GROUPNUM"), kMaxSkinGroups);
    if (groups <= 0)
        return "ui.ini declares no button groups.";
    for (int32_t i = 1; i <= groups; ++i) {
        const std::string section = ini.getText("GROUPS", numbered("GROUPNAME", i));
        if (section.empty() || !ini.hasSection(section))
            return "ui.ini declares group " + std::to_string(i) + " without its section.";
        if (std::string fault = pictureFault(section); !fault.empty())
            return fault;
    }
    return {};
}

std::vector<Rect> buildCutList(const Bitmap24& frame, uint32_t maskColor, int32_t monitorX) {
    std::vector<Rect> cuts;
    const Rgb mask = Rgb::fromColorRef(maskColor);
    const int columns = std::min(monitorX, frame.width());
    for (int x = 0; x < columns; ++x) {
        int y = 0;
        while (y < frame.height() && frame.pixel(x, y) != mask)
            ++y;
        if (y == frame.height())
            continue;
        const int start = y;
        while (y < frame.height() && frame.pixel(x, y) == mask)
            ++y;
        // The pixel that ends the run is part of the cut: existing skins are drawn for cuts made
        // this way, and cutting one pixel less would leave a line of mask colour on their edges.
        cuts.push_back({x, start, x + 1, y < frame.height() ? y + 1 : frame.height()});
    }
    return cuts;
}

}  // namespace vidora
