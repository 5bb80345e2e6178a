#include "KivoOnScreen.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

const QString s_a11yName = QStringLiteral("kivo-onscreen-a11y");
const QString s_rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString s_accessible = QStringLiteral("org.a11y.atspi.Accessible");
constexpr int kCallTimeoutMs = 5000;
constexpr int kStartTimeoutMs = 30000;
// AT-SPI state bits, all in the first word.
constexpr uint kStateActive = 1u << 1;
constexpr uint kStateVisible = 1u << 30;

QString launcherPath()
{
    for (const char *path :
         {"/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"}) {
        if (QFileInfo(QLatin1String(path)).isExecutable()) {
            return QLatin1String(path);
        }
    }
    return {};
}

using Children = QList<std::pair<QString, QString>>; // bus name, object path

Children childrenOf(const QDBusConnection &bus, const QString &service, const QString &path,
                    bool *ok)
{
    const QDBusMessage reply = bus.call(
        QDBusMessage::createMethodCall(service, path, s_accessible, QStringLiteral("GetChildren")),
        QDBus::Block, kCallTimeoutMs);
    Children children;
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    if (reply.type() != QDBusMessage::ReplyMessage ||
        list.currentType() != QDBusArgument::ArrayType) {
        *ok = false;
        return children;
    }
    list.beginArray();
    while (!list.atEnd()) {
        QString name;
        QDBusObjectPath child;
        list.beginStructure();
        list >> name >> child;
        list.endStructure();
        children.append({name, child.path()});
    }
    list.endArray();
    return children;
}

QVariant call(const QDBusConnection &bus, const QString &service, const QString &path,
              const QString &method, bool *ok)
{
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(service, path, s_accessible, method), QDBus::Block,
                 kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *ok = false;
        return {};
    }
    return reply.arguments().value(0);
}

QString nameOf(const QDBusConnection &bus, const QString &service, const QString &path, bool *ok)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({s_accessible, QStringLiteral("Name")});
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *ok = false;
        return {};
    }
    return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
}

uint stateOf(const QDBusConnection &bus, const QString &service, const QString &path, bool *ok)
{
    const QList<uint> words =
        qdbus_cast<QList<uint>>(call(bus, service, path, QStringLiteral("GetState"), ok));
    return words.value(0);
}

} // namespace

KivoOnScreen::KivoOnScreen() = default;

KivoOnScreen::~KivoOnScreen()
{
    end(&m_kivo);
    m_a11y = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(s_a11yName);
    end(&m_a11yLauncher);
    if (m_display) {
        XCloseDisplay(m_display);
    }
    end(&m_xserver);
}

void KivoOnScreen::end(QProcess *process)
{
    if (process->state() == QProcess::NotRunning) {
        return;
    }
    // The launcher ends its bus when terminated; kill only what does not go.
    process->terminate();
    if (!process->waitForFinished(10000)) {
        process->kill();
        process->waitForFinished(10000);
    }
}

