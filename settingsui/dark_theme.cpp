#include "settingsui/dark_theme.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace vidora::settingsui {

namespace {

// One Fusion style for every themed widget, owned by the application so that it goes with it.
QStyle* fusionStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create(QStringLiteral("Fusion"));
        if (style)
            style->setParent(QCoreApplication::instance());
    }
    return style;
}

}  // namespace

QPalette darkPalette() {
    // The main window's colours: near-black panels, light grey text, the blue of its buttons.
    const QColor window(0x1f, 0x23, 0x29);
    const QColor base(0x15, 0x17, 0x1b);
    const QColor text(0xe3, 0xe6, 0xeb);
    const QColor button(0x2a, 0x2f, 0x37);
    const QColor disabledText(0xa3, 0xab, 0xb7);  // dimmer than text, still readable
    const QColor highlight(0x2f, 0x6f, 0xd0);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x23, 0x27, 0x2e));
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x8f, 0x92));
    p.setColor(QPalette::Light, QColor(0x3a, 0x40, 0x4b));
    p.setColor(QPalette::Midlight, QColor(0x32, 0x37, 0x40));
    p.setColor(QPalette::Mid, QColor(0x26, 0x2a, 0x31));
    p.setColor(QPalette::Dark, QColor(0x11, 0x13, 0x16));
    p.setColor(QPalette::Shadow, QColor(0x08, 0x09, 0x0b));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    p.setColor(QPalette::Link, QColor(0x7a, 0xb1, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x9c, 0xff));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x24, 0x28, 0x2f));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3a, 0x40, 0x4b));
    return p;
}

void applyDarkTheme(QWidget& widget) {
    QStyle* style = fusionStyle();
    if (style) {
        if (widget.style() != style)
            widget.setStyle(style);
        for (QWidget* child : widget.findChildren<QWidget*>())
            if (child->style() != style)
                child->setStyle(style);
    }
    widget.setPalette(darkPalette());
}

}  // namespace vidora::settingsui
