// kivo-tour: walks through every screen and popup of KIVO against the simulators and the
// sample panic data, on a private bus and a temporary root, and saves a picture of each. KIVO's
// objects are built as its main builds them and driven with key events where the keyboard
// focus is, as a user drives them.
#include "KIVO_Engine.h"
#include "KIVO_FeatureFlag.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Popups.h"
#include "KIVO_TourRunner.h"
#include "KIVO_TourScript.h"
#include "KIVO_TourStage.h"
#include "PlApplication.h"
#include "PlFlexBit.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The whole tour takes a few seconds; far beyond that something hangs.
constexpr int kTourLimitMs = 120000;

void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// The pictures are drawn with the fonts of Debian's fonts-dejavu-core alone (kivo-fonts.conf),
// so that no other installed font changes them. Before the application exists: fontconfig
// reads FONTCONFIG_FILE once. False, said on stderr, when the package is missing.
bool useProjectFonts()
{
    qputenv("FONTCONFIG_FILE", KIVO_FONTS_CONF);
    for (const char *font : {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                             "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"}) {
        if (!QFileInfo::exists(QString::fromLatin1(font))) {
            std::fprintf(stderr,
                         "kivo-tour: %s is missing: install fonts-dejavu-core "
                         "(scripts/deps.sh test)\n",
                         font);
            return false;
        }
    }
    return true;
}

// KIVO writes its traces to stderr; they go to a log, and the tour's own complaints to what
// stderr was. Returns that stream, or null.
FILE *divertTraces(const QString &log)
{
    const int saved = ::dup(STDERR_FILENO);
    const int logFd =
        ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (saved < 0 || logFd < 0 || ::dup2(logFd, STDERR_FILENO) < 0) {
        return nullptr;
    }
    ::close(logFd);
    return ::fdopen(saved, "w");
}

} // namespace

int main(int argc, char **argv)
{
    // The pictures are the same on every machine, with or without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!useProjectFonts()) {
        return 2;
    }
    // As in KIVO: its standard error carries its own traces alone.
    qInstallMessageHandler(dropQtMessages);
    PlApplication app(argc, argv, PlApplication::GuiClient);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Walks through every screen and popup of KIVO against the simulators and the sample\n"
        "panic data, on a private session bus and a temporary KIVO_ROOT, and saves a numbered\n"
        "PNG of each in the output directory, with KIVO's traces (kivo-traces.log) and the\n"
        "simulators' logs beside them. Exit status 0 when every step was seen."));
    parser.addHelpOption();
    parser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Where the pictures go (default: ./tour)."),
         QStringLiteral("dir"),
         QStringLiteral("tour")},
        {QStringLiteral("bin"),
         QStringLiteral("Where kivo-sim-telephony, kivo-sim-fts and kivo-sample-data are "
                        "(default: beside kivo-tour)."),
         QStringLiteral("dir"), QCoreApplication::applicationDirPath()},
        {QStringLiteral("keep-root"),
         QStringLiteral("Keep the temporary KIVO_ROOT and print its path, to look at the files "
                        "KIVO wrote (kivo-status reads them with KIVO_ROOT set to it).")},
    });
    parser.process(app);

    const QString output = QDir(parser.value(QStringLiteral("output"))).absolutePath();
    if (!QDir().mkpath(output)) {
        std::fprintf(stderr, "kivo-tour: cannot make %s\n", qPrintable(output));
        return 2;
    }
    FILE *errors = divertTraces(QDir(output).filePath(QStringLiteral("kivo-traces.log")));
    if (!errors) {
        std::fprintf(stderr, "kivo-tour: cannot write the trace log in %s\n", qPrintable(output));
        return 2;
    }

    KIVO_TourStage stage(parser.value(QStringLiteral("bin")), output);
    if (parser.isSet(QStringLiteral("keep-root"))) {
        stage.keepRoot();
        std::printf("kivo-tour: root %s\n", qPrintable(stage.root()));
    }
    QString error;
    if (!stage.setUp(&error)) {
        std::fprintf(errors, "kivo-tour: %s\n", qPrintable(error));
        return 1;
    }
    unsigned char flex = 0;
    getFlexBit(kKivoFeatureFlag, &flex);
    if (flex != 1) {
        std::fprintf(errors, "kivo-tour: feature flag %d reads %d under the tour's root\n",
                     kKivoFeatureFlag, flex);
        return 1;
    }

    KIVO_TourRunner tour(output, stdout, errors);
    int result = 0;
    {
        // As KIVO's main builds them.
        KIVO_MainScreen mainScreen(nullptr, nullptr);
        app.setMainWidget(&mainScreen);
        mainScreen.show();
        startKivoEngine(kivoPopupPresenter());

        addTourSteps(tour, stage);
        QTimer::singleShot(kTourLimitMs, &tour, [&tour] {
            tour.fail(QStringLiteral("the tour took more than %1 s").arg(kTourLimitMs / 1000));
        });
        tour.start();
        result = app.exec();

        stopKivoEngine();
    }
    stage.tearDown();

    if (!tour.failed() && (result != 0 || !tour.finished())) {
        std::fprintf(errors, "kivo-tour: KIVO ended before the tour did\n");
    }
    const bool ok = !tour.failed() && result == 0 && tour.finished();
    std::fprintf(ok ? stdout : errors, "kivo-tour: %lld pictures in %s\n",
                 static_cast<long long>(tour.savedFiles().size()), qPrintable(output));
    return ok ? 0 : 1;
}
