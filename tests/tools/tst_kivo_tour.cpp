// kivo-tour, run as a user runs it: offscreen, into a temporary directory, on its own bus and
// root. It must end with status 0 and leave every picture, each a whole PNG the size of a
// phone screen, so that the pictures of the README and the user guide cannot rot.
#include "ToolRun.h"

#include <QDir>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The tour's pictures, in the order it takes them.
const QStringList s_pictures =
    QStringLiteral(
        "01-main-menu 02-fts-options 03-list-not-available 04-fts-availability "
        "05-fts-availability-set 06-favourites 07-favourites-changed 08-visibles "
        "09-active-features "
        "10-cell-sticker 11-cell-sticker-mode 12-target-arfcn 13-cell-sticker-question "
        "14-cell-sticker-notice 15-cell-sticker-no-cell 16-cell-sticker-wrong-arfcn "
        "17-cell-sticker-barred 18-cell-sticker-stopped 19-cell-sticker-not-set 20-cell-bar-access "
        "21-cell-bar-set 22-cell-bar-access-inverted 23-tapi-error 24-notification "
        "25-cell-change-warning 26-message-warning 27-tone-warning 28-internal-options "
        "29-panics-type 30-panic-list-bp 31-panic-detail-bp 32-panic-list-ap 33-panic-detail-ap "
        "34-panic-list-quirn 35-panic-detail-quirn 36-panic-list-kernel 37-panic-detail-kernel "
        "38-no-panics 39-panic-list-empty 40-tapi-disconnected")
        .split(QLatin1Char(' '));

} // namespace

class tst_KIVO_Tour : public QObject {
    Q_OBJECT

private slots:
    void pictures();
};

// The tour's pictures and no others (one nobody checks can rot unseen), each a PNG of the
// phone's screen size. A screen with its title, rows and soft keys has many colours (text is
// antialiased); an unpainted or blank grab has one or two.
void tst_KIVO_Tour::pictures()
{
    QTemporaryDir output;
    const ToolRun tour =
        runTool(QStringLiteral(KIVO_TOUR), {"--output", output.path()}, {}, {}, 90000);
    QVERIFY2(tour.exitCode == 0, tour.out + tour.err);
    QStringList expected = s_pictures;
    expected.replaceInStrings(QRegularExpression("$"), QStringLiteral(".png"));
    QCOMPARE(QDir(output.path()).entryList({"*.png"}, QDir::Files, QDir::Name), expected);

    for (const QString &file : std::as_const(expected)) {
        QImageReader reader(QDir(output.path()).filePath(file));
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(file + ": " + reader.errorString()));
        QCOMPARE(image.size(), QSize(240, 320));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height() && colours.size() <= 16; y += 2) {
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
            }
        }
        QVERIFY2(colours.size() > 16, qPrintable(file + " is nearly blank"));
    }
}

QTEST_GUILESS_MAIN(tst_KIVO_Tour)
#include "tst_kivo_tour.moc"