bool KivoOnScreen::start(const QString &program, const QProcessEnvironment &environment,
                         QString *skip)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString launcher = launcherPath();
    if (xvfb.isEmpty() || launcher.isEmpty()) {
        *skip = QStringLiteral("needs Xvfb and at-spi-bus-launcher (scripts/deps.sh test)");
        return true;
    }
    if (!m_runtimeDir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }

    // The X server picks a free display and writes its number.
    m_xserver.setStandardErrorFile(QProcess::nullDevice());
    m_xserver.start(xvfb,
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("240x320x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp")});
    if (!m_xserver.waitForStarted(kStartTimeoutMs) ||
        !QTest::qWaitFor([this] { return m_xserver.canReadLine(); }, kStartTimeoutMs)) {
        m_error = QStringLiteral("Xvfb did not start");
        return false;
    }
    const QString display = QLatin1Char(':') + QString::fromLatin1(m_xserver.readLine().trimmed());
    m_display = XOpenDisplay(display.toLatin1().constData());
    int event = 0, error = 0, major = 0, minor = 0;
    if (!m_display || !XTestQueryExtension(m_display, &event, &error, &major, &minor)) {
        m_error = QStringLiteral("no XTEST on ") + display;
        return false;
    }

    // The accessibility bus, its socket in a folder of this test's own.
    QProcessEnvironment common = QProcessEnvironment::systemEnvironment();
    common.insert(QStringLiteral("DISPLAY"), display);
    common.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
    m_a11yLauncher.setProcessEnvironment(common);
    m_a11yLauncher.setStandardOutputFile(QProcess::nullDevice());
    m_a11yLauncher.setStandardErrorFile(QProcess::nullDevice());
    m_a11yLauncher.start(launcher, QStringList());
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!m_a11yLauncher.waitForStarted(kStartTimeoutMs) ||
        !QTest::qWaitFor(
            [&] {
                return session.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus"));
            },
            kStartTimeoutMs)) {
        m_error = QStringLiteral("the accessibility bus launcher did not start");
        return false;
    }
    const QDBusMessage address =
        session.call(QDBusMessage::createMethodCall(
                         QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                         QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
                     QDBus::Block, kStartTimeoutMs);
    m_a11y = QDBusConnection::connectToBus(address.arguments().value(0).toString(), s_a11yName);
    if (!m_a11y.isConnected()) {
        m_error = QStringLiteral("no accessibility bus: ") + address.errorMessage();
        return false;
    }

    QProcessEnvironment kivo = common;
    for (const QString &name : environment.keys()) {
        kivo.insert(name, environment.value(name));
    }
    kivo.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    kivo.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    m_kivo.setProcessEnvironment(kivo);
    m_kivo.setStandardOutputFile(QProcess::nullDevice());
    m_kivo.start(program, QStringList());
    if (!m_kivo.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("kivo did not start");
        return false;
    }
    // kivo is the application on the registry whose connection is its process.
    const auto findKivo = [this] {
        bool ok = true;
        for (const auto &[service, path] :
             childrenOf(m_a11y, QStringLiteral("org.a11y.atspi.Registry"), s_rootPath, &ok)) {
            if (m_a11y.interface()->servicePid(service).value() == uint(m_kivo.processId())) {
                m_service = service;
            }
        }
        return !m_service.isEmpty();
    };
    if (!QTest::qWaitFor(findKivo, kStartTimeoutMs)) {
        m_error = QStringLiteral("kivo did not come on the accessibility bus; its stderr: ") +
                  QString::fromLocal8Bit(kivoErrors());
        return false;
    }
    return true;
}

bool KivoOnScreen::readActiveWindow(WindowSeen *window)
{
    bool ok = true;
    const Children windows = childrenOf(m_a11y, m_service, s_rootPath, &ok);
    QString newest;
    uint newestState = 0;
    for (const auto &[service, path] : windows) {
        const uint state = stateOf(m_a11y, service, path, &ok);
        if (!ok || !(state & kStateVisible)) {
            continue;
        }
        newest = path;
        newestState = state;
        // Each window is kept as first read: in the order they came up.
        if (!m_shownPaths.contains(path)) {
            WindowSeen shown;
            shown.title = nameOf(m_a11y, m_service, path, &ok);
            walk(m_service, path, &shown, 0);
            if (ok) {
                m_shownPaths << path;
                m_shown << shown;
            }
        }
    }
    if (!ok || newest.isEmpty() || !(newestState & kStateActive)) {
        return false;
    }
    *window = WindowSeen();
    window->title = nameOf(m_a11y, m_service, newest, &ok);
    walk(m_service, newest, window, 0);
    // A window that closed while it was read is read again.
    return ok && (stateOf(m_a11y, m_service, newest, &ok) & kStateActive) && ok;
}

void KivoOnScreen::walk(const QString &service, const QString &path, WindowSeen *window, int depth)
{
    bool ok = true;
    if (depth > 30) {
        return;
    }
    for (const auto &[childService, child] : childrenOf(m_a11y, service, path, &ok)) {
        const QString name = nameOf(m_a11y, childService, child, &ok);
        const QString role =
            call(m_a11y, childService, child, QStringLiteral("GetRoleName"), &ok).toString();
        if (role == QLatin1String("list item")) {
            window->rows << name;
        } else {
            if (!name.isEmpty()) {
                window->texts << name;
            }
            walk(childService, child, window, depth + 1);
        }
    }
}

