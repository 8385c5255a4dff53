#include "settingsui/about.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vidora::settingsui {

CAbout::CAbout(const PageContext& context) : SettingsPage(context, QStringLiteral("About")) {}

void CAbout::build() {
    auto* version = new QLabel(QStringLiteral("Vidora V1.0.4"), this);
    version->setObjectName(QStringLiteral("version"));
    version->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(version);
}

}  // namespace vidora::settingsui
