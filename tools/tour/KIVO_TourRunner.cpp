#include "KIVO_TourRunner.h"

#include "PlListBox.h"
#include "PlMainWidget.h"
#include "PlPopup.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
constexpr int kWaitLimitMs = 10000;
const QSize s_screenSize(240, 320);

// The text left to a list row: its delegate indents it past the mark and keeps 4 pixels free.
int rowTextWidth(const PlListBox *list)
{
    const int indent = list->marks() == PlListBox::Marks::None ? 8 : 28;
    return list->viewport()->width() - indent - 4;
}

} // namespace

KIVO_TourRunner::KIVO_TourRunner(const QString &outputDir, FILE *progress, FILE *errors)
    : m_outputDir(outputDir), m_progress(progress), m_errors(errors)
{
    qApp->installEventFilter(this);
}

KIVO_TourRunner::~KIVO_TourRunner()
{
    qApp->removeEventFilter(this);
}

void KIVO_TourRunner::step(const QString &name, const Front &front, Action action)
{
    m_steps.append({name, front, std::move(action), true, {}, QString()});
}

void KIVO_TourRunner::when(const QString &what, std::function<bool()> ready, Action action)
{
    m_steps.append({QString(), Front(), std::move(action), false, std::move(ready), what});
}

void KIVO_TourRunner::press(const QList<int> &keys)
{
    for (int key : keys) {
        QWidget *target = focusTarget();
        if (m_failed) {
            return;
        }
        if (!target) {
            fail(QStringLiteral("no window has the keyboard focus"));
            return;
        }
        QTest::keyClick(target, Qt::Key(key));
    }
}

void KIVO_TourRunner::type(const QString &text)
{
    QWidget *target = focusTarget();
    if (!target) {
        fail(QStringLiteral("no window has the keyboard focus"));
        return;
    }
    QTest::keyClicks(target, text);
}

void KIVO_TourRunner::fail(const QString &message)
{
    if (m_failed) {
        return;
    }
    m_failed = true;
    std::fprintf(m_errors, "kivo-tour: step %d: %s\n", m_next, qPrintable(message));
    std::fflush(m_errors);
    // Every running event loop ends, the nested ones of open popups included.
    QCoreApplication::exit(1);
}

void KIVO_TourRunner::start()
{
    scheduleNext(0);
}

bool KIVO_TourRunner::failed() const
{
    return m_failed;
}

bool KIVO_TourRunner::finished() const
{
    return m_next == m_steps.size();
}

const QStringList &KIVO_TourRunner::savedFiles() const
{
    return m_saved;
}

bool KIVO_TourRunner::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto *screen = qobject_cast<PlMainWidget *>(watched);
        if (screen && screen->isWindow()) {
            m_shownScreens.removeAll(QPointer<PlMainWidget>(screen));
            m_shownScreens.append(screen);
        }
    }
    return QObject::eventFilter(watched, event);
}

void KIVO_TourRunner::scheduleNext(int delayMs)
{
    // A new timer each time: a timer whose slot is still running (under a popup's exec())
    // would not fire again, a fresh one does.
    QTimer::singleShot(delayMs, this, [this] { runStep(); });
}

void KIVO_TourRunner::runStep()
{
    if (m_failed || finished()) {
        return;
    }
    const Step step = m_steps.at(m_next);
    QWidget *window = frontWindow();
    if (!stepReady(step, window)) {
        m_seenOnce = false;
        m_waitedMs += kPollMs;
        if (m_waitedMs > kWaitLimitMs) {
            const QString expected = step.waitsForFront
                                         ? QStringLiteral("%1 \"%2\" %3")
                                               .arg(QString::fromLatin1(step.front.className),
                                                    step.front.title, step.front.text)
                                         : step.what;
            fail(QStringLiteral("waited in vain for %1; in front: %2")
                     .arg(expected, describe(window)));
            return;
        }
        scheduleNext(kPollMs);
        return;
    }
    if (step.waitsForFront) {
        // Seen on two polls in a row: laid out, and not just passing.
        if (!m_seenOnce) {
            m_seenOnce = true;
            scheduleNext(kPollMs);
            return;
        }
        if (!step.name.isEmpty()) {
            save(step, window);
            if (m_failed) {
                return;
            }
        }
    }
    m_seenOnce = false;
    m_waitedMs = 0;
    ++m_next;
    // Scheduled before the action: an action that opens a modal popup returns only when the
    // popup closes, and the steps in between run inside its event loop.
    scheduleNext(kPollMs);
    if (step.action) {
        step.action();
    }
}

bool KIVO_TourRunner::stepReady(const Step &step, QWidget *window) const
{
    if (step.waitsForFront) {
        return matches(window, step.front);
    }
    return !step.ready || step.ready();
}