namespace {

QString windowTitle(Display *display, Window window)
{
    for (const char *property : {"_NET_WM_NAME", "WM_NAME"}) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024,
                               False, AnyPropertyType, &type, &format, &items, &after,
                               &data) == Success &&
            data) {
            const QString title =
                format == 8 ? QString::fromUtf8(reinterpret_cast<char *>(data), int(items))
                            : QString();
            XFree(data);
            if (type != None) {
                return title;
            }
        }
    }
    return {};
}

// The window with the input focus, or None.
Window focusOf(Display *display)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus == PointerRoot ? None : focus;
}

} // namespace

bool KivoOnScreen::focusTitled(const QString &title, unsigned long *focus)
{
    *focus = focusOf(m_display);
    return *focus != None && windowTitle(m_display, *focus) == title;
}

bool KivoOnScreen::sendKeys(unsigned long focus, const QString &title, const QStringList &keys)
{
    // With the server grabbed kivo cannot move the focus between the look and the keys.
    XGrabServer(m_display);
    const bool same = focusOf(m_display) == focus && windowTitle(m_display, focus) == title;
    for (const QString &key : keys) {
        const KeyCode code =
            XKeysymToKeycode(m_display, XStringToKeysym(key.toLatin1().constData()));
        if (!same || code == 0) {
            continue;
        }
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    }
    XUngrabServer(m_display);
    XSync(m_display, False);
    return same;
}

bool KivoOnScreen::pressOn(const QString &title, const QString &text, const QStringList &keys,
                           int timeoutMs)
{
    m_error.clear();
    const auto tryOnce = [&] {
        unsigned long focus = None;
        if (m_kivo.state() == QProcess::NotRunning || !focusTitled(title, &focus) ||
            !readActiveWindow(&m_seen) || m_seen.title != title ||
            !(m_seen.texts.contains(text) || m_seen.rows.contains(text))) {
            return false;
        }
        return sendKeys(focus, title, keys);
    };
    if (QTest::qWaitFor(tryOnce, timeoutMs)) {
        return true;
    }
    m_error = QStringLiteral("no window \"%1\" showing \"%2\"; last seen \"%3\": %4 | %5")
                  .arg(title, text, m_seen.title, m_seen.texts.join(QLatin1Char('|')),
                       m_seen.rows.join(QLatin1Char('|')));
    if (m_kivo.state() == QProcess::NotRunning) {
        m_error += QStringLiteral("; kivo ended: ") + QString::fromLocal8Bit(kivoErrors());
    }
    return false;
}

bool KivoOnScreen::pressOnEach(const QStringList &titles, int count, const QStringList &keys,
                               int timeoutMs)
{
    const auto titled = [&] { return int(shown(titles).size()); };
    // A window gets the keys once: a second Escape could reach the window below it.
    QList<unsigned long> pressed;
    const auto tryOnce = [&] {
        unsigned long focus = None;
        if (m_kivo.state() == QProcess::NotRunning) {
            return false;
        }
        const bool active = readActiveWindow(&m_seen);
        if (active && titles.contains(m_seen.title) && focusTitled(m_seen.title, &focus)) {
            if (!pressed.contains(focus) && sendKeys(focus, m_seen.title, keys)) {
                pressed << focus;
            }
            return false;
        }
        // Done once the last one is closed.
        return titled() >= count && active && !titles.contains(m_seen.title);
    };
    if (QTest::qWaitFor(tryOnce, timeoutMs)) {
        return true;
    }
    m_error =
        QStringLiteral("saw %1 of %2 windows \"%3\"; last seen \"%4\": %5")
            .arg(titled())
            .arg(count)
            .arg(titles.join(QLatin1Char('|')), m_seen.title, m_seen.texts.join(QLatin1Char('|')));
    return false;
}

QList<WindowSeen> KivoOnScreen::shown(const QStringList &titles) const
{
    QList<WindowSeen> windows;
    for (const WindowSeen &window : m_shown) {
        if (titles.contains(window.title)) {
            windows << window;
        }
    }
    return windows;
}

const WindowSeen &KivoOnScreen::seen() const
{
    return m_seen;
}

QString KivoOnScreen::error() const
{
    return m_error;
}

QByteArray KivoOnScreen::kivoErrors()
{
    m_kivoErrors += m_kivo.readAllStandardError();
    return m_kivoErrors;
}
