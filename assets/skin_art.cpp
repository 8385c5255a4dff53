#include "skin_art.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/le_bytes.h"
#include "ui/bitmap24.h"
#include "ui/program_icon.h"

namespace vidora::skinart {
namespace {

// ---- palette --------------------------------------------------------------------------------

const QColor kPanel(0x17, 0x19, 0x1e);
const QColor kPanelLine(0x25, 0x28, 0x2f);
const QColor kHeader(0x7c, 0x85, 0x96);
const QColor kIcon(0xcf, 0xd6, 0xe1);
const QColor kIconHover(0xff, 0xff, 0xfe);  // never pure white: that is the thumb's key colour
const QColor kIconDisabled(0x4a, 0x50, 0x5b);
const QColor kBlue(0x2f, 0x7d, 0xf6);
const QColor kRed(0xe5, 0x48, 0x4d);
const QColor kAmber(0xf0, 0x9a, 0x18);
const QColor kGreen(0x2f, 0xb8, 0x6a);

enum State { Normal = 0, Hover = 1, Down = 2, DownHover = 3, Disabled = 4 };

QFont uiFont(int pixelSize, bool bold, bool condensed = false, qreal spacing = 0) {
    QFont f(condensed ? "DejaVu Sans Condensed" : "DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    // Spaced capitals look uneven when glyphs snap to whole pixels.
    f.setHintingPreference(spacing != 0 ? QFont::PreferNoHinting : QFont::PreferVerticalHinting);
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void sectionHeader(QPainter& p, int x, int y, int right, const QString& text) {
    p.save();
    p.setFont(uiFont(9, true, false, 1.2));
    p.setPen(kHeader);
    const QRect box(x, y, right - x, 12);
    QRect used;
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text, &used);
    p.setPen(QPen(kPanelLine, 1));
    p.drawLine(QPointF(used.right() + 8, y + 6.5), QPointF(right, y + 6.5));
    p.restore();
}

// ---- button faces ---------------------------------------------------------------------------

QColor iconColor(int state) {
    switch (state) {
        case Hover:
        case Down:
        case DownHover:
            return kIconHover;
        case Disabled:
            return kIconDisabled;
        default:
            return kIcon;
    }
}

void buttonFace(QPainter& p, const QRectF& r, int state, const QColor& accent, qreal radius = 6) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QColor top, bottom, border;
    switch (state) {
        case Hover:
            top = QColor(0x36, 0x3b, 0x46);
            bottom = QColor(0x2d, 0x31, 0x3a);
            border = QColor(0x58, 0x61, 0x73);
            break;
        case Down:
            top = accent.lighter(108);
            bottom = accent.darker(112);
            border = accent.lighter(125);
            break;
        case DownHover:
            top = accent.lighter(128);
            bottom = accent.lighter(102);
            border = accent.lighter(150);
            break;
        case Disabled:
            top = QColor(0x1e, 0x21, 0x26);
            bottom = QColor(0x1c, 0x1e, 0x23);
            border = QColor(0x27, 0x2a, 0x31);
            break;
        default:
            top = QColor(0x2b, 0x2f, 0x37);
            bottom = QColor(0x23, 0x26, 0x2d);
            border = QColor(0x37, 0x3c, 0x46);
            break;
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(inner, radius, radius);
    if (state != Disabled) {
        // A faint top highlight gives the face some depth.
        p.setPen(QPen(QColor(255, 255, 255, state >= Down ? 60 : 22), 1));
        p.drawLine(QPointF(inner.left() + radius, inner.top() + 1),
                   QPointF(inner.right() - radius, inner.top() + 1));
    }
    p.restore();
}

// Icons are drawn on a 24 x 24 grid centred in their box.
class IconPen {
  public:
    IconPen(QPainter& p, const QRectF& box, qreal size, const QColor& color)
        : p_(p), color_(color) {
        p_.save();
        p_.setRenderHint(QPainter::Antialiasing);
        p_.translate(box.center().x() - size / 2, box.center().y() - size / 2);
        p_.scale(size / 24.0, size / 24.0);
        stroke(2.0);
    }
    ~IconPen() { p_.restore(); }
    void stroke(qreal width) {
        p_.setPen(QPen(color_, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p_.setBrush(Qt::NoBrush);
    }
    void fill() {
        p_.setPen(Qt::NoPen);
        p_.setBrush(color_);
    }
    void fill(const QColor& c) {
        p_.setPen(Qt::NoPen);
        p_.setBrush(c);
    }
    QPainter& p() { return p_; }
    const QColor& color() const { return color_; }

  private:
    QPainter& p_;
    QColor color_;
};

void iconPause(IconPen& i) {
    i.fill();
    i.p().drawRoundedRect(QRectF(6.5, 5, 4, 14), 1.2, 1.2);
    i.p().drawRoundedRect(QRectF(13.5, 5, 4, 14), 1.2, 1.2);
}

void iconPlay(IconPen& i) {
    QPainterPath path;
    path.moveTo(8, 5);
    path.lineTo(19, 12);
    path.lineTo(8, 19);
    path.closeSubpath();
    i.p().setPen(QPen(i.color(), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    i.p().setBrush(i.color());
    i.p().drawPath(path);
}

void iconCamera(IconPen& i) {
    i.stroke(1.8);
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 7.5, 18, 12.5), 2.5, 2.5);
    i.p().drawPath(body);
    QPainterPath bump;
    bump.moveTo(8.5, 7.5);
    bump.lineTo(9.8, 5);
    bump.lineTo(14.2, 5);
    bump.lineTo(15.5, 7.5);
    i.p().drawPath(bump);
    i.p().drawEllipse(QPointF(12, 13.7), 3.6, 3.6);
    i.fill();
    i.p().drawEllipse(QPointF(17.6, 10.2), 0.9, 0.9);
}

void iconGrid(IconPen& i, bool active) {
    i.stroke(1.7);
    const QRectF cells[4] = {{4, 4, 7, 7}, {13, 4, 7, 7}, {4, 13, 7, 7}, {13, 13, 7, 7}};
    for (const QRectF& c : cells) {
        if (active)
            i.p().setBrush(QColor(i.color().red(), i.color().green(), i.color().blue(), 150));
        i.p().drawRoundedRect(c, 1.5, 1.5);
    }
}

void iconZoom(IconPen& i, bool plus) {
    i.stroke(2.0);
    i.p().drawEllipse(QPointF(10.5, 10.5), 6.3, 6.3);
    i.stroke(2.6);
    i.p().drawLine(QPointF(15.3, 15.3), QPointF(20, 20));
    i.stroke(1.9);
    i.p().drawLine(QPointF(7.6, 10.5), QPointF(13.4, 10.5));
    if (plus)
        i.p().drawLine(QPointF(10.5, 7.6), QPointF(10.5, 13.4));
}

void iconFullScreen(IconPen& i) {
    i.stroke(2.0);
    const QPointF corners[4][3] = {{{4, 9}, {4, 4}, {9, 4}},
                                   {{15, 4}, {20, 4}, {20, 9}},
                                   {{20, 15}, {20, 20}, {15, 20}},
                                   {{9, 20}, {4, 20}, {4, 15}}};
    for (const auto& c : corners)
        i.p().drawPolyline(c, 3);
}

void iconMotion(IconPen& i) {
    i.fill();
    i.p().drawEllipse(QPointF(14.2, 4.6), 2.2, 2.2);
    i.stroke(2.1);
    i.p().drawLine(QPointF(13.4, 8.6), QPointF(11.2, 14.2));  // body
    const QPointF arms[3] = {{7.8, 10.8}, {12.6, 8.8}, {16.6, 12}};
    i.p().drawPolyline(arms, 3);
    const QPointF front[3] = {{11.2, 14.2}, {14.6, 16.6}, {13.6, 20.6}};
    i.p().drawPolyline(front, 3);
    const QPointF back[3] = {{11.2, 14.2}, {8.6, 18.4}, {5, 18.6}};
    i.p().drawPolyline(back, 3);
    // Motion lines behind the runner.
    i.stroke(1.4);
    i.p().drawLine(QPointF(2.5, 8.5), QPointF(6, 8.5));
    i.p().drawLine(QPointF(1.5, 12.5), QPointF(5, 12.5));
}

void iconMicrophone(IconPen& i) {
    i.stroke(1.9);
    i.p().drawRoundedRect(QRectF(9, 3, 6, 11), 3, 3);
    i.p().drawArc(QRectF(5.5, 5, 13, 12.5), 200 * 16, 140 * 16);
    i.p().drawLine(QPointF(12, 17.6), QPointF(12, 20.5));
    i.p().drawLine(QPointF(8.5, 20.5), QPointF(15.5, 20.5));
}

void iconCalendar(IconPen& i) {
    i.stroke(1.8);
    i.p().drawRoundedRect(QRectF(3.5, 5.5, 17, 15), 2.5, 2.5);
    i.p().drawLine(QPointF(3.5, 10), QPointF(20.5, 10));
    i.p().drawLine(QPointF(8, 3), QPointF(8, 7));
    i.p().drawLine(QPointF(16, 3), QPointF(16, 7));
    const QPointF check[3] = {{8.5, 15}, {11, 17.4}, {15.8, 12.8}};
    i.p().drawPolyline(check, 3);
}

void iconGear(IconPen& i) {
    // Six square teeth around a ring, with a hole in the middle.
    QPainterPath gear;
    constexpr int kTeeth = 6;
    for (int k = 0; k < kTeeth * 2; ++k) {
        const bool tooth = k % 2 == 0;
        const double r = tooth ? 10.2 : 7.6;
        const double a0 = (k - 0.5) * M_PI / kTeeth, a1 = (k + 0.5) * M_PI / kTeeth;
        const QPointF p0(12 + r * std::cos(a0), 12 + r * std::sin(a0));
        const QPointF p1(12 + r * std::cos(a1), 12 + r * std::sin(a1));
        if (k == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(12, 12), 3.4, 3.4);
    i.p().setPen(QPen(i.color(), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    i.p().setBrush(i.color());
    i.p().drawPath(gear.subtracted(hole));
}

void iconFolder(IconPen& i, bool hasFiles) {
    i.stroke(1.8);
    QPainterPath back;
    back.moveTo(3, 18.5);
    back.lineTo(3, 6.5);
    back.quadTo(3, 5, 4.5, 5);
    back.lineTo(9.5, 5);
    back.lineTo(11.5, 7.5);
    back.lineTo(19.5, 7.5);
    back.quadTo(21, 7.5, 21, 9);
    back.lineTo(21, 18.5);
    back.quadTo(21, 20, 19.5, 20);
    back.lineTo(4.5, 20);
    back.quadTo(3, 20, 3, 18.5);
    if (hasFiles) {
        // A sheet sticking out and a filled front: the folder holds recordings.
        i.p().drawPath(back);
        i.fill(i.color());
        i.p().drawRoundedRect(QRectF(3, 11, 18, 9), 1.5, 1.5);
        i.stroke(1.5);
        i.p().drawLine(QPointF(7, 10.5), QPointF(7, 9.2));
    } else {
        i.p().drawPath(back);
        i.p().drawLine(QPointF(3, 10.5), QPointF(21, 10.5));
    }
}

// An arc of the 24-grid circle around (12, 12) with an arrow head at its end.
void arcArrow(IconPen& i, double radius, double startDegrees, double spanDegrees) {
    i.stroke(2.0);
    i.p().drawArc(QRectF(12 - radius, 12 - radius, 2 * radius, 2 * radius),
                  static_cast<int>(startDegrees * 16), static_cast<int>(spanDegrees * 16));
    const double end = (startDegrees + spanDegrees) * M_PI / 180;
    // Painter y grows downwards: a point at angle a is (cos a, -sin a).
    const QPointF tip(12 + radius * std::cos(end), 12 - radius * std::sin(end));
    const QPointF along(-std::sin(end), -std::cos(end));  // direction of travel
    const QPointF out(std::cos(end), -std::sin(end));
    QPainterPath head;
    head.moveTo(tip + along * 3.2);
    head.lineTo(tip + out * 3.0 - along * 0.6);
    head.lineTo(tip - out * 3.0 - along * 0.6);
    head.closeSubpath();
    i.fill();
    i.p().drawPath(head);
}

void iconCycle(IconPen& i) {
    arcArrow(i, 7.2, 30, 120);
    arcArrow(i, 7.2, 210, 120);
}

void iconSpeaker(IconPen& i, bool muted) {
    i.fill();
    QPainterPath body;
    body.moveTo(3.5, 9);
    body.lineTo(7.5, 9);
    body.lineTo(12.5, 4.5);
    body.lineTo(12.5, 19.5);
    body.lineTo(7.5, 15);
    body.lineTo(3.5, 15);
    body.closeSubpath();
    i.p().drawPath(body);
    i.stroke(1.9);
    if (muted) {
        i.p().drawLine(QPointF(15.5, 9), QPointF(21, 15));
        i.p().drawLine(QPointF(21, 9), QPointF(15.5, 15));
    } else {
        i.p().drawArc(QRectF(9.5, 8, 8, 8), -50 * 16, 100 * 16);
        i.p().drawArc(QRectF(7, 4.5, 15, 15), -50 * 16, 100 * 16);
    }
}

void iconBadge(QPainter& p, const QRectF& box, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kPanel, 1.5));
    p.setBrush(color);
    p.drawEllipse(QPointF(box.right() - 6.5, box.top() + 6.5), 3.6, 3.6);
    p.restore();
}

// A small warning triangle with an exclamation mark in the top-right corner of a button.
void warningBadge(QPainter& p, const QRectF& box, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal right = box.right() - 2.5, top = box.top() + 2.5, size = 11;
    QPainterPath triangle;
    triangle.moveTo(right - size / 2, top);
    triangle.lineTo(right, top + size * 0.9);
    triangle.lineTo(right - size, top + size * 0.9);
    triangle.closeSubpath();
    p.setPen(QPen(kPanel, 1.2));
    p.setBrush(color);
    p.drawPath(triangle);
    p.setPen(QPen(kPanel, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(right - size / 2, top + 3.2), QPointF(right - size / 2, top + 6.2));
    p.drawPoint(QPointF(right - size / 2, top + 8.2));
    p.restore();
}

// ---- groups ---------------------------------------------------------------------------------

struct ControlArt {
    int type = 0;
    int shape = 0;
    QRect rect;
    std::string hint;
    int state = 0;
    int thumbWidth = 0;
    // Draws the control in a state and appearance; the background is already there.
    std::function<void(QPainter&, const QRectF&, int state, int appearance)> draw;
    // Shaped controls: the outline that the mask fills.
    std::function<QPainterPath(const QRectF&)> outline;
};

struct GroupArt {
    std::string section;
    std::string file;
    int panelId = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool twoAppearances = false;
    bool stretch = false;
    int stretchStart = 0, stretchEnd = 0;
    std::function<void(QPainter&, int w, int h)> background;
    std::vector<ControlArt> controls;
};

QPainterPath roundedOutline(const QRectF& r) {
    QPainterPath path;
    path.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    return path;
}

QPainterPath circleOutline(const QRectF& r) {
    QPainterPath path;
    path.addEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    return path;
}

ControlArt iconButton(int type, QRect rect, std::string hint, QColor accent,
                      std::function<void(IconPen&, int state, int appearance)> icon,
                      std::function<void(QPainter&, const QRectF&, int, int)> extra = {}) {
    ControlArt c;
    c.type = type;
    c.shape = 1;
    c.rect = rect;
    c.hint = std::move(hint);
    c.outline = roundedOutline;
    c.draw = [accent, icon, extra](QPainter& p, const QRectF& r, int state, int appearance) {
        buttonFace(p, r, state, accent);
        {
            IconPen pen(p, r, 20, iconColor(state));
            icon(pen, state, appearance);
        }
        if (extra)
            extra(p, r, state, appearance);
    };
    return c;
}

// A wide button with an icon and a label.
ControlArt labelButton(int type, QRect rect, std::string hint, QString label, QColor accent,
                       std::function<void(IconPen&, int appearance)> icon, bool badgeOnSecond) {
    ControlArt c;
    c.type = type;
    c.shape = 1;
    c.rect = rect;
    c.hint = std::move(hint);
    c.outline = roundedOutline;
    c.draw = [=](QPainter& p, const QRectF& r, int state, int appearance) {
        buttonFace(p, r, state, accent);
        const QRectF iconBox(r.left() + 4, r.top(), 22, r.height());
        {
            IconPen pen(p, iconBox, 17, iconColor(state));
            icon(pen, appearance);
        }
        p.save();
        p.setFont(uiFont(10, true, true));
        p.setPen(iconColor(state));
        p.drawText(QRectF(r.left() + 25, r.top(), r.width() - 27, r.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
        p.restore();
        if (badgeOnSecond && appearance == 1)
            iconBadge(p, r.adjusted(0, 1, -1, 0), state == Disabled ? kIconDisabled : kAmber);
    };
    return c;
}

void panelBackground(QPainter& p, int w, int h) {
    p.fillRect(0, 0, w, h, kPanel);
}

GroupArt channelGroup() {
    GroupArt g;
    g.section = "ChannelGroup";
    g.file = "channel.bmp";
    g.panelId = 4113;
    g.x = 0;
    g.y = 0;
    g.width = 160;
    g.height = 108;
    g.background = [](QPainter& p, int w, int h) {
        panelBackground(p, w, h);
        sectionHeader(p, 8, 7, w - 8, "CHANNELS");
        // Track of the on/off switches.
        p.setPen(QPen(kPanelLine, 1));
        p.drawLine(QPointF(8, h - 0.5), QPointF(w - 8, h - 0.5));
    };
    // Select buttons 1-4.
    for (int k = 0; k < 4; ++k) {
        ControlArt c;
        c.type = 0;
        c.rect = QRect(6 + k * 38, 24, 34, 28);
        c.hint = "Show channel CH" + std::to_string(k + 1);
        const QString label = QString("CH%1").arg(k + 1);
        c.draw = [label](QPainter& p, const QRectF& r, int state, int) {
            buttonFace(p, r, state, kBlue);
            p.save();
            p.setFont(uiFont(11, true, true));
            p.setPen(iconColor(state));
            p.drawText(r.adjusted(0, 0, 0, -1), Qt::AlignCenter, label);
            p.restore();
        };
        g.controls.push_back(c);
    }
    // On/off switches 5-8: down means the channel is switched off.
    for (int k = 0; k < 4; ++k) {
        ControlArt c;
        c.type = 5;
        c.rect = QRect(6 + k * 38, 56, 34, 16);
        c.hint = "Switch channel CH" + std::to_string(k + 1) + " on or off";
        c.draw = [](QPainter& p, const QRectF& r, int state, int) {
            p.save();
            p.setRenderHint(QPainter::Antialiasing);
            const bool off = state == Down || state == DownHover;
            const bool hover = state == Hover || state == DownHover;
            const QRectF track(r.center().x() - 12, r.top() + 2, 24, 12);
            QColor trackColor = off ? QColor(0x3a, 0x2a, 0x2d) : kGreen.darker(hover ? 100 : 120);
            QColor knob = off ? QColor(0xb9, 0x9a, 0x9d) : QColor(0xf2, 0xf5, 0xf8);
            if (state == Disabled) {
                trackColor = QColor(0x25, 0x28, 0x2e);
                knob = kIconDisabled;
            }
            if (hover)
                trackColor = trackColor.lighter(125);
            p.setPen(QPen(off ? QColor(0x6a, 0x3a, 0x3f) : trackColor.lighter(130), 1));
            if (state == Disabled)
                p.setPen(QPen(QColor(0x2e, 0x32, 0x39), 1));
            p.setBrush(trackColor);
            p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
            p.setPen(Qt::NoPen);
            p.setBrush(knob);
            const qreal cx = off ? track.left() + 6 : track.right() - 6;
            p.drawEllipse(QPointF(cx, track.center().y()), 4.2, 4.2);
            p.restore();
        };
        g.controls.push_back(c);
    }
    // Auto cycle 9.
    {
        ControlArt c;
        c.type = 5;
        c.rect = QRect(6, 78, 148, 24);
        c.hint = "Cycle through the channels";
        c.draw = [](QPainter& p, const QRectF& r, int state, int) {
            buttonFace(p, r, state, kBlue);
            p.save();
            p.setFont(uiFont(10, true, false, 0.8));
            const QString text = "AUTO CYCLE";
            const int textWidth = QFontMetrics(p.font()).horizontalAdvance(text);
            const qreal left = r.center().x() - (textWidth + 22) / 2.0;
            {
                IconPen pen(p, QRectF(left, r.top(), 16, r.height()), 15, iconColor(state));
                iconCycle(pen);
            }
            p.setPen(iconColor(state));
            p.drawText(QRectF(left + 22, r.top(), textWidth + 4, r.height() - 1),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
            p.restore();
        };
        g.controls.push_back(c);
    }
    return g;
}

constexpr int kVolumeThumb = 14;
constexpr int kVolumeTravel = 100;

GroupArt volumeGroup() {
    GroupArt g;
    g.section = "VolumeGroup";
    g.file = "volume.bmp";
    g.panelId = 4114;
    g.x = 0;
    g.y = 108;
    g.width = 160;
    g.height = 50;
    const QRect trackRect(38, 20, kVolumeThumb + kVolumeTravel, 24);
    g.background = [trackRect](QPainter& p, int w, int h) {
        panelBackground(p, w, h);
        sectionHeader(p, 8, 4, w - 8, "VOLUME");
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        // A wedge that grows to the right: louder is wider.
        const qreal x0 = trackRect.left() + kVolumeThumb / 2.0;
        const qreal x1 = trackRect.right() + 1 - kVolumeThumb / 2.0;
        const qreal cy = trackRect.center().y() + 0.5;
        QPainterPath wedge;
        wedge.moveTo(x0, cy + 1.5);
        wedge.lineTo(x1, cy + 1.5);
        wedge.lineTo(x1, cy - 5.5);
        wedge.closeSubpath();
        QLinearGradient fill(QPointF(x0, 0), QPointF(x1, 0));
        fill.setColorAt(0, QColor(0x2a, 0x2e, 0x36));
        fill.setColorAt(1, kBlue.darker(140));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPath(wedge);
        p.setBrush(QColor(0x33, 0x38, 0x42));
        p.drawRoundedRect(QRectF(x0 - 2, cy + 0.5, x1 - x0 + 4, 2.5), 1.2, 1.2);
        p.restore();
        p.setPen(QPen(kPanelLine, 1));
        p.drawLine(QPointF(8, h - 0.5), QPointF(w - 8, h - 0.5));
    };
    ControlArt mute;
    mute.type = 5;
    mute.shape = 1;
    mute.rect = QRect(8, 19, 26, 26);
    mute.hint = "Mute";
    mute.outline = circleOutline;
    mute.draw = [](QPainter& p, const QRectF& r, int state, int) {
        // A face with a radius of half its size is a circle.
        buttonFace(p, r, state, kRed, r.width() / 2);
        IconPen pen(p, r, 17, iconColor(state));
        iconSpeaker(pen, state == Down || state == DownHover);
    };
    g.controls.push_back(mute);
    ControlArt tracker;
    tracker.type = 3;
    tracker.rect = trackRect;
    tracker.hint = "Volume";
    tracker.thumbWidth = kVolumeThumb;
    g.controls.push_back(tracker);
    return g;
}

constexpr int kShortcutsHeight = 80;

// A key cap and what the key does.
void keyHint(QPainter& p, int top, const QString& key, const QString& action) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(uiFont(9, true, true));
    const int capWidth = QFontMetrics(p.font()).horizontalAdvance(key) + 14;
    const QRectF cap(8.5, top + 0.5, capWidth, 19);
    p.setPen(QPen(QColor(0x3a, 0x3f, 0x4a), 1));
    p.setBrush(QColor(0x22, 0x25, 0x2c));
    p.drawRoundedRect(cap, 4, 4);
    p.setPen(QPen(QColor(0x2c, 0x30, 0x38), 1));
    p.drawLine(QPointF(cap.left() + 3, cap.bottom() + 1),
               QPointF(cap.right() - 3, cap.bottom() + 1));
    p.setPen(kIcon);
    p.drawText(cap, Qt::AlignCenter, key);
    p.setFont(uiFont(10, false, true));
    p.setPen(kHeader);
    p.drawText(QRectF(cap.right() + 8, top, 150 - cap.right(), 20),
               Qt::AlignLeft | Qt::AlignVCenter, action);
    p.restore();
}

GroupArt toolGroup(int height) {
    GroupArt g;
    g.section = "ToolGroup";
    g.file = "tool.bmp";
    g.panelId = 4115;
    g.x = 0;
    g.y = 158;
    g.width = 160;
    g.height = height;
    g.twoAppearances = true;
    g.stretch = true;
    // Buttons end above the band; the keyboard hints below it stay at the panel's foot.
    g.stretchStart = 318;
    g.stretchEnd = height - kShortcutsHeight - 1;
    g.background = [](QPainter& p, int w, int h) {
        panelBackground(p, w, h);
        sectionHeader(p, 8, 10, w - 8, "LIVE");
        sectionHeader(p, 8, 80, w - 8, "VIEW");
        sectionHeader(p, 8, 150, w - 8, "ALARM");
        sectionHeader(p, 8, 220, w - 8, "SETTINGS");
        const int top = h - kShortcutsHeight;
        sectionHeader(p, 8, top + 4, w - 8, "SHORTCUTS");
        keyHint(p, top + 24, "Space", "Next channel");
        keyHint(p, top + 50, "Esc", "Leave full screen");
    };
    const auto cell4 = [](int column, int top) { return QRect(6 + column * 38, top, 34, 38); };
    const auto cell3 = [](int column, int top) { return QRect(6 + column * 51, top, 46, 38); };
    const int liveTop = 28, viewTop = 98, alarmTop = 168;

    std::vector<ControlArt> byId(15);
    // 1: quad layout (appearance 1 while the quad layout shows).
    byId[1] = iconButton(2, cell4(3, liveTop), "Quad view", kBlue,
                         [](IconPen& i, int, int a) { iconGrid(i, a == 1); });
    // 2: pause / resume live view (latching; down = paused, so it offers play).
    byId[2] = iconButton(5, cell4(0, liveTop), "Pause or resume live view", kBlue,
                         [](IconPen& i, int s, int) {
                             if (s == Down || s == DownHover)
                                 iconPlay(i);
                             else
                                 iconPause(i);
                         });
    // 3: snapshot.
    byId[3] = iconButton(0, cell4(2, liveTop), "Take a snapshot", kBlue,
                         [](IconPen& i, int, int) { iconCamera(i); });
    // 4: record (latching; down = recording, so it offers stop; appearance 1 while the recording
    // is not being written: a warning badge).
    byId[4] = iconButton(
        5, cell4(1, liveTop), "Record", kRed,
        [](IconPen& i, int s, int) {
            if (s == Down || s == DownHover) {
                i.fill();
                i.p().drawRoundedRect(QRectF(7, 7, 10, 10), 1.8, 1.8);
            } else {
                i.fill(s == Disabled ? QColor(0x5a, 0x2e, 0x31)
                                     : kRed.lighter(s == Hover ? 118 : 100));
                i.p().drawEllipse(QPointF(12, 12), 6.2, 6.2);
            }
        },
        [](QPainter& p, const QRectF& r, int s, int a) {
            if (a == 1)
                warningBadge(p, r, s == Disabled ? kIconDisabled : kAmber);
        });
    byId[5] = iconButton(0, cell3(0, viewTop), "Zoom in", kBlue,
                         [](IconPen& i, int, int) { iconZoom(i, true); });
    byId[6] = iconButton(0, cell3(1, viewTop), "Zoom out", kBlue,
                         [](IconPen& i, int, int) { iconZoom(i, false); });
    byId[7] = iconButton(0, cell3(2, viewTop), "Full screen", kBlue,
                         [](IconPen& i, int, int) { iconFullScreen(i); });
    byId[8] = iconButton(5, cell3(0, alarmTop), "Motion alarm on or off", kAmber,
                         [](IconPen& i, int, int) { iconMotion(i); });
    byId[9] = iconButton(5, cell3(1, alarmTop), "Sound alarm on or off", kAmber,
                         [](IconPen& i, int, int) { iconMicrophone(i); });
    byId[10] = iconButton(5, cell3(2, alarmTop), "Scheduled tasks on or off", kAmber,
                          [](IconPen& i, int, int) { iconCalendar(i); });
    const auto wide = [](int column, int row) {
        return QRect(6 + column * 76, 238 + row * 36, 72, 32);
    };
    byId[11] = labelButton(
        2, wide(0, 0), "Motion alarm settings", "Motion", kBlue,
        [](IconPen& i, int) { iconGear(i); }, true);
    byId[12] = labelButton(
        2, wide(1, 0), "Sound alarm settings", "Sound", kBlue, [](IconPen& i, int) { iconGear(i); },
        true);
    byId[13] = labelButton(
        2, wide(0, 1), "Scheduled task settings", "Tasks", kBlue,
        [](IconPen& i, int) { iconCalendar(i); }, true);
    byId[14] = labelButton(
        2, wide(1, 1), "Open the record folder", "Files", kBlue,
        [](IconPen& i, int a) { iconFolder(i, a == 1); }, false);
    for (int id = 1; id <= 14; ++id)
        g.controls.push_back(byId[id]);
    return g;
}

// ---- composing a group picture --------------------------------------------------------------

QImage blankImage(int w, int h, const QColor& color) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

Bitmap24 toBitmap(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    Bitmap24 out(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            out.setPixel(
                x, y,
                {static_cast<uint8_t>(qRed(line[x])), static_cast<uint8_t>(qGreen(line[x])),
                 static_cast<uint8_t>(qBlue(line[x]))});
    }
    return out;
}

struct ComposedGroup {
    QImage picture;
    int copies = 0;  // background, states, mask, thumbs: each one group wide
    int maskOffset = 0;
    int stateOffset[2][5] = {};
    QPoint thumbImage;
};

ComposedGroup compose(const GroupArt& g) {
    const int w = g.width, h = g.height;
    const int appearances = g.twoAppearances ? 2 : 1;
    bool hasTracker = false;
    for (const ControlArt& c : g.controls)
        hasTracker |= c.type == 3;
    ComposedGroup out;
    out.copies = 1 + 5 * appearances + 1 + (hasTracker ? 1 : 0);
    out.picture = blankImage(w * out.copies, h, kPanel);
    QPainter p(&out.picture);
    // Background copy.
    p.save();
    p.setClipRect(0, 0, w, h);
    g.background(p, w, h);
    p.restore();
    int copy = 1;
    for (int a = 0; a < appearances; ++a) {
        for (int s = 0; s < 5; ++s, ++copy) {
            out.stateOffset[a][s] = copy * w;
            p.save();
            p.translate(copy * w, 0);
            p.setClipRect(0, 0, w, h);
            g.background(p, w, h);
            for (const ControlArt& c : g.controls)
                if (c.type != 3 && c.draw)
                    c.draw(p, QRectF(c.rect), s, a);
            p.restore();
        }
    }
    // Mask: the red component of a pixel names its control.
    out.maskOffset = copy * w;
    p.save();
    p.translate(copy * w, 0);
    p.fillRect(0, 0, w, h, Qt::black);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (size_t k = 0; k < g.controls.size(); ++k) {
        const ControlArt& c = g.controls[k];
        if (!c.shape)
            continue;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(static_cast<int>(k + 1), 0, 0));
        p.drawPath(c.outline(QRectF(c.rect)));
    }
    p.restore();
    ++copy;
    if (hasTracker) {
        // Thumb images on white, the key colour of the transparent parts.
        const int x0 = copy * w;
        p.fillRect(x0, 0, w, h, QColor(255, 255, 255));
        out.thumbImage = QPoint(x0, 0);
        for (const ControlArt& c : g.controls) {
            if (c.type != 3)
                continue;
            QImage knob(c.thumbWidth, c.rect.height(), QImage::Format_ARGB32_Premultiplied);
            knob.fill(Qt::transparent);
            {
                QPainter k(&knob);
                k.setRenderHint(QPainter::Antialiasing);
                const QPointF centre(c.thumbWidth / 2.0, c.rect.height() / 2.0 + 0.5);
                QRadialGradient shade(centre - QPointF(1.5, 2), c.thumbWidth / 1.6);
                shade.setColorAt(0, QColor(0xf4, 0xf6, 0xf9));
                shade.setColorAt(1, QColor(0xc4, 0xcb, 0xd6));
                k.setPen(QPen(QColor(0x0e, 0x10, 0x13), 1));
                k.setBrush(shade);
                k.drawEllipse(centre, c.thumbWidth / 2.0 - 0.5, c.thumbWidth / 2.0 - 0.5);
                k.setPen(Qt::NoPen);
                k.setBrush(kBlue);
                k.drawEllipse(centre, 2.2, 2.2);
            }
            // Edge pixels are blended with the panel colour (what lies under the thumb);
            // pixels the knob does not touch stay white.
            QImage flat = blankImage(c.thumbWidth, c.rect.height(), kPanel);
            {
                QPainter f(&flat);
                f.drawImage(0, 0, knob);
            }
            for (int y = 0; y < flat.height(); ++y)
                for (int x = 0; x < flat.width(); ++x)
                    if (qAlpha(knob.pixel(x, y)) == 0)
                        flat.setPixel(x, y, qRgb(255, 255, 255));
            p.drawImage(x0, 0, flat);
        }
    }
    p.end();
    return out;
}

void writeGroupSection(std::ostream& ini, const GroupArt& g, const ComposedGroup& c) {
    ini << "[" << g.section << "]\n";
    ini << "PICTUREFILE=" << g.file << "\n";
    ini << "PANELID=" << g.panelId << "\n";
    ini << "X=" << g.x << "\nY=" << g.y << "\nWIDTH=" << g.width << "\nHEIGHT=" << g.height << "\n";
    ini << "MULTIAPPEARNCE=" << (g.twoAppearances ? 1 : 0) << "\n";
    ini << "BITMAPLAYOUT=0\n";
    ini << "PANELOFFSET=0\n";
    ini << "MASKOFFSET=" << c.maskOffset << "\n";
    if (g.stretch) {
        ini << "STRETCH=1\nSTRETCHDIRECTION=1\n";
        ini << "STRETCHSTART=" << g.stretchStart << "\nSTRETCHEND=" << g.stretchEnd << "\n";
    } else {
        ini << "STRETCH=0\n";
    }
    const char* keys[5] = {"NORMALOFFSET", "HILIGHTOFFSET", "DOWNOFFSET", "DOWNHLOFFSET",
                           "DISABLEOFFSSET"};
    for (int a = 0; a < (g.twoAppearances ? 2 : 1); ++a)
        for (int s = 0; s < 5; ++s)
            ini << keys[s] << (a == 1 ? "2" : "") << "=" << c.stateOffset[a][s] << "\n";
    ini << "CONTROLS=" << g.controls.size() << "\n";
    for (size_t k = 0; k < g.controls.size(); ++k) {
        const ControlArt& s = g.controls[k];
        const std::string n = std::to_string(k + 1);
        ini << "CONTROLID_" << n << "=" << n << "\n";
        ini << "CONTROLTYPE_" << n << "=" << s.type << "\n";
        ini << "CONTROLSTATE_" << n << "=" << s.state << "\n";
        ini << "CONTROLSHAPE_" << n << "=" << s.shape << "\n";
        ini << "CONTROLX_" << n << "=" << s.rect.x() << "\n";
        ini << "CONTROLY_" << n << "=" << s.rect.y() << "\n";
        ini << "CONTROLWIDTH_" << n << "=" << s.rect.width() << "\n";
        ini << "CONTROLHEIGHT_" << n << "=" << s.rect.height() << "\n";
        ini << "CONTROLHINT_" << n << "=" << s.hint << "\n";
        if (s.type == 3) {
            ini << "CONTROLTRACKERWIDTH_" << n << "=" << s.thumbWidth << "\n";
            ini << "CONTROLTRACKEROFFSETX_" << n << "=" << c.thumbImage.x() << "\n";
            ini << "CONTROLTRACKEROFFSETY_" << n << "=" << c.thumbImage.y() << "\n";
        }
    }
    ini << "\n";
}

// ---- main window frame ----------------------------------------------------------------------

constexpr int kWidth = 1030, kHeight = 725;
constexpr int kMonitorX = 10, kMonitorY = 49, kRightBorder = 11;
constexpr int kBodyInset = 5;  // the left edge of the body is cut back this far
const QColor kMaskColor(255, 0, 255);

struct Piece {
    int left, top, width, height;
};
const Piece kPieces[10] = {
    {0, 0, 240, kMonitorY},                                        // 1 top left: logo and title
    {240, 0, 690, kMonitorY},                                      // 2 top: stretches across
    {930, 0, 100, kMonitorY},                                      // 3 top right: caption buttons
    {0, kMonitorY, kMonitorX, 16},                                 // 4 left, upper end
    {0, kMonitorY + 16, kMonitorX, kHeight - 2 * kMonitorY - 32},  // 5 left: stretches down
    {0, kHeight - kMonitorY - 16, kMonitorX, 16},                  // 6 left, lower end
    {0, kHeight - kMonitorY, 240, kMonitorY},                      // 7 bottom left
    {240, kHeight - kMonitorY, 690, kMonitorY},                    // 8 bottom: stretches across
    {930, kHeight - kMonitorY, 100, kMonitorY},                    // 9 bottom right: menu button
    {kWidth - kRightBorder - 169, kMonitorY, kRightBorder + 169, kHeight - 2 * kMonitorY},  // 10
};
const QRect kMenuButton(944, 687, 74, 27);
const int kCaptionButtonX[3] = {959, 979, 999};
constexpr int kCaptionButtonY = 26;

void drawBar(QPainter& p, const QRect& r, bool top) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top ? QColor(0x21, 0x24, 0x2b) : QColor(0x1a, 0x1c, 0x21));
    g.setColorAt(1, top ? QColor(0x19, 0x1b, 0x20) : QColor(0x15, 0x17, 0x1b));
    p.fillRect(r, g);
}

void drawLogo(QPainter& p, const QPointF& c) {
    paintProgramLogo(p, c, 11);
}

QImage drawFrame() {
    QImage image = blankImage(kWidth, kHeight, QColor(0x0b, 0x0c, 0x0f));
    QPainter p(&image);
    // Bars.
    drawBar(p, QRect(0, 0, kWidth, kMonitorY), true);
    drawBar(p, QRect(0, kHeight - kMonitorY, kWidth, kMonitorY), false);
    // Thin accent under the caption and above the foot.
    QLinearGradient accent(QPointF(0, 0), QPointF(kWidth, 0));
    accent.setColorAt(0, kBlue.darker(130));
    accent.setColorAt(0.5, QColor(0x2c, 0x31, 0x3a));
    accent.setColorAt(1, QColor(0x2c, 0x31, 0x3a));
    p.fillRect(QRect(0, kMonitorY - 1, kWidth, 1), accent);
    p.fillRect(QRect(0, kHeight - kMonitorY, kWidth, 1), QColor(0x2c, 0x31, 0x3a));
    // Side borders and the column behind the control panel.
    p.fillRect(QRect(0, kMonitorY, kMonitorX, kHeight - 2 * kMonitorY), QColor(0x15, 0x17, 0x1b));
    const Piece& column = kPieces[9];
    p.fillRect(QRect(column.left, column.top, column.width, column.height),
               QColor(0x15, 0x17, 0x1b));
    p.fillRect(QRect(column.left + 4, column.top, 1, column.height), QColor(0x22, 0x25, 0x2c));
    // Title.
    drawLogo(p, QPointF(30, 34));
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(uiFont(17, true));
    p.setPen(QColor(0xe8, 0xeb, 0xf0));
    p.drawText(QRect(50, 19, 120, 30), Qt::AlignLeft | Qt::AlignVCenter, "Vidora");
    p.setFont(uiFont(10, false, false, 0.6));
    p.setPen(kHeader);
    p.drawText(QRect(124, 21, 110, 30), Qt::AlignLeft | Qt::AlignVCenter, "MR220 VIEWER");
    // Caption buttons: minimise, maximise, close.
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = 0; k < 3; ++k) {
        const QRectF r(kCaptionButtonX[k], kCaptionButtonY, 19, 19);
        p.setPen(QPen(QColor(0x34, 0x39, 0x43), 1));
        p.setBrush(k == 2 ? QColor(0x3b, 0x22, 0x26) : QColor(0x26, 0x2a, 0x31));
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        const QColor glyph = k == 2 ? QColor(0xff, 0x8f, 0x92) : kIcon;
        p.setPen(QPen(glyph, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        const QPointF c = r.center();
        if (k == 0)
            p.drawLine(c + QPointF(-4, 3), c + QPointF(4, 3));
        if (k == 1)
            p.drawRect(QRectF(c.x() - 4, c.y() - 4, 8, 8));
        if (k == 2) {
            p.drawLine(c + QPointF(-3.6, -3.6), c + QPointF(3.6, 3.6));
            p.drawLine(c + QPointF(3.6, -3.6), c + QPointF(-3.6, 3.6));
        }
    }
    // Foot: a line of text and the function menu button.
    p.setFont(uiFont(10, false, false, 0.4));
    p.setPen(QColor(0x6a, 0x72, 0x82));
    p.drawText(QRect(20, kHeight - kMonitorY + 1, 300, kMonitorY - 2),
               Qt::AlignLeft | Qt::AlignVCenter, "Four-channel wireless camera viewer");
    {
        const QRectF r(kMenuButton);
        p.setPen(QPen(QColor(0x3a, 0x40, 0x4b), 1));
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, QColor(0x2c, 0x30, 0x38));
        g.setColorAt(1, QColor(0x24, 0x27, 0x2e));
        p.setBrush(g);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        p.setPen(QPen(kIcon, 1.6, Qt::SolidLine, Qt::RoundCap));
        for (int k = 0; k < 3; ++k)
            p.drawLine(QPointF(r.left() + 12, r.top() + 9 + k * 4.5),
                       QPointF(r.left() + 23, r.top() + 9 + k * 4.5));
        p.setFont(uiFont(11, true, true));
        p.setPen(kIcon);
        p.drawText(QRectF(r.left() + 30, r.top(), 40, r.height() - 1),
                   Qt::AlignLeft | Qt::AlignVCenter, "Menu");
    }
    // Resize grip.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x40, 0x4a));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col <= row; ++col)
            p.drawEllipse(QPointF(kWidth - 6 - col * 4, kHeight - 14 + row * 4), 1, 1);
    // The video area is covered by the monitor panel; keep it black.
    p.fillRect(QRect(kMonitorX, kMonitorY, kWidth - kRightBorder - kMonitorX - 160 - 8,
                     kHeight - 2 * kMonitorY),
               QColor(0, 0, 0));
    // Cut-away outline: the body is set back on the left, the bars keep their full width with
    // chamfered corners. Painted without smoothing: every pixel either is the mask colour or not.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int x = 0; x < kBodyInset; ++x) {
        const int chamfer = kBodyInset - 1 - x;
        const int top = kMonitorY - 1 - chamfer;
        // The window cuts one pixel past the end of each run; the run stops short by that one.
        const int bottom = kHeight - kMonitorY - 2 + chamfer;
        p.fillRect(QRect(x, top, 1, bottom - top + 1), kMaskColor);
    }
    // A hairline along the set-back edge.
    p.fillRect(QRect(kBodyInset, kMonitorY, 1, kHeight - 2 * kMonitorY), QColor(0x2a, 0x2e, 0x36));
    p.end();
    return image;
}

void writeMainSection(std::ostream& ini) {
    ini << "[MAINWND]\n";
    ini << "PICTUREFILE=frame.bmp\n";
    ini << "MASKCOLOR=" << (kMaskColor.blue() * 65536 + kMaskColor.green() * 256 + kMaskColor.red())
        << "\n";
    ini << "WIDTH=" << kWidth << "\nHEIGHT=" << kHeight << "\n";
    ini << "RIGHTBORDER_WIDTH=" << kRightBorder << "\n";
    ini << "MONITOR_X=" << kMonitorX << "\nMONITOR_Y=" << kMonitorY << "\n";
    for (int n = 1; n <= 10; ++n) {
        const Piece& piece = kPieces[n - 1];
        ini << "LEFT" << n << "=" << piece.left << "\nTOP" << n << "=" << piece.top << "\nWIDTH"
            << n << "=" << piece.width << "\nHEIGHT" << n << "=" << piece.height << "\n";
    }
    ini << "MENULEFT=" << kMenuButton.x() << "\nMENUTOP=" << kMenuButton.y()
        << "\nMENUWIDTH=" << kMenuButton.width() << "\nMENUHEIGHT=" << kMenuButton.height()
        << "\n\n";
}

bool writeFile(const std::filesystem::path& path, const std::string& bytes, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        if (error)
            *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

}  // namespace

bool writeDefaultSkin(const std::string& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path dir(folder);
    // The tool group reaches the foot of the control panel at the nominal window size.
    const int panelHeight = kHeight - 2 * kMonitorY;
    const GroupArt groups[3] = {channelGroup(), volumeGroup(), toolGroup(panelHeight - 158 + 1)};

    std::ostringstream ini;
    ini << "; Vidora default skin. Pictures are 24-bit BMPs in this folder.\n\n";
    ini << "[GROUPS]\nGROUPNUM=3\n";
    for (int k = 0; k < 3; ++k)
        ini << "GROUPNAME" << (k + 1) << "=" << groups[k].section << "\n";
    ini << "\n";
    for (const GroupArt& g : groups) {
        const ComposedGroup composed = compose(g);
        writeGroupSection(ini, g, composed);
        if (!toBitmap(composed.picture).saveBmp((dir / g.file).string())) {
            if (error)
                *error = "cannot write " + (dir / g.file).string();
            return false;
        }
    }
    writeMainSection(ini);
    if (!toBitmap(drawFrame()).saveBmp((dir / "frame.bmp").string())) {
        if (error)
            *error = "cannot write frame.bmp";
        return false;
    }
    if (!writeFile(dir / "ui.ini", ini.str(), error))
        return false;
    const std::vector<uint8_t> wav = alarmWav();
    return writeFile(dir / "alarm.wav", std::string(wav.begin(), wav.end()), error);
}

std::vector<uint8_t> alarmWav() {
    constexpr int kRate = 22050;
    constexpr double kSeconds = 1.0;
    const int count = static_cast<int>(kRate * kSeconds);
    std::vector<int16_t> samples(static_cast<size_t>(count));
    // Two bell-like notes (E6 then B5) with a soft attack and an exponential decay.
    const struct { double start, frequency; } notes[2] = {{0.0, 1318.5}, {0.42, 987.8}};
    for (int n = 0; n < count; ++n) {
        const double t = double(n) / kRate;
        double v = 0;
        for (const auto& note : notes) {
            const double u = t - note.start;
            if (u < 0)
                continue;
            const double attack = std::min(1.0, u / 0.006);
            const double decay = std::exp(-u / 0.16);
            v += attack * decay *
                 (std::sin(2 * M_PI * note.frequency * u) +
                  0.35 * std::sin(2 * M_PI * 2.0 * note.frequency * u) +
                  0.12 * std::sin(2 * M_PI * 3.0 * note.frequency * u));
        }
        // Fade the tail so that looping the file does not click.
        const double tail = std::min(1.0, (kSeconds - t) / 0.05);
        samples[static_cast<size_t>(n)] =
            static_cast<int16_t>(std::lround(std::clamp(v * 0.42 * tail, -1.0, 1.0) * 32767));
    }
    std::vector<uint8_t> out;
    LeBytes b(out);
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.reserve(44 + dataBytes);
    b.u32(fourcc("RIFF"));
    b.u32(36 + dataBytes);
    b.u32(fourcc("WAVE"));
    b.u32(fourcc("fmt "));
    b.u32(16);
    b.u16(1);  // PCM
    b.u16(1);  // mono
    b.u32(kRate);
    b.u32(kRate * 2);
    b.u16(2);
    b.u16(16);
    b.u32(fourcc("data"));
    b.u32(dataBytes);
    for (int16_t s : samples)
        b.u16(static_cast<uint16_t>(s));
    return out;
}

}  // namespace vidora::skinart