QWidget *KIVO_TourRunner::frontWindow() const
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window && QApplication::focusWidget()) {
        window = QApplication::focusWidget()->window();
    }
    if (!window) {
        window = QApplication::activeWindow();
    }
    return window && window->isVisible() ? window : nullptr;
}

bool KIVO_TourRunner::matches(QWidget *window, const Front &front) const
{
    if (!window || window->metaObject()->className() != front.className ||
        window->windowTitle() != front.title) {
        return false;
    }
    if (front.text.isEmpty()) {
        return true;
    }
    auto *popup = qobject_cast<PlPopup *>(window);
    return popup && popup->instructText().contains(front.text);
}

QString KIVO_TourRunner::describe(QWidget *window) const
{
    if (!window) {
        return QStringLiteral("nothing");
    }
    QString text;
    if (auto *popup = qobject_cast<PlPopup *>(window)) {
        text = popup->instructText();
    }
    return QStringLiteral("%1 \"%2\" %3")
        .arg(QString::fromLatin1(window->metaObject()->className()), window->windowTitle(), text);
}

QWidget *KIVO_TourRunner::focusTarget() const
{
    if (QWidget *focus = QApplication::focusWidget()) {
        return focus;
    }
    if (QWidget *modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

PlMainWidget *KIVO_TourRunner::screenUnder(QWidget *popup) const
{
    for (auto it = m_shownScreens.crbegin(); it != m_shownScreens.crend(); ++it) {
        if (*it && (*it)->isVisible() && *it != popup) {
            return *it;
        }
    }
    return nullptr;
}

QImage KIVO_TourRunner::picture(QWidget *window)
{
    if (qobject_cast<PlMainWidget *>(window)) {
        return window->grab().toImage();
    }
    // A popup is shown where it stands over its screen, which is dimmed behind it.
    PlMainWidget *screen = screenUnder(window);
    QImage image(s_screenSize, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPoint at;
    if (screen) {
        image = screen->grab().toImage().convertToFormat(QImage::Format_RGB32);
        at = window->geometry().topLeft() - screen->geometry().topLeft();
    }
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(0, 0, 0, 96));
    if (!image.rect().contains(QRect(at, window->size()))) {
        at = QPoint((image.width() - window->width()) / 2, (image.height() - window->height()) / 2);
    }
    painter.drawPixmap(at, window->grab());
    return image;
}

QStringList KIVO_TourRunner::unfitTexts(QWidget *window) const
{
    QStringList unfit;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->isVisibleTo(window) && !label->wordWrap() && !label->text().isEmpty() &&
            label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width()) {
            unfit << label->text();
        }
    }
    for (QPushButton *key : window->findChildren<QPushButton *>()) {
        if (key->isVisibleTo(window) && key->sizeHint().width() > key->width()) {
            unfit << key->text();
        }
    }
    for (PlListBox *list : window->findChildren<PlListBox *>()) {
        if (!list->isVisibleTo(window)) {
            continue;
        }
        // The current row is drawn in bold, so every row must fit in bold.
        QFont bold = list->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        for (int row = 0; row < list->count(); ++row) {
            const QString text = list->QListWidget::item(row)->text();
            if (metrics.horizontalAdvance(text) > rowTextWidth(list)) {
                unfit << text;
            }
        }
    }
    for (QPlainTextEdit *view : window->findChildren<QPlainTextEdit *>()) {
        if (view->isVisibleTo(window) && (view->horizontalScrollBar()->maximum() > 0 ||
                                          view->verticalScrollBar()->maximum() > 0)) {
            unfit << view->toPlainText();
        }
    }
    return unfit;
}

void KIVO_TourRunner::save(const Step &step, QWidget *window)
{
    if (qobject_cast<PlMainWidget *>(window) && window->size() != s_screenSize) {
        fail(QStringLiteral("%1 is %2 x %3, not a 240 x 320 screen")
                 .arg(describe(window))
                 .arg(window->width())
                 .arg(window->height()));
        return;
    }
    if (window->width() > s_screenSize.width() || window->height() > s_screenSize.height()) {
        fail(QStringLiteral("%1 is %2 x %3, larger than the screen")
                 .arg(describe(window))
                 .arg(window->width())
                 .arg(window->height()));
        return;
    }
    const QStringList unfit = unfitTexts(window);
    if (!unfit.isEmpty()) {
        fail(QStringLiteral("text does not fit in %1: \"%2\"")
                 .arg(describe(window), unfit.join(QStringLiteral("\", \""))));
        return;
    }
    const QString file =
        QStringLiteral("%1-%2.png").arg(++m_shots, 2, 10, QLatin1Char('0')).arg(step.name);
    if (!picture(window).save(m_outputDir.filePath(file), "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(m_outputDir.filePath(file)));
        return;
    }
    m_saved << file;
    std::fprintf(m_progress, "%s\n", qPrintable(file));
    std::fflush(m_progress);
}
