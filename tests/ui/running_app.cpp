#include "running_app.h"

#include <gtest/gtest.h>

namespace vidora::test {

RunningApp::RunningApp() {
    clearBusRegistries();  // no modules: the bus and the user interface only
    ViewerApp::Services services;
    services.obtainUi = [this] { return static_cast<UiPartner*>(this); };
    app_ = std::make_unique<ViewerApp>(std::move(services));
    EXPECT_EQ(app_->run().reason(), "");
    EXPECT_EQ(app_->state(), ViewerApp::Running);
}

RunningApp::~RunningApp() = default;

}  // namespace vidora::test
