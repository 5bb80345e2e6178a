// KIVO: the engineering and field-test application. main only wires: the feature flag, the
// application, the main screen, the engine, the event loop and the teardown.
#include "KIVO_Engine.h"
#include "KIVO_FeatureFlag.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Popups.h"
#include "PlApplication.h"
#include "PlFlexBit.h"

#include <QtGlobal>

#include <cstdio>

namespace {

// KIVO's standard error carries its own traces alone; Qt's diagnostics would mix into them.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

int main(int argc, char **argv)
{
    unsigned char flex = 0;
    getFlexBit(kKivoFeatureFlag, &flex);
    std::fprintf(stderr, "value of flex=%d", flex);
    if (flex != 1) {
        std::fprintf(stderr, "Stops the activity of KIVO");
        return 1;
    }

    qInstallMessageHandler(dropQtMessages);
    PlApplication app(argc, argv, PlApplication::GuiClient);
    int result = 0;
    {
        KIVO_MainScreen mainScreen(nullptr, nullptr);
        app.setMainWidget(&mainScreen);
        mainScreen.show();

        startKivoEngine(kivoPopupPresenter());

        result = app.exec();

        // The engine goes before the main screen and the screens it opened.
        stopKivoEngine();
    }
    return result;
}
